#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <memory>

#include "shell/about_box.h"
#include "shell/main_window.h"
#include "shell/ui_fonts.h"
#include "tests/shell/scripted_desktop.h"
#include "tests/shell/shell_test_support.h"

using plimbrook::Form1;
using plimbrook::MessageIcon;
using plimbrook::testing::AppDir;
using plimbrook::testing::ScriptedDesktop;

namespace {

// A BBD file whose comment field reads `comment`, padded with spaces to 77 characters.
QByteArray bbdWithComment(const QByteArray& comment) {
    QByteArray bytes(33'280, '\0');
    const QByteArray field = comment.leftJustified(77, ' ', true);
    bytes.replace(16, 77, field);
    return bytes;
}

QStringList promptsSeen(const ScriptedDesktop& desktop) {
    QStringList seen;
    for (const auto& prompt : desktop.prompts) {
        seen << QString::fromStdString(prompt.kind + ":" + prompt.title);
    }
    return seen;
}

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void window();
    void controls_data();
    void controls();
    void captionsFit_data();
    void captionsFit();
    void menus_data();
    void menus();
    void focusAndTabOrder();
    void commandRouting_data();
    void commandRouting();
    void conversionUsesTheCommentBox();
    void loadedCommentFillsTheBox();
    void largeSaveComesBackWhole();
    void warningCancelledWritesNothing();
    void loadedCommentIsStoredAgain_data();
    void loadedCommentIsStoredAgain();
    void quitting_data();
    void quitting();
    void tips_data();
    void tips();
    void homePageFromMenu_data();
    void homePageFromMenu();
    void enterPressesTheFocusedButton_data();
    void enterPressesTheFocusedButton();
    void toolTipsInWindowFont_data();
    void toolTipsInWindowFont();
    void droppedFilesSkipTheOpenPrompt_data();
    void droppedFilesSkipTheOpenPrompt();

private:
    QWidget* control(const char* name) const {
        return form_->findChild<QWidget*>(QLatin1String(name));
    }
    void showForm();

    std::unique_ptr<AppDir> appDir_;
    std::unique_ptr<ScriptedDesktop> desktop_;
    std::unique_ptr<Form1> form_;
};

void TestMainWindow::initTestCase() {
    plimbrook::ui_fonts::loadBundledFonts();
}

void TestMainWindow::init() {
    appDir_ = std::make_unique<AppDir>();
    desktop_ = std::make_unique<ScriptedDesktop>();
    form_ = std::make_unique<Form1>(appDir_->path(), plimbrook::kVersion, desktop_.get(),
                                    desktop_.get());
    QVERIFY(form_->Form_Load());
}

void TestMainWindow::cleanup() {
    form_.reset();
    desktop_.reset();
    appDir_.reset();
}

void TestMainWindow::showForm() {
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
}

void TestMainWindow::window() {
    showForm();
    QCOMPARE(form_->centralWidget()->size(), QSize(309, 144));
    QCOMPARE(form_->centralWidget()->geometry().top(), form_->menuBar()->geometry().bottom() + 1);
    QCOMPARE(form_->minimumSize(), form_->maximumSize());
    QCOMPARE(form_->size(), form_->minimumSize());

    const Qt::WindowFlags flags = form_->windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));

    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(qAbs(form_->frameGeometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(form_->frameGeometry().center().y() - screen.center().y()) <= 1);

    QVERIFY(form_->windowIcon().availableSizes().contains(QSize(16, 16)));
    QVERIFY(form_->windowIcon().availableSizes().contains(QSize(256, 256)));
    QCOMPARE(form_->windowTitle(), QStringLiteral("Plimbrook (v1.0)"));
}

