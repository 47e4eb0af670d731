// Each way into the window's actions: buttons, menu items and keys run the command they name,
// quit, show the tips or hand the home page to the desktop.
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "shell/ui_fonts.h"
#include "tests/shell/main_window_fixture.h"

using plimbrook::MessageIcon;
using plimbrook::testing::bbdWithComment;
using plimbrook::testing::promptsSeen;

class TestMainWindowActions : public QObject, private plimbrook::testing::MainWindowFixture {
    Q_OBJECT

private slots:
    void initTestCase() { plimbrook::ui_fonts::loadBundledFonts(); }
    void init() { openWindow(); }
    void cleanup() { closeWindow(); }

    void commandRouting_data();
    void commandRouting();
    void quitting_data();
    void quitting();
    void tips_data();
    void tips();
    void homePageFromMenu_data();
    void homePageFromMenu();
    void enterPressesTheFocusedButton_data();
    void enterPressesTheFocusedButton();
};

// Each way in is fired for real: a mouse click on the button or the menu item, or the shortcut
// pressed with the focus on "Done" or in the comment box. What the command asked for tells
// which one ran: only BBD -> SRAM goes on to a save prompt after the BBD file, only Open BBD
// Comment takes the file's comment into the box.
void TestMainWindowActions::commandRouting_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QStringList>("prompts");
    QTest::addColumn<bool>("commentLoaded");

    const QStringList s2b = {"open:Open SRAM File"};
    const QStringList b2s = {"open:Open BBD File", "save:Save SRAM File"};
    const QStringList comment = {"open:Open BBD File"};
    const QKeySequence none;
    const QKeySequence ctrlF1(Qt::CTRL | Qt::Key_F1);
    const QKeySequence ctrlF2(Qt::CTRL | Qt::Key_F2);

    QTest::newRow("S2BCMD") << "button"
                            << "S2BCMD" << none << "" << s2b << false;
    QTest::newRow("mnuS2B") << "menu"
                            << "mnuS2B" << none << "" << s2b << false;
    QTest::newRow("ctrl_f2_on_done") << "keys"
                                     << "" << ctrlF2 << "QuitCMD" << s2b << false;
    QTest::newRow("ctrl_f2_in_comment") << "keys"
                                        << "" << ctrlF2 << "CommentTXT" << s2b << false;
    QTest::newRow("B2SCMD") << "button"
                            << "B2SCMD" << none << "" << b2s << false;
    QTest::newRow("mnuB2S") << "menu"
                            << "mnuB2S" << none << "" << b2s << false;
    QTest::newRow("ctrl_f1_on_done") << "keys"
                                     << "" << ctrlF1 << "QuitCMD" << b2s << false;
    QTest::newRow("ctrl_f1_in_comment") << "keys"
                                        << "" << ctrlF1 << "CommentTXT" << b2s << false;
    QTest::newRow("BBDCommentCMD") << "button"
                                   << "BBDCommentCMD" << none << "" << comment << true;
}

void TestMainWindowActions::commandRouting() {
    QFETCH(QString, how);
    QFETCH(QString, target);
    QFETCH(QKeySequence, keys);
    QFETCH(QString, focus);
    QFETCH(QStringList, prompts);
    QFETCH(bool, commentLoaded);

    const QString bbd = appDir_->filePath("game.bbd");
    QFile file(bbd);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bbdWithComment("Routed comment"));
    file.close();
    // The SRAM prompt is cancelled; the BBD one gets the file, and a save prompt after it is
    // cancelled.
    if (prompts.first() == QLatin1String("open:Open SRAM File")) {
        desktop_->fileAnswers = {std::nullopt};
    } else {
        desktop_->fileAnswers = {bbd.toStdString(), std::nullopt};
    }

    showForm();
    if (how == QLatin1String("button")) {
        auto* button = form_->findChild<QPushButton*>(target);
        QTest::mouseClick(button, Qt::LeftButton);
    } else if (how == QLatin1String("menu")) {
        QVERIFY(plimbrook::testing::clickMenuItem(*form_, "mnuFile", qPrintable(target)));
    } else {
        control(qPrintable(focus))->setFocus();
        QTest::keySequence(form_.get(), keys);
    }

    QCOMPARE(promptsSeen(*desktop_), prompts);
    auto* box = qobject_cast<QPlainTextEdit*>(control("CommentTXT"));
    const QString expected = commentLoaded ? QStringLiteral("Routed comment").leftJustified(77)
                                           : QStringLiteral("Enter a Comment and stuff.");
    QCOMPARE(box->toPlainText(), expected);
    QVERIFY(desktop_->messages.empty());
    QVERIFY(form_->isVisible());
}

void TestMainWindowActions::quitting_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("QuitCMD") << "button";
    QTest::newRow("mnuQuit") << "menu";
    QTest::newRow("ctrl_x_on_done") << "keys_on_done";
    QTest::newRow("ctrl_x_in_comment") << "keys_in_comment";
    QTest::newRow("close_box") << "close";
}

