// The command line when the file system fails it: races and file systems staged through the
// seam, and a failure at each step of a conversion in turn.
#include <QFile>
#include <QTest>

#include <sys/stat.h>

#include <cerrno>
#include <functional>
#include <set>
#include <sstream>

#include "cli/convert_app.h"
#include "tests/cli/golden_scene.h"
#include "tests/support/failing_file_system.h"

using namespace plimbrook::testing;
using namespace plimbrook::testing::golden;
using plimbrook::cli::ConvertEnvironment;
using plimbrook::cli::runConvert;

namespace {

using plimbrook::testing::FailingFileSystem;
using plimbrook::testing::NameTakenMeanwhile;
using MakeFileSystem = std::function<std::unique_ptr<FailingFileSystem>()>;

// Every folder a sticky one that anyone may write, and every link made by another user.
class StrangersLinks : public FailingFileSystem {
public:
    int lstatat(int dir, const std::string& name, struct stat& info) override {
        const int result = FailingFileSystem::lstatat(dir, name, info);
        if (result == 0 && S_ISLNK(info.st_mode)) {
            info.st_uid = 5353;
        }
        return result;
    }
    int fstat(int fd, struct stat& info) override {
        const int result = FailingFileSystem::fstat(fd, info);
        if (result == 0 && S_ISDIR(info.st_mode)) {
            info.st_mode |= S_ISVTX | S_IWOTH;
            info.st_uid = 4242;
        }
        return result;
    }
};

}  // namespace

Q_DECLARE_METATYPE(MakeFileSystem)

class TestCliFileFailures : public QObject, private GoldenFolder {
    Q_OBJECT

private slots:
    void init() { enterFolder(); }
    void cleanup() { leaveFolder(); }

    void throughFileSystem_data();
    void throughFileSystem();
    void everyFailingStep();
};

void TestCliFileFailures::throughFileSystem_data() {
    QTest::addColumn<MakeFileSystem>("make");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("err");
    QTest::addColumn<int>("status");
    QTest::addColumn<Files>("written");

    const auto failing = [](std::vector<std::pair<std::string, int>> calls) {
        return MakeFileSystem([calls] {
            auto fs = std::make_unique<FailingFileSystem>();
            for (const auto& [kind, error] : calls) {
                fs->failAll(kind, error);
            }
            return fs;
        });
    };
    // Checked when the output is opened, and again when it is put in place.
    QTest::newRow("output_made_meanwhile")
        << MakeFileSystem([] { return std::make_unique<NameTakenMeanwhile>(); })
        << QStringList{"to-bbd", "GAME.srm"}
        << "plimbrook-convert: GAME.bbd: File exists (use --force to replace it)\n"
        << 1 << Files{{"GAME.bbd", "made meanwhile"}};
    QTest::newRow("strangers_link_in_shared_folder")
        << MakeFileSystem([] { return std::make_unique<StrangersLinks>(); })
        << QStringList{"to-srm", "--force", "--output", "DANGLING.bbd", "KEEP.bbd"}
        << "plimbrook-convert: DANGLING.bbd: not following a link that another user made in a "
           "shared folder\n"
        << 1 << Files{};
    // The folder is named as the cause, not the output that was never there.
    QTest::newRow("folder_refuses_new_files")
        << failing({{"unnamed", EPERM}}) << QStringList{"to-bbd", "--output-dir", "sub", "GAME.srm"}
        << "plimbrook-convert: sub/GAME.bbd: cannot create a file in sub: Operation not "
           "permitted\n"
        << 1 << Files{};
}

// What can only be staged through the file-system seam: races, and file systems CI lacks.
void TestCliFileFailures::throughFileSystem() {
    QFETCH(MakeFileSystem, make);
    QFETCH(QStringList, args);
    QFETCH(QString, err);
    QFETCH(int, status);
    QFETCH(Files, written);

    Files expected = snapshotTree(dir_->path());
    for (auto it = written.begin(); it != written.end(); ++it) {
        expected.insert(it.key(), it.value());
    }
    const auto fs = make();
    std::ostringstream out;
    std::ostringstream errStream;
    QCOMPARE(runConvert(toArgs(args), out, errStream, {environment().defaultTemplatePath, *fs}),
             status);
    QCOMPARE(QString::fromStdString(errStream.str()), err);
    QCOMPARE(snapshotTree(dir_->path()), expected);
}

// A failure at any step of a conversion names a file the user gave, leaves the output either
// absent or complete, and never leaves a temporary file behind.
void TestCliFileFailures::everyFailingStep() {
    const std::vector<std::string> args = {"to-bbd", "GAME.srm"};
    const Files before = snapshotTree(dir_->path());
    const QByteArray gameBbd = bbd(stuffDat(), gameSave(), "Enter a Comment and stuff.");

    plimbrook::testing::FailingFileSystem counter;
    {
        std::ostringstream out;
        std::ostringstream err;
        ConvertEnvironment env = environment();
        QCOMPARE(runConvert(args, out, err, {env.defaultTemplatePath, counter}), 0);
        QVERIFY(QFile::remove("GAME.bbd"));
    }
    QVERIFY(counter.count() > 10);

    const std::set<std::string> named = {environment().defaultTemplatePath, "GAME.srm", "GAME.bbd"};
    for (long failAt = 1; failAt <= counter.count(); ++failAt) {
        plimbrook::testing::FailingFileSystem fs(failAt, EIO);
        std::ostringstream out;
        std::ostringstream err;
        const int status = runConvert(args, out, err, {environment().defaultTemplatePath, fs});
        const QByteArray context = QByteArray::number(static_cast<qlonglong>(failAt)) + ": " +
                                   QByteArray::fromStdString(err.str());
        QVERIFY2(fs.fired(), context);
        QCOMPARE(out.str(), std::string());

        Files after = snapshotTree(dir_->path());
        if (status == 0) {
            // Only the folder's sync, its close after that, the look at it that tells which
            // folders of a batch are one, and the close of the new file once it is synced and
            // named, may fail unreported: the file is whole and in place by then. Nor does the
            // look for a killed run's temporaries, which only tidies up. Any other failure, a
            // failed close of an input among them, must be reported.
            const std::string call = fs.log()[std::size_t(failAt - 1)];
            QVERIFY2(call == "sync .  <- fails" || call == "close .  <- fails" ||
                         call == "fstat .  <- fails" || call == "list .  <- fails" ||
                         call == "close ./(unnamed)  <- fails",
                     context);
            QVERIFY2(err.str().empty(), context);
            QVERIFY2(after.value("GAME.bbd") == gameBbd, context);
            after.remove("GAME.bbd");
            QFile::remove("GAME.bbd");
        } else {
            QCOMPARE(status, 1);
            const std::string line = err.str();
            const std::string prefix = "plimbrook-convert: ";
            const auto nameEnd = line.find(": ", prefix.size());
            QVERIFY2(line.rfind(prefix, 0) == 0 && nameEnd != std::string::npos, context);
            QVERIFY2(named.count(line.substr(prefix.size(), nameEnd - prefix.size())) == 1,
                     context);
            QVERIFY2(line.find('\n') == line.size() - 1, context);
        }
        QVERIFY2(after == before, context);
    }
}

QTEST_GUILESS_MAIN(TestCliFileFailures)
#include "tst_cli_file_failures.moc"