// Positions in pixels, 15 twips to the pixel, relative to each control's container.
void TestMainWindow::controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("Frame1") << "Frame1"
                            << "client" << QRect(4, 0, 301, 115) << ""
                            << "";
    QTest::newRow("BBDCommentCMD") << "BBDCommentCMD"
                                   << "Frame1" << QRect(8, 18, 125, 23) << "Open BBD Comment ->"
                                   << "Opens up a BBD file and loads the Comment.";
    QTest::newRow("S2BCMD") << "S2BCMD"
                            << "Frame1" << QRect(8, 42, 125, 23) << "SRAM -> BBD"
                            << "";
    QTest::newRow("B2SCMD") << "B2SCMD"
                            << "Frame1" << QRect(8, 66, 125, 23) << "BBD -> SRAM"
                            << "";
    QTest::newRow("Label1") << "Label1"
                            << "Frame1" << QRect(140, 14, 53, 15) << "Comment:"
                            << "";
    QTest::newRow("CommentTXT") << "CommentTXT"
                                << "Frame1" << QRect(140, 30, 153, 61)
                                << "Enter a Comment and stuff."
                                << "Text in this box will be saved in the BBD file's Comment area.";
    QTest::newRow("Wexmoor_SoftLBL") << "Wexmoor_SoftLBL"
                                     << "Frame1" << QRect(138, 94, 155, 13) << ""
                                     << "";
    QTest::newRow("QuitCMD") << "QuitCMD"
                             << "client" << QRect(204, 120, 99, 19) << "Done"
                             << "";
}

void TestMainWindow::controls() {
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    QFETCH(QString, toolTip);

    QWidget* widget = form_->findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget()->objectName(), container);
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(widget->toolTip(), toolTip);
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        QCOMPARE(button->text(), caption);
    } else if (auto* box = qobject_cast<QPlainTextEdit*>(widget)) {
        QCOMPARE(box->toPlainText(), caption);
    } else if (auto* label = qobject_cast<QLabel*>(widget); label && !caption.isEmpty()) {
        QCOMPARE(label->text(), caption);
    } else if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
        QCOMPARE(frame->title(), QString());
    }
}

// Every caption must be whole in the fonts the window ends up with, fallbacks included.
void TestMainWindow::captionsFit_data() {
    QTest::addColumn<QString>("family");
    QTest::newRow("as_chosen") << "";
    QTest::newRow("fallback") << "DejaVu Sans Condensed";
    QTest::newRow("second_fallback") << "Nimbus Sans";
}

void TestMainWindow::captionsFit() {
    QFETCH(QString, family);
    if (!plimbrook::testing::forceControlFamily(*form_, family)) {
        QSKIP("the fallback font is not installed");
    }
    showForm();
    if (family.isEmpty()) {
        const QFontInfo controlFont(control("S2BCMD")->font());
        const QStringList fitting = {"Tahoma", "DejaVu Sans Condensed", "Nimbus Sans"};
        const QString found = controlFont.family().section(QStringLiteral(" ["), 0, 0);
        QVERIFY2(fitting.contains(found), qPrintable(found));
        QCOMPARE(controlFont.pixelSize(), 11);
        QCOMPARE(QFontInfo(control("Wexmoor_SoftLBL")->font()).pixelSize(), 13);
    }

    for (const char* name : {"BBDCommentCMD", "S2BCMD", "B2SCMD", "QuitCMD"}) {
        auto* button = qobject_cast<QPushButton*>(control(name));
        // Room for the button's bevel on either side.
        const int room = button->width() - 6;
        QVERIFY2(QFontMetrics(button->font()).horizontalAdvance(button->text()) <= room, name);
    }
    for (const char* name : {"Label1", "Wexmoor_SoftLBL"}) {
        auto* label = qobject_cast<QLabel*>(control(name));
        const QFontMetrics metrics(label->font());
        QVERIFY2(metrics.horizontalAdvance(label->text()) <= label->width(), name);
        QVERIFY2(metrics.ascent() <= label->height(), name);
    }
    auto* box = qobject_cast<QPlainTextEdit*>(control("CommentTXT"));
    QVERIFY(QFontMetrics(box->font()).horizontalAdvance(box->toPlainText()) <=
            box->viewport()->width() - 2 * int(box->document()->documentMargin()));

    auto* credit = qobject_cast<QLabel*>(control("Wexmoor_SoftLBL"));
    QVERIFY(credit->text().contains(QLatin1String("Wexmoor-Soft")));
    QVERIFY(credit->text().contains(QRegularExpression(QStringLiteral("\\b(19|20)\\d\\d\\b"))));
}

