#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include "core/app_facts.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "shell/ui_fonts.h"
#include "tests/shell/shell_test_support.h"
#include "tests/support/golden_files.h"
#include "tests/support/scripted_dialogs.h"

using plimbrook::Form1;
using plimbrook::MessageIcon;
using plimbrook::Version;
using plimbrook::testing::ScriptedDialogs;
using plimbrook::testing::writeFile;

namespace {

const char* const kMissingText =
    "You are missing a vital data file, you will need to reinstall the program to fix this "
    "error.  This application will now close.";

}  // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { plimbrook::ui_fonts::loadBundledFonts(); }

    void checkDataFile_data();
    void checkDataFile();
    void formLoadStopsWithoutTemplate_data();
    void formLoadStopsWithoutTemplate();
    void formLoadGoesOnWithWholeTemplate();
    void refusalInWindowFont();
    void caption_data();
    void caption();
};

// Each row lays out one thing at the path under test, relative to a scratch folder.
void TestStartup::checkDataFile_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("found");

    QTest::newRow("missing") << "none"
                             << "Stuff.dat" << false;
    QTest::newRow("directory") << "directory"
                               << "Stuff.dat" << false;
    QTest::newRow("hidden_file") << "file"
                                 << ".Stuff.dat" << false;
    QTest::newRow("dangling_link") << "dangling"
                                   << "Stuff.dat" << false;
    QTest::newRow("link_to_directory") << "dirlink"
                                       << "Stuff.dat" << false;
    // A header cut short would make BBD files the copier cannot read.
    QTest::newRow("empty_file") << "empty"
                                << "Stuff.dat" << false;
    QTest::newRow("one_byte_short") << "short"
                                    << "Stuff.dat" << false;
    QTest::newRow("template_file") << "file"
                                   << "Stuff.dat" << true;
    QTest::newRow("inside_hidden_folder") << "file"
                                          << ".local/Stuff.dat" << true;
    QTest::newRow("link_to_file") << "filelink"
                                  << "Stuff.dat" << true;
}

void TestStartup::checkDataFile() {
    QFETCH(QString, setup);
    QFETCH(QString, name);
    QFETCH(bool, found);

    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString path = scratch.filePath(name);
    QDir().mkpath(QFileInfo(path).path());
    if (setup == QLatin1String("directory")) {
        QVERIFY(QDir().mkdir(path));
    } else if (setup == QLatin1String("file")) {
        QVERIFY(writeFile(path, QByteArray(512, 'T')));
    } else if (setup == QLatin1String("empty")) {
        QVERIFY(writeFile(path, QByteArray()));
    } else if (setup == QLatin1String("short")) {
        QVERIFY(writeFile(path, QByteArray(511, 'T')));
    } else if (setup == QLatin1String("dangling")) {
        QVERIFY(QFile::link(scratch.filePath(QStringLiteral("gone")), path));
    } else if (setup == QLatin1String("dirlink")) {
        QVERIFY(QDir().mkdir(scratch.filePath(QStringLiteral("folder"))));
        QVERIFY(QFile::link(scratch.filePath(QStringLiteral("folder")), path));
    } else if (setup == QLatin1String("filelink")) {
        QVERIFY(writeFile(scratch.filePath(QStringLiteral("real.dat")), QByteArray(512, 'T')));
        QVERIFY(QFile::link(scratch.filePath(QStringLiteral("real.dat")), path));
    }

    ScriptedDialogs dialogs;
    QCOMPARE(plimbrook::Module1::CheckDataFile(path, dialogs), found);
    if (found) {
        QVERIFY(dialogs.messages.empty());
        return;
    }
    QCOMPARE(dialogs.messages.size(), std::size_t(1));
    QCOMPARE(dialogs.messages[0].text, std::string(kMissingText));
    QVERIFY(dialogs.messages[0].icon == MessageIcon::Critical);
    QCOMPARE(dialogs.messages[0].title, std::string("Dornquist"));
    QVERIFY(dialogs.prompts.empty());
}

