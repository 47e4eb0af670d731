// Conversions clicked through the window: the comment box as the prompt's start and as the place
// a loaded comment goes, saves that come back whole, a warning cancelled, and files dropped.
#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "shell/ui_fonts.h"
#include "tests/shell/main_window_fixture.h"

using plimbrook::testing::bbdWithComment;
using plimbrook::testing::promptsSeen;
using plimbrook::testing::ScriptedDesktop;

class TestMainWindowConversions : public QObject, private plimbrook::testing::MainWindowFixture {
    Q_OBJECT

private slots:
    void initTestCase() { plimbrook::ui_fonts::loadBundledFonts(); }
    void init() { openWindow(); }
    void cleanup() { closeWindow(); }

    void conversionUsesTheCommentBox();
    void loadedCommentFillsTheBox();
    void largeSaveComesBackWhole();
    void warningCancelledWritesNothing();
    void loadedCommentIsStoredAgain_data();
    void loadedCommentIsStoredAgain();
    void droppedFilesSkipTheOpenPrompt_data();
    void droppedFilesSkipTheOpenPrompt();
};

void TestMainWindowConversions::conversionUsesTheCommentBox() {
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

void TestMainWindowConversions::loadedCommentFillsTheBox() {
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
void TestMainWindowConversions::largeSaveComesBackWhole() {
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

void TestMainWindowConversions::warningCancelledWritesNothing() {
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
void TestMainWindowConversions::loadedCommentIsStoredAgain_data() {
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

void TestMainWindowConversions::loadedCommentIsStoredAgain() {
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

// Files dropped on the window convert without the open prompt: one the way its contents call for,
// its save prompt on the same name with the other extension; several into one chosen folder.
void TestMainWindowConversions::droppedFilesSkipTheOpenPrompt_data() {
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

void TestMainWindowConversions::droppedFilesSkipTheOpenPrompt() {
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

QTEST_MAIN(TestMainWindowConversions)
#include "tst_main_window_conversions.moc"