void TestMainWindow::menus_data() {
    QTest::addColumn<QString>("menu");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QKeySequence>("shortcut");

    QTest::newRow("mnuB2S") << "mnuFile" << 0 << "mnuB2S"
                            << "&Convert BBD -> SRAM" << QKeySequence(Qt::CTRL | Qt::Key_F1);
    QTest::newRow("mnuS2B") << "mnuFile" << 1 << "mnuS2B"
                            << "&Convert SRAM -> BBD" << QKeySequence(Qt::CTRL | Qt::Key_F2);
    QTest::newRow("mnuDmy1") << "mnuFile" << 2 << "mnuDmy1"
                             << "" << QKeySequence();
    QTest::newRow("mnuQuit") << "mnuFile" << 3 << "mnuQuit"
                             << "E&xit" << QKeySequence(Qt::CTRL | Qt::Key_X);
    QTest::newRow("mnuTips") << "mnuHelp" << 0 << "mnuTips"
                             << "&Tips" << QKeySequence(Qt::Key_F2);
    QTest::newRow("mnuDmy2") << "mnuHelp" << 1 << "mnuDmy2"
                             << "" << QKeySequence();
    QTest::newRow("mnuURL") << "mnuHelp" << 2 << "mnuURL"
                            << "Goto Wexmoor-Soft" << QKeySequence(Qt::Key_F5);
    QTest::newRow("mnuAbout") << "mnuHelp" << 3 << "mnuAbout"
                              << "&About" << QKeySequence(Qt::Key_F1);
}

void TestMainWindow::menus() {
    QFETCH(QString, menu);
    QFETCH(int, position);
    QFETCH(QString, item);
    QFETCH(QString, caption);
    QFETCH(QKeySequence, shortcut);

    const QList<QAction*> bar = form_->menuBar()->actions();
    QCOMPARE(bar.size(), 2);
    QCOMPARE(bar[0]->text(), QStringLiteral("&File"));
    QCOMPARE(bar[0]->menu()->objectName(), QStringLiteral("mnuFile"));
    QCOMPARE(bar[1]->text(), QStringLiteral("&Help"));
    QCOMPARE(bar[1]->menu()->objectName(), QStringLiteral("mnuHelp"));

    auto* owner = form_->findChild<QMenu*>(menu);
    QVERIFY(owner);
    QCOMPARE(owner->actions().size(), 4);
    QAction* action = owner->actions().at(position);
    QCOMPARE(action->objectName(), item);
    QCOMPARE(action->isSeparator(), caption.isEmpty());
    if (!action->isSeparator()) {
        QCOMPARE(action->text(), caption);
    }
    QCOMPARE(action->shortcut(), shortcut);
}

void TestMainWindow::focusAndTabOrder() {
    showForm();
    QCOMPARE(QApplication::focusWidget(), control("QuitCMD"));
    const char* order[] = {"B2SCMD", "S2BCMD", "CommentTXT", "BBDCommentCMD", "QuitCMD"};
    for (const char* next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QLatin1String(next));
    }
    for (const char* previous : {"BBDCommentCMD", "CommentTXT"}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget()->objectName(), QLatin1String(previous));
    }
}

