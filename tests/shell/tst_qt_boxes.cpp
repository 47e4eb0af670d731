// The other boxes the window shows: the comment prompt, messages, the warning and the question,
// and the web address handed to the desktop.
#include <QApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "shell/address_opener.h"
#include "shell/qt_dialogs.h"
#include "shell/ui_fonts.h"
#include "tests/shell/shell_test_support.h"
#include "tests/shell/temporary_home.h"

using plimbrook::MessageIcon;
using plimbrook::QtDialogs;
using plimbrook::testing::whenShown;

namespace {

bool sameFont(const QFont& shown, const QFont& expected) {
    const QFontInfo a(shown);
    const QFontInfo b(expected);
    return a.family() == b.family() && a.pixelSize() == b.pixelSize();
}

// Set before the application reads its environment.
const plimbrook::testing::TemporaryHome temporaryHome;

}  // namespace

class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class TestQtBoxes : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { plimbrook::ui_fonts::loadBundledFonts(); }

    // 77 characters of comment, all in view at once, in the window's font.
    void commentPromptShowsAWholeField_data() {
        QTest::addColumn<QString>("comment");
        QTest::newRow("sentence")
            << "Zelda: Link to the Past, 3 hearts; Death Mountain done, next: Tower of Hera!!";
        QTest::newRow("capitals") << "SUPER MARIO WORLD - 96 EXITS - SPECIAL ZONE CLEARED - "
                                     "ALL FOUR SWITCH PALACES";
        QTest::newRow("digits") << QStringLiteral("0123456789").repeated(8).left(77);
    }

    void commentPromptShowsAWholeField() {
        QFETCH(QString, comment);
        QCOMPARE(comment.size(), 77);
        QWidget owner;
        QtDialogs dialogs(&owner);
        bool sameAsWindow = false;
        int firstInView = -1;
        whenShown<QInputDialog>([&](QInputDialog* dialog) {
            auto* edit = dialog->findChild<QLineEdit*>();
            QVERIFY(edit);
            sameAsWindow = sameFont(edit->font(), plimbrook::ui_fonts::controlFont());
            edit->setText(comment);
            edit->end(false);
            // The box scrolls its text as it paints.
            edit->repaint();
            // With the end of the text in view, the first character is still at the left edge.
            firstInView =
                edit->cursorPositionAt(QPoint(edit->contentsRect().left() + 4, edit->height() / 2));
            dialog->accept();
        });
        dialogs.PromptText("Please enter a Comment", "Enter Comment", "");
        QVERIFY(sameAsWindow);
        QCOMPARE(firstInView, 0);
    }

    void textPromptConfirmedOrCancelled_data() {
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ok-keeps-start-text") << true << QString() << "Enter a Comment and stuff.";
        QTest::newRow("ok-typed") << true << QStringLiteral("Zelda 100% é") << "Zelda 100% é";
        QTest::newRow("cancel-is-empty") << false << QStringLiteral("ignored") << QString();
    }

    void textPromptConfirmedOrCancelled() {
        QFETCH(bool, confirm);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        QWidget owner;
        QtDialogs dialogs(&owner);
        QString title;
        QString label;
        QString start;
        whenShown<QInputDialog>([&](QInputDialog* dialog) {
            title = dialog->windowTitle();
            label = dialog->labelText();
            start = dialog->textValue();
            QCOMPARE(dialog->inputMode(), QInputDialog::TextInput);
            if (!typed.isNull()) {
                dialog->setTextValue(typed);
            }
            auto* buttons = dialog->findChild<QDialogButtonBox*>();
            QVERIFY(buttons != nullptr);
            QTest::mouseClick(
                buttons->button(confirm ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel),
                Qt::LeftButton);
        });
        const std::string answer = dialogs.PromptText("Please enter a Comment", "Enter Comment",
                                                      "Enter a Comment and stuff.");
        QCOMPARE(title, QStringLiteral("Enter Comment"));
        QCOMPARE(label, QStringLiteral("Please enter a Comment"));
        QCOMPARE(start, QStringLiteral("Enter a Comment and stuff."));
        QCOMPARE(QString::fromStdString(answer), expected);
    }

    // In the window's font, like the windows themselves.
    void messageHasTitleTextIconAndOneOkButton_data() {
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("expectedIcon");
        QTest::newRow("information")
            << int(MessageIcon::Information) << int(QMessageBox::Information);
        QTest::newRow("warning") << int(MessageIcon::Warning) << int(QMessageBox::Warning);
        QTest::newRow("critical") << int(MessageIcon::Critical) << int(QMessageBox::Critical);
    }

    void messageHasTitleTextIconAndOneOkButton() {
        QFETCH(int, icon);
        QFETCH(int, expectedIcon);
        QWidget owner;
        QtDialogs dialogs(&owner);
        QString title;
        QString text;
        int shownIcon = -1;
        int buttons = 0;
        bool inWindowFont = false;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            title = box->windowTitle();
            text = box->text();
            shownIcon = box->icon();
            buttons = int(box->buttons().size());
            inWindowFont = sameFont(box->font(), plimbrook::ui_fonts::controlFont());
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        });
        dialogs.ShowMessage("SRAM file created.", MessageIcon(icon), "Dornquist");
        QCOMPARE(title, QStringLiteral("Dornquist"));
        QCOMPARE(text, QStringLiteral("SRAM file created."));
        QCOMPARE(shownIcon, expectedIcon);
        QCOMPARE(buttons, 1);
        QVERIFY(inWindowFont);
    }

    // The warning and the question: their buttons, and what each button and key answers.
    void questions_data() {
        QTest::addColumn<bool>("warning");   // else the choice of two sizes, the second default
        QTest::addColumn<QString>("press");  // a button's caption, "enter" or "escape"
        QTest::addColumn<int>("answer");     // the warning: 1 go on, 0 stop; the choice: -1 none
        QTest::newRow("warning_ok") << true << "OK" << 1;
        QTest::newRow("warning_enter") << true << "enter" << 1;
        QTest::newRow("warning_cancel") << true << "Cancel" << 0;
        QTest::newRow("warning_escape") << true << "escape" << 0;
        QTest::newRow("choice_first") << false << "Whole 32 KiB" << 0;
        QTest::newRow("choice_second") << false << "First 8 KiB" << 1;
        QTest::newRow("choice_enter_takes_default") << false << "enter" << 1;
        QTest::newRow("choice_cancel") << false << "Cancel" << -1;
        QTest::newRow("choice_escape") << false << "escape" << -1;
    }

    void questions() {
        QFETCH(bool, warning);
        QFETCH(QString, press);
        QFETCH(int, answer);
        QWidget owner;
        QtDialogs dialogs(&owner);
        QString title;
        int shownIcon = -1;
        QStringList captions;
        bool inWindowFont = false;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            title = box->windowTitle() + '|' + box->text();
            shownIcon = box->icon();
            inWindowFont = sameFont(box->font(), plimbrook::ui_fonts::controlFont());
            QAbstractButton* target = nullptr;
            for (QAbstractButton* button : box->buttons()) {
                captions << button->text().remove(QLatin1Char('&'));
                target = captions.last() == press ? button : target;
            }
            if (target != nullptr) {
                QTest::mouseClick(target, Qt::LeftButton);
            } else {
                QTest::keyClick(box, press == "enter" ? Qt::Key_Return : Qt::Key_Escape);
            }
        });
        const int result =
            warning
                ? int(dialogs.ConfirmWarning("Go on?", "Dornquist"))
                : dialogs.PromptChoice("Which?", "Dornquist", {"Whole 32 KiB", "First 8 KiB"}, 1)
                      .value_or(-1);
        QCOMPARE(result, answer);
        QCOMPARE(title,
                 warning ? QStringLiteral("Dornquist|Go on?") : QStringLiteral("Dornquist|Which?"));
        QCOMPARE(shownIcon, int(warning ? QMessageBox::Warning : QMessageBox::Question));
        QVERIFY(inWindowFont);
        // Where each button sits is the desktop's layout policy; which buttons there are is ours.
        captions.sort();
        QCOMPARE(captions, warning ? QStringList({"Cancel", "OK"})
                                   : QStringList({"Cancel", "First 8 KiB", "Whole 32 KiB"}));
    }

    void addressIsHandedToTheDesktop() {
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "open");
        plimbrook::DesktopAddressOpener addresses;
        addresses.OpenAddress(nullptr, QStringLiteral("http://wexmoor.example/"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QCOMPARE(recorder.urls, QList<QUrl>{QUrl(QStringLiteral("http://wexmoor.example/"))});
    }
};

QTEST_MAIN(TestQtBoxes)
#include "tst_qt_boxes.moc"