// Each way out closes the last window, and with it the program's event loop ends.
void TestMainWindowActions::quitting() {
    QFETCH(QString, how);
    showForm();
    auto* box = qobject_cast<QPlainTextEdit*>(control("CommentTXT"));
    QApplication::clipboard()->setText(QStringLiteral("clipboard before"));
    bool cutNothing = true;

    QTimer::singleShot(0, form_.get(), [&] {
        if (how == QLatin1String("button")) {
            QTest::mouseClick(qobject_cast<QPushButton*>(control("QuitCMD")), Qt::LeftButton);
        } else if (how == QLatin1String("menu")) {
            plimbrook::testing::clickMenuItem(*form_, "mnuFile", "mnuQuit");
        } else if (how == QLatin1String("keys_on_done")) {
            QTest::keyClick(control("QuitCMD"), Qt::Key_X, Qt::ControlModifier);
        } else if (how == QLatin1String("keys_in_comment")) {
            box->setFocus();
            box->selectAll();
            QTest::keyClick(box, Qt::Key_X, Qt::ControlModifier);
            // The menu's shortcut came first: nothing was cut.
            cutNothing = box->toPlainText() == QLatin1String("Enter a Comment and stuff.") &&
                         QApplication::clipboard()->text() == QLatin1String("clipboard before");
        } else {
            form_->close();
        }
    });
    // Should the window stay open, the loop is ended from outside and the test fails.
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
    QCOMPARE(QApplication::exec(), 0);

    QVERIFY(!form_->isVisible());
    QVERIFY(cutNothing);
    QVERIFY(desktop_->messages.empty());
    QVERIFY(desktop_->prompts.empty());
}

void TestMainWindowActions::tips_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("menu") << "menu";
    QTest::newRow("f2_on_done") << "QuitCMD";
    QTest::newRow("f2_in_comment") << "CommentTXT";
}

void TestMainWindowActions::tips() {
    QFETCH(QString, how);
    showForm();
    if (how == QLatin1String("menu")) {
        QVERIFY(plimbrook::testing::clickMenuItem(*form_, "mnuHelp", "mnuTips"));
    } else {
        control(qPrintable(how))->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
    }

    const std::string crlf = "\r\n";
    const std::string expected =
        std::string(
            "The interface is as simple as you can get, click the button for which you "
            "want to do the according action.") +
        crlf + crlf + "Here's some basic info on the features:" + crlf +
        "1. 'Open BBD Comment' -> Loads a comment from an exsisting BBD file to insert in the new "
        "BBD file(s) you create. Text will automatically appear in the comment dialog box when "
        "converting an SRAM to BBD." +
        crlf +
        "2. 'SRAM -> BBD' -> Self explanatory...converts an *.SRM emulator save file to the Super "
        "Wild Card standard *.BBD file to use with the copier.  When selected a dialog box "
        "appears allowing you to specify a comment to insert in the BBD file." +
        crlf +
        "3. 'BBD -> SRAM' -> Converts the Super Wild Card 'Battery Backup Data' file to use "
        "with Emulators.";
    QCOMPARE(desktop_->messages.size(), std::size_t(1));
    QCOMPARE(desktop_->messages[0].text, expected);
    QVERIFY(desktop_->messages[0].icon == MessageIcon::Information);
    QCOMPARE(desktop_->messages[0].title, std::string("Simple Tips"));
}

void TestMainWindowActions::homePageFromMenu_data() {
    QTest::addColumn<bool>("byMenu");
    QTest::newRow("menu") << true;
    QTest::newRow("f5_in_comment") << false;
}

void TestMainWindowActions::homePageFromMenu() {
    QFETCH(bool, byMenu);
    showForm();
    if (byMenu) {
        QVERIFY(plimbrook::testing::clickMenuItem(*form_, "mnuHelp", "mnuURL"));
    } else {
        control("CommentTXT")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
    }
    QCOMPARE(desktop_->addresses.size(), std::size_t(1));
    QCOMPARE(desktop_->addresses[0].owner, static_cast<const void*>(form_.get()));
    const QUrl address(QString::fromStdString(desktop_->addresses[0].address));
    QVERIFY(address.isValid());
    QVERIFY(address.scheme() == QLatin1String("http") ||
            address.scheme() == QLatin1String("https"));
    QVERIFY(address.host().endsWith(QLatin1String(".example")));
    QVERIFY(desktop_->messages.empty());
}

// Return and the keypad's Enter press the button that has the focus, as Space does.
void TestMainWindowActions::enterPressesTheFocusedButton_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("key");
    QTest::addColumn<QStringList>("prompts");

    const QStringList openSram = {"open:Open SRAM File"};
    const QStringList openBbd = {"open:Open BBD File"};
    for (const auto& [name, key] : {std::pair{"return", int(Qt::Key_Return)},
                                    std::pair{"keypad_enter", int(Qt::Key_Enter)}}) {
        QTest::addRow("S2BCMD_%s", name) << "S2BCMD" << key << openSram;
        QTest::addRow("B2SCMD_%s", name) << "B2SCMD" << key << openBbd;
        QTest::addRow("BBDCommentCMD_%s", name) << "BBDCommentCMD" << key << openBbd;
        QTest::addRow("QuitCMD_%s", name) << "QuitCMD" << key << QStringList();
    }
}

void TestMainWindowActions::enterPressesTheFocusedButton() {
    QFETCH(QString, button);
    QFETCH(int, key);
    QFETCH(QStringList, prompts);
    desktop_->fileAnswers = {std::nullopt};
    showForm();
    control(qPrintable(button))->setFocus();
    const Qt::KeyboardModifiers keypad = key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), keypad);
    QCOMPARE(promptsSeen(*desktop_), prompts);
    QCOMPARE(form_->isVisible(), button != QLatin1String("QuitCMD"));
}

QTEST_MAIN(TestMainWindowActions)
#include "tst_main_window_actions.moc"