// Each way in is fired for real: a mouse click on the button or the menu item, or the shortcut
// pressed with the focus on "Done" or in the comment box. What the command asked for tells
// which one ran: only BBD -> SRAM goes on to a save prompt after the BBD file, only Open BBD
// Comment takes the file's comment into the box.
void TestMainWindow::commandRouting_data() {
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

void TestMainWindow::commandRouting() {
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

void TestMainWindow::conversionUsesTheCommentBox() {
    const QString save = appDir_->filePath("game.srm");
    QFile file(save);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(8192, 'S'));
    file.close();
    const QString bbd = appDir_->filePath("game.bbd");
    desktop_->fileAnswers = {save.toStdString(), bbd.toStdString()};
    desktop_->textAnswers = {std::string("Typed at the prompt")};

    showForm();
    auto* box = qobject_cast<QPlainTextEdit*>(control("CommentTXT"));
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, QStringLiteral("My own default"));
    QTest::mouseClick(qobject_cast<QPushButton*>(control("S2BCMD")), Qt::LeftButton);

    QCOMPARE(desktop_->prompts.size(), std::size_t(3));
    QCOMPARE(desktop_->prompts[2].startText, std::string("My own default"));
    QFile written(bbd);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    QCOMPARE(bytes.size(), 33'280);
    QCOMPARE(bytes.mid(16, 77), QByteArray("Typed at the prompt").leftJustified(77));
    QFile header(QStringLiteral(PLIMBROOK_TEMPLATE_PATH));
    QVERIFY(header.open(QIODevice::ReadOnly));
    QCOMPARE(bytes.left(16), header.read(16));
    QCOMPARE(desktop_->messages.size(), std::size_t(1));
    QCOMPARE(desktop_->messages[0].text, std::string("Battery Backup Data file created."));
    QCOMPARE(desktop_->messages[0].title, std::string("Dornquist"));
}

void TestMainWindow::loadedCommentFillsTheBox() {
    const QByteArray full(77, 'Q');
    const QString bbd = appDir_->filePath("full.bbd");
    QFile file(bbd);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bbdWithComment(full));
    file.close();
    desktop_->fileAnswers = {bbd.toStdString()};

    showForm();
    QTest::mouseClick(qobject_cast<QPushButton*>(control("BBDCommentCMD")), Qt::LeftButton);
    auto* box = qobject_cast<QPlainTextEdit*>(control("CommentTXT"));
    QCOMPARE(box->toPlainText(), QString::fromLatin1(full));
    // Full: one more typed character does not go in.
    box->setFocus();
    box->moveCursor(QTextCursor::End);
    QTest::keyClick(box, Qt::Key_Z);
    QCOMPARE(box->toPlainText(), QString::fromLatin1(full));
}