void TestStartup::formLoadStopsWithoutTemplate_data() {
    QTest::addColumn<QString>("setup");
    QTest::newRow("missing") << "none";
    QTest::newRow("directory") << "directory";
    QTest::newRow("empty") << "empty";
}

void TestStartup::formLoadStopsWithoutTemplate() {
    QFETCH(QString, setup);
    QTemporaryDir appDir;
    if (setup == QLatin1String("directory")) {
        QVERIFY(QDir(appDir.path()).mkdir(QStringLiteral("Stuff.dat")));
    } else if (setup == QLatin1String("empty")) {
        QVERIFY(writeFile(appDir.filePath(QStringLiteral("Stuff.dat")), QByteArray()));
    }
    ScriptedDialogs dialogs;
    Form1 form(appDir.path(), plimbrook::kVersion, &dialogs);

    QVERIFY(!form.Form_Load());
    QCOMPARE(dialogs.messages.size(), std::size_t(1));
    QCOMPARE(dialogs.messages[0].text, std::string(kMissingText));
    QCOMPARE(dialogs.messages[0].title, std::string("Dornquist"));
    // The caption step never ran and the window was never shown.
    QCOMPARE(form.windowTitle(), QString());
    QVERIFY(!form.isVisible());
}

// The window looks at the template's length only: any whole header will do.
void TestStartup::formLoadGoesOnWithWholeTemplate() {
    QTemporaryDir appDir;
    QVERIFY(writeFile(appDir.filePath(QStringLiteral("Stuff.dat")), QByteArray(512, '\0')));
    ScriptedDialogs dialogs;
    Form1 form(appDir.path(), Version{1, 0, 0}, &dialogs);

    QVERIFY(form.Form_Load());
    QVERIFY(dialogs.messages.empty());
    QCOMPARE(form.windowTitle(), QStringLiteral("Plimbrook (v1.0)"));
    auto* comment = form.findChild<QPlainTextEdit*>(QStringLiteral("CommentTXT"));
    QVERIFY(comment);
    QCOMPARE(comment->toPlainText(), QStringLiteral("Enter a Comment and stuff."));
}

// The refusal on the desktop's own message box, in the window's font like the windows.
void TestStartup::refusalInWindowFont() {
    QTemporaryDir appDir;
    Form1 form(appDir.path());
    QString text;
    QFont font;
    plimbrook::testing::whenShown<QMessageBox>([&](QMessageBox* box) {
        text = box->text();
        font = box->font();
        box->accept();
    });
    QVERIFY(!form.Form_Load());
    QCOMPARE(text, QString::fromLatin1(kMissingText));
    const QFontInfo expected(plimbrook::ui_fonts::controlFont());
    QCOMPARE(QFontInfo(font).family(), expected.family());
    QCOMPARE(QFontInfo(font).pixelSize(), expected.pixelSize());
}

void TestStartup::caption_data() {
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("caption");

    QTest::newRow("1.0.0") << 1 << 0 << 0 << "Plimbrook (v1.0)";
    QTest::newRow("2.5.7") << 2 << 5 << 7 << "Plimbrook (v2.7)";
    QTest::newRow("10.3.12") << 10 << 3 << 12 << "Plimbrook (v10.12)";
    // The version the build was made from, as the project declares it.
    QTest::newRow("project") << plimbrook::kVersion.major << plimbrook::kVersion.minor
                             << plimbrook::kVersion.revision
                             << QStringLiteral("Plimbrook (v%1.%2)")
                                    .arg(PLIMBROOK_TEST_VERSION_MAJOR)
                                    .arg(PLIMBROOK_TEST_VERSION_PATCH);
}

void TestStartup::caption() {
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, revision);
    QFETCH(QString, caption);

    plimbrook::testing::AppDir appDir;
    ScriptedDialogs dialogs;
    Form1 form(appDir.path(), Version{major, minor, revision}, &dialogs);
    QVERIFY(form.Form_Load());
    QCOMPARE(form.windowTitle(), caption);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
