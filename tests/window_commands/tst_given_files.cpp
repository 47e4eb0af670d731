#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "tests/support/golden_files.h"
#include "tests/support/scripted_dialogs.h"
#include "window_commands/commands.h"

using namespace plimbrook;
using namespace plimbrook::testing;

namespace {

QByteArray bbdOf(const QByteArray& image, const QByteArray& comment) {
    return bbdBytes(templateHeader(), commentField(comment), image);
}

QStringList promptsOf(const ScriptedDialogs& dialogs) {
    QStringList lines;
    for (const auto& p : dialogs.prompts) {
        // A question shows its text; a prompt, where it starts.
        lines << QString::fromStdString(p.kind + '|' + p.title + '|' +
                                        (p.kind == "warning" ? p.filtersOrPrompt : p.startText));
    }
    return lines;
}

QStringList messagesOf(const ScriptedDialogs& dialogs) {
    QStringList lines;
    for (const auto& m : dialogs.messages) {
        lines << QString::fromStdString(m.text) +
                     (m.icon == MessageIcon::Information ? "|information" : "|warning");
    }
    return lines;
}

}  // namespace

// Files given from the desktop, dropped on the window or named on its command line, go the way
// their contents call for, without the open prompt.
class TestGivenFiles : public QObject {
    Q_OBJECT

private slots:
    void init();
    void oneFile_data();
    void oneFile();
    void severalFiles_data();
    void severalFiles();
    void folderPromptCancelled();

private:
    QString path(const QString& name) const { return dir_->filePath(name); }
    Outcome run(ScriptedDialogs& dialogs, const QStringList& names);

    std::unique_ptr<QTemporaryDir> dir_;
    FileChannels channels_;
};

void TestGivenFiles::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    QVERIFY(QDir(dir_->path()).mkpath("out"));
    QVERIFY(writeFile(path("A.srm"), noise(8 * 1024, 1)));
    QVERIFY(writeFile(path("B.srm"), noise(16 * 1024, 2)));
    QVERIFY(writeFile(path("C.bbd"), bbdOf(noise(8 * 1024, 3), "Copier")));
    QVERIFY(writeFile(path("D.srm"), noise(40 * 1024, 4)));
    QVERIFY(writeFile(path("out/B.bbd"), noise(100, 5)));
}

Outcome TestGivenFiles::run(ScriptedDialogs& dialogs, const QStringList& names) {
    std::vector<std::string> paths;
    for (const QString& name : names) {
        paths.push_back(local(path(name)));
    }
    CommandContext context{dialogs, dialogs, channels_, PLIMBROOK_TEMPLATE_PATH};
    return ConvertGivenFiles(context, paths);
}

void TestGivenFiles::oneFile_data() {
    QTest::addColumn<QString>("given");
    QTest::addColumn<QStringList>("prompts");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");

    // The save prompt starts on the same name with the other extension, beside the given file.
    QTest::newRow("save_to_bbd") << "A.srm"
                                 << QStringList{"save|Save BBD File|A.bbd",
                                                "text|Enter Comment|Enter a Comment and stuff."}
                                 << "A.bbd" << bbdOf(noise(8 * 1024, 1), "Dropped")
                                 << "Battery Backup Data file created.|information";
    QTest::newRow("copier_file_to_save")
        << "C.bbd" << QStringList{"save|Save SRAM File|C.srm"} << "C.srm" << noise(8 * 1024, 3)
        << "SRAM file created.|information";
}

void TestGivenFiles::oneFile() {
    QFETCH(QString, given);
    QFETCH(QStringList, prompts);
    QFETCH(QString, written);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);

    ScriptedDialogs dialogs;
    dialogs.fileAnswers = {local(path(written))};
    dialogs.textAnswers = {"Dropped"};
    QVERIFY(run(dialogs, {given}).completed());
    QStringList shown = promptsOf(dialogs);
    for (QString& line : shown) {
        line.replace(dir_->path() + '/', QString());
    }
    QCOMPARE(shown, prompts);
    QCOMPARE(messagesOf(dialogs), QStringList{message});
    QCOMPARE(readFile(path(written)), bytes);
}

// One folder prompt, one comment prompt, a question before a file is replaced, one message.
void TestGivenFiles::severalFiles_data() {
    QTest::addColumn<bool>("replace");
    QTest::addColumn<QByteArray>("bBbd");
    QTest::addColumn<QString>("message");

    const QString refused =
        "D.srm: larger than 32 KiB, the most the copier holds\nE.srm: No such file or directory";
    QTest::newRow("existing_replaced")
        << true
        << bbdBytes(templateHeader(), commentField("Batch"), {}) + noise(16 * 1024, 2).repeated(2)
        << "3 files converted.\n\nNot converted:\n" + refused + "|warning";
    QTest::newRow("existing_kept") << false << noise(100, 5)
                                   << "2 files converted.\n\nNot converted:\nB.srm: kept the "
                                      "existing B.bbd\n" +
                                          refused + "|warning";
}

void TestGivenFiles::severalFiles() {
    QFETCH(bool, replace);
    QFETCH(QByteArray, bBbd);
    QFETCH(QString, message);

    ScriptedDialogs dialogs;
    dialogs.fileAnswers = {local(path("out"))};
    dialogs.textAnswers = {"Batch"};
    dialogs.warningAnswers = {replace};
    QVERIFY(run(dialogs, {"A.srm", "B.srm", "C.bbd", "D.srm", "E.srm"}).completed());

    QStringList shown = promptsOf(dialogs);
    QCOMPARE(shown.size(), 3);
    QCOMPARE(shown[0], "folder|Choose a Folder for the New Files|" + path("A.srm"));
    QCOMPARE(shown[1], QStringLiteral("text|Enter Comment|Enter a Comment and stuff."));
    QVERIFY(shown[2].startsWith("warning|Dornquist|B.bbd already exists."));
    QCOMPARE(messagesOf(dialogs), QStringList{message});

    QCOMPARE(readFile(path("out/A.bbd")), bbdOf(noise(8 * 1024, 1), "Batch"));
    QCOMPARE(readFile(path("out/B.bbd")), bBbd);
    QCOMPARE(readFile(path("out/C.srm")), noise(8 * 1024, 3));
    QCOMPARE(QDir(path("out")).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

void TestGivenFiles::folderPromptCancelled() {
    ScriptedDialogs dialogs;
    dialogs.fileAnswers = {std::nullopt};
    const auto before = snapshotContents(path("out"));
    QCOMPARE(run(dialogs, {"A.srm", "C.bbd"}).kind, Outcome::Kind::Cancelled);
    QVERIFY(dialogs.messages.empty());
    QCOMPARE(snapshotContents(path("out")), before);
}

QTEST_GUILESS_MAIN(TestGivenFiles)
#include "tst_given_files.moc"