// A 32 KiB save clicked through SRAM -> BBD and back comes out byte for byte, the window's
// question answered with its default.
void TestMainWindow::largeSaveComesBackWhole() {
    QByteArray save(32 * 1024, '\0');
    for (int i = 0; i < save.size(); ++i) {
        save[i] = char((i * 131 + i / 8192 * 7) & 0xff);
    }
    QFile file(appDir_->filePath("in.srm"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(save) == save.size());
    file.close();
    const std::string bbd = appDir_->filePath("mid.bbd").toStdString();
    const QString out = appDir_->filePath("out.srm");
    desktop_->fileAnswers = {file.fileName().toStdString(), bbd, bbd, out.toStdString()};
    desktop_->textAnswers = {std::string("Whole")};
    desktop_->choiceAnswers = {0};

    showForm();
    QTest::mouseClick(qobject_cast<QPushButton*>(control("S2BCMD")), Qt::LeftButton);
    QTest::mouseClick(qobject_cast<QPushButton*>(control("B2SCMD")), Qt::LeftButton);

    QCOMPARE(promptsSeen(*desktop_),
             QStringList({"open:Open SRAM File", "save:Save BBD File", "text:Enter Comment",
                          "open:Open BBD File", "choice:Dornquist", "save:Save SRAM File"}));
    QCOMPARE(desktop_->prompts[4].filterIndex, 0);  // the answer given is the one Enter picks
    QFile result(out);
    QVERIFY(result.open(QIODevice::ReadOnly));
    QCOMPARE(result.readAll(), save);
}

void TestMainWindow::warningCancelledWritesNothing() {
    QFile file(appDir_->filePath("clock.srm"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(8192 + 25, 'C')) == 8217);
    file.close();
    desktop_->fileAnswers = {file.fileName().toStdString(),
                             appDir_->filePath("clock.bbd").toStdString()};
    desktop_->warningAnswers = {false};

    showForm();
    QTest::mouseClick(qobject_cast<QPushButton*>(control("S2BCMD")), Qt::LeftButton);

    QCOMPARE(promptsSeen(*desktop_), QStringList({"open:Open SRAM File", "warning:Dornquist"}));
    QVERIFY(!QFile::exists(appDir_->filePath("clock.bbd")));
    QVERIFY(desktop_->messages.empty());
}

// A comment loaded into the box and then accepted unchanged at the prompt is stored byte for
// byte, whatever the box does with line breaks and no-break spaces on screen; once the user
// edits the box, the edited text is what the prompt starts with.
void TestMainWindow::loadedCommentIsStoredAgain_data() {
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<int>("backspaces");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("stored");

    // Dots rather than spaces at the end, so a character lost on the way shows in the last byte.
    const auto full = [](const QByteArray& text) { return text.leftJustified(77, '.'); };
    const QByteArray nbsp = full("Link\xA0to\xA0the\xA0past");
    const QByteArray crLf = full("Save 1\r\nSave 2");

    QTest::newRow("no_break_spaces") << nbsp << 0 << "" << nbsp;
    QTest::newRow("lone_cr") << full("Save 1\rSave 2") << 0 << "" << full("Save 1\rSave 2");
    QTest::newRow("cr_lf") << crLf << 0 << "" << crLf;
    QTest::newRow("cr_lf_at_end") << full("").left(75) + "\r\n"
                                  << 0 << "" << full("").left(75) + "\r\n";
    QTest::newRow("lone_lf") << full("Save 1\nSave 2") << 0 << "" << full("Save 1\nSave 2");
    QTest::newRow("undefined_code_page_bytes")
        << full("\x81Menu\x9D") << 0 << "" << full("\x81Menu\x9D");
    QTest::newRow("ascii_padded_with_spaces")
        << QByteArray("Plain comment").leftJustified(77) << 0 << ""
        << QByteArray("Plain comment").leftJustified(77);
    QTest::newRow("edited_keeps_no_break_spaces") << nbsp << 1 << "Z" << nbsp.left(76) + "Z";
    // The box shows the pair as one line break, so one more character fits.
    QTest::newRow("edited_after_cr_lf")
        << crLf << 0 << "Z" << QByteArray(crLf).replace("\r\n", "\n") + "Z";
}

void TestMainWindow::loadedCommentIsStoredAgain() {
    QFETCH(QByteArray, field);
    QFETCH(int, backspaces);
    QFETCH(QString, typed);
    QFETCH(QByteArray, stored);
    QCOMPARE(field.size(), 77);
    QCOMPARE(stored.size(), 77);

    const QString loaded = appDir_->filePath("loaded.bbd");
    QFile file(loaded);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bbdWithComment(field)), 33'280);
    file.close();
    const QString save = appDir_->filePath("game.srm");
    QFile sram(save);
    QVERIFY(sram.open(QIODevice::WriteOnly));
    QCOMPARE(sram.write(QByteArray(8192, 'S')), 8192);
    sram.close();
    const QString written = appDir_->filePath("written.bbd");
    desktop_->fileAnswers = {loaded.toStdString(), save.toStdString(), written.toStdString()};
    ScriptedDesktop* desktop = desktop_.get();
    desktop_->onTextPrompt = [desktop] {
        desktop->textAnswers.push_back(desktop->prompts.back().startText);
    };

    showForm();
    QTest::mouseClick(qobject_cast<QPushButton*>(control("BBDCommentCMD")), Qt::LeftButton);
    auto* box = qobject_cast<QPlainTextEdit*>(control("CommentTXT"));
    box->setFocus();
    box->moveCursor(QTextCursor::End);
    for (int i = 0; i < backspaces; ++i) {
        QTest::keyClick(box, Qt::Key_Backspace);
    }
    QTest::keyClicks(box, typed);
    QTest::mouseClick(qobject_cast<QPushButton*>(control("S2BCMD")), Qt::LeftButton);

    QCOMPARE(promptsSeen(*desktop_), QStringList({"open:Open BBD File", "open:Open SRAM File",
                                                  "save:Save BBD File", "text:Enter Comment"}));
    // These bytes stand for the characters of the same number in Windows-1252.
    QCOMPARE(QString::fromStdString(desktop_->prompts[3].startText), QString::fromLatin1(stored));
    QFile result(written);
    QVERIFY(result.open(QIODevice::ReadOnly));
    const QByteArray bytes = result.readAll();
    QCOMPARE(bytes.size(), 33'280);
    QCOMPARE(bytes.mid(16, 77), stored);
}

void TestMainWindow::quitting_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("QuitCMD") << "button";
    QTest::newRow("mnuQuit") << "menu";
    QTest::newRow("ctrl_x_on_done") << "keys_on_done";
    QTest::newRow("ctrl_x_in_comment") << "keys_in_comment";
    QTest::newRow("close_box") << "close";
}

// Each way out closes the last window, and with it the program's event loop ends.
void TestMainWindow::quitting() {
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

void TestMainWindow::tips_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("menu") << "menu";
    QTest::newRow("f2_on_done") << "QuitCMD";
    QTest::newRow("f2_in_comment") << "CommentTXT";
}

void TestMainWindow::tips() {
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

void TestMainWindow::homePageFromMenu_data() {
    QTest::addColumn<bool>("byMenu");
    QTest::newRow("menu") << true;
    QTest::newRow("f5_in_comment") << false;
}

void TestMainWindow::homePageFromMenu() {
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
void TestMainWindow::enterPressesTheFocusedButton_data() {
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

void TestMainWindow::enterPressesTheFocusedButton() {
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

// Qt draws tooltips in a font of their own, which must be the window's.
void TestMainWindow::toolTipsInWindowFont_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("BBDCommentCMD") << "BBDCommentCMD";
    QTest::newRow("CommentTXT") << "CommentTXT";
}

void TestMainWindow::toolTipsInWindowFont() {
    QFETCH(QString, name);
    showForm();
    QWidget* widget = control(qPrintable(name));
    QHelpEvent help(QEvent::ToolTip, widget->rect().center(),
                    widget->mapToGlobal(widget->rect().center()));
    QApplication::sendEvent(widget, &help);
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), widget->toolTip());
    QWidget* tip = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->inherits("QTipLabel") && window->isVisible()) {
            tip = window;
        }
    }
    QVERIFY(tip);
    const QFontInfo shown(tip->font());
    const QFontInfo expected(plimbrook::ui_fonts::controlFont());
    QCOMPARE(shown.family(), expected.family());
    QCOMPARE(shown.pixelSize(), expected.pixelSize());
    QToolTip::hideText();
}

QTEST_MAIN(TestMainWindow)
// Files dropped on the window convert without the open prompt: one the way its contents call for,
// its save prompt on the same name with the other extension; several into one chosen folder.
void TestMainWindow::droppedFilesSkipTheOpenPrompt_data() {
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<QStringList>("prompts");
    QTest::addColumn<QString>("startsOn");
    QTest::addColumn<QStringList>("written");
    QTest::newRow("one_save") << QStringList{"GAME.srm"}
                              << QStringList{"save:Save BBD File", "text:Enter Comment"}
                              << "GAME.bbd" << QStringList{"GAME.bbd"};
    QTest::newRow("several_files")
        << QStringList{"GAME.srm", "OTHER.srm"}
        << QStringList{"folder:Choose a Folder for the New Files", "text:Enter Comment"}
        << "GAME.srm" << QStringList{"GAME.bbd", "OTHER.bbd"};
}

void TestMainWindow::droppedFilesSkipTheOpenPrompt() {
    QFETCH(QStringList, dropped);
    QFETCH(QStringList, prompts);
    QFETCH(QString, startsOn);
    QFETCH(QStringList, written);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QList<QUrl> urls;
    for (const QString& name : dropped) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(8 * 1024, 'x'));
        urls << QUrl::fromLocalFile(file.fileName());
    }
    desktop_->fileAnswers = {
        (dropped.size() == 1 ? dir.filePath(written.first()) : dir.path()).toStdString()};
    desktop_->textAnswers = {"Dropped"};
    showForm();

    QMimeData data;
    data.setUrls(urls);
    const QPoint at = form_->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form_.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form_.get(), &drop);
    QVERIFY(drop.isAccepted());

    QTRY_COMPARE(desktop_->messages.size(), std::size_t(1));
    QCOMPARE(promptsSeen(*desktop_), prompts);
    QCOMPARE(QString::fromStdString(desktop_->prompts.front().startText), dir.filePath(startsOn));
    for (const QString& name : written) {
        QCOMPARE(QFileInfo(dir.filePath(name)).size(), qint64(512 + 32 * 1024));
    }
}

#include "tst_main_window.moc"
