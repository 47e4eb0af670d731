#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <functional>
#include <optional>

#include "core/files/file_access.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/golden_files.h"
#include "tests/support/replacing.h"

using namespace plimbrook;
using namespace plimbrook::testing;

namespace {

using Existing = ReplaceOptions::Existing;

const QByteArray kWritten = noise(kBbd, 1);
const QByteArray kOld = noise(40'000, 2);
const QByteArray kMeanwhile = "made by another program meanwhile";
const QByteArray kVictim = "a file of ours that a link points at";

// Makes something at the target's name just before the call that puts the new contents there,
// as a second run or another program may: a file, or a link to a file of ours.
class RacingFileSystem : public FailingFileSystem {
public:
    RacingFileSystem(QString what, QString victim) : what_(what), victim_(victim) {}
    int nameUnnamed(int fd, int dir, const std::string& name) override {
        race(dir, name);
        return FailingFileSystem::nameUnnamed(fd, dir, name);
    }
    int rename(int dir, const std::string& from, const std::string& to, bool replace) override {
        race(dir, to);
        return FailingFileSystem::rename(dir, from, to, replace);
    }

private:
    void race(int dir, const std::string& name) {
        if (raced_ || name.find(kTemporaryMarker) != std::string::npos) {
            return;
        }
        raced_ = true;
        const std::string at = pathAt(dir, name);
        // Checked by the test: what is found at the name afterwards.
        if (what_ == "file") {
            writeFile(QString::fromStdString(at), kMeanwhile);
        } else {
            [[maybe_unused]] const int made = ::symlink(local(victim_).c_str(), at.c_str());
        }
    }

private:
    QString what_;
    QString victim_;
    bool raced_ = false;
};

// Reports owners for links and folders as given, to stage links made by other users.
class OwnersFileSystem : public FailingFileSystem {
public:
    OwnersFileSystem(uid_t linkOwner, uid_t folderOwner)
        : linkOwner_(linkOwner), folderOwner_(folderOwner) {}
    int lstatat(int dir, const std::string& name, struct stat& info) override {
        const int result = FailingFileSystem::lstatat(dir, name, info);
        if (result == 0 && S_ISLNK(info.st_mode)) {
            info.st_uid = linkOwner_;
        }
        return result;
    }
    int fstat(int fd, struct stat& info) override {
        const int result = FailingFileSystem::fstat(fd, info);
        if (result == 0 && S_ISDIR(info.st_mode)) {
            info.st_uid = folderOwner_;
        }
        return result;
    }

private:
    uid_t linkOwner_;
    uid_t folderOwner_;
};

// Swaps the target for a link to a file of ours between its look-up and its opening.
class SwappingFileSystem : public FailingFileSystem {
public:
    explicit SwappingFileSystem(QString victim) : victim_(victim) {}
    int openEntry(int dir, const std::string& path, int flags) override {
        if (!swapped_) {
            swapped_ = true;
            const std::string at = pathAt(dir, path);
            // Checked by the test: the name is a link afterwards.
            if (::unlink(at.c_str()) == 0) {
                [[maybe_unused]] const int made = ::symlink(local(victim_).c_str(), at.c_str());
            }
        }
        return FailingFileSystem::openEntry(dir, path, flags);
    }

private:
    QString victim_;
    bool swapped_ = false;
};

}  // namespace

Q_DECLARE_METATYPE(Configure)

class TestFilePromises : public QObject {
    Q_OBJECT

private slots:
    void init();
    void finalStepRefusesTakenName_data();
    void finalStepRefusesTakenName();
    void syncsAroundTheRename_data();
    void syncsAroundTheRename();
    void oddFileSystems_data();
    void oddFileSystems();
    void linksInSharedFolders_data();
    void linksInSharedFolders();
    void entrySwappedAfterLookUp();
    void hugeOldFileIsNotRead();
    void attributesAndAclsAreKept();

private:
    QString path(const QString& name) const { return dir_->filePath(name); }
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestFilePromises::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void TestFilePromises::finalStepRefusesTakenName_data() {
    QTest::addColumn<Configure>("configure");
    QTest::addColumn<bool>("refuse");  // the command line without --force
    QTest::addColumn<QString>("made");

    const std::map<QString, Configure> storages = {
        {"unnamed", kUnnamed},
        {"named", kNamed},
        {"no_rename_noreplace",
         [](FailingFileSystem& fs) { fs.failAll("rename-noreplace", EINVAL); }},
        {"no_rename_noreplace_nor_links",
         [](FailingFileSystem& fs) {
             fs.failAll("rename-noreplace", EINVAL);
             fs.failAll("link", EPERM);
         }},
    };
    for (const auto& [storage, configure] : storages) {
        for (const char* made : {"file", "link"}) {
            for (const bool refuse : {true, false}) {
                if (!refuse && storage.startsWith("no_")) {
                    continue;  // replacing never asks the file system to refuse
                }
                QTest::addRow("%s_%s_%s", refuse ? "refuse" : "replace", qPrintable(storage), made)
                    << configure << refuse << QString(made);
            }
        }
    }
}

// Nothing is at the name when the output is opened; something is by the time it is put in
// place. Without leave to replace, that stays and the run fails as "exists"; with it, the name
// is replaced, and a link made there is replaced, not written through.
void TestFilePromises::finalStepRefusesTakenName() {
    QFETCH(Configure, configure);
    QFETCH(bool, refuse);
    QFETCH(QString, made);
    const QString target = path("GAME.bbd");
    const QString victim = path("victim");
    QVERIFY(writeFile(victim, kVictim));

    RacingFileSystem fs(made, victim);
    configure(fs);
    const auto error = replace(fs, target, refuse ? Existing::Refuse : Existing::Replace, kWritten);

    QCOMPARE(readFile(victim), kVictim);
    QCOMPARE(strayTemporaries(dir_->path()), QStringList());
    if (refuse) {
        QVERIFY2(error, "replaced what was made meanwhile");
        QCOMPARE(int(error->step()), int(FileStep::Exists));
        QCOMPARE(error->errorNumber(), EEXIST);
        if (made == "file") {
            QCOMPARE(readFile(target), kMeanwhile);
        } else {
            QVERIFY(S_ISLNK(modeOf(target)));
        }
    } else {
        QVERIFY2(!error, error ? error->what() : "");
        QVERIFY(S_ISREG(modeOf(target)));
        QCOMPARE(readFile(target), kWritten);
    }
}

void TestFilePromises::syncsAroundTheRename_data() {
    QTest::addColumn<Configure>("configure");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("refuse");
    QTest::addColumn<QString>("contents");  // the log's name for the new contents

    QTest::newRow("unnamed_new_refusing") << kUnnamed << false << true << "(unnamed)";
    QTest::newRow("unnamed_replacing") << kUnnamed << true << false << "(unnamed)";
    QTest::newRow("named_new_refusing") << kNamed << false << true << "temporary";
    QTest::newRow("named_replacing") << kNamed << true << false << "temporary";
    QTest::newRow("in_place") << kInPlace << true << false << "GAME.bbd";
}

// A crash right after the run reports success must find the new contents on disk (synced before
// they are put in place) and under the target's name (the folder synced after the rename).
void TestFilePromises::syncsAroundTheRename() {
    QFETCH(Configure, configure);
    QFETCH(bool, exists);
    QFETCH(bool, refuse);
    QFETCH(QString, contents);
    const QString target = path("GAME.bbd");
    if (exists) {
        QVERIFY(writeFile(target, kOld));
    }

    FailingFileSystem fs;
    configure(fs);
    const auto error = replace(fs, target, refuse ? Existing::Refuse : Existing::Replace, kWritten);
    QVERIFY2(!error, error ? error->what() : "");
    QCOMPARE(readFile(target), kWritten);

    const QStringList log = [&] {
        QStringList lines;
        for (const auto& line : fs.log()) {
            lines << QString::fromStdString(line);
        }
        return lines;
    }();
    const QByteArray shown = log.join('\n').toUtf8();
    const std::string folder = local(dir_->path());
    std::string written = folder + "/" + local(contents);
    if (contents == "temporary") {
        const long created = fs.find("create ");
        QVERIFY2(created >= 0, shown);
        written = fs.log()[std::size_t(created)].substr(std::string("create ").size());
    }
    const long lastWrite = fs.findLast("write " + written);
    const long sync = fs.findLast("sync " + written);
    QVERIFY2(lastWrite >= 0 && sync > lastWrite, shown);
    if (contents == "GAME.bbd") {
        QVERIFY2(fs.find("rename") < 0, shown);  // in place: the file keeps its name
        return;
    }
    // A new file without a name is put in place by naming it; anything else by a rename.
    const long putInPlace = contents == "(unnamed)" && !exists
                                ? fs.find("name " + local(target))
                                : fs.find(refuse ? "rename-noreplace " : "rename ");
    QVERIFY2(putInPlace > sync, shown);
    QVERIFY2(fs.findLast("sync " + folder) > putInPlace, shown);
}

void TestFilePromises::oddFileSystems_data() {
    QTest::addColumn<Configure>("configure");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("refuse");
    QTest::addColumn<int>("failsAt");  // -1: succeeds
    QTest::addColumn<QString>("how");  // unnamed, named or in_place

    const auto fails = [](std::initializer_list<std::pair<const char*, int>> calls) {
        std::vector<std::pair<std::string, int>> list(calls.begin(), calls.end());
        return Configure([list](FailingFileSystem& fs) {
            for (const auto& [kind, error] : list) {
                fs.failAll(kind, error);
            }
        });
    };
    const int ok = -1;
    // A FAT card: no modes, owners, attributes or unnamed files.
    QTest::newRow("fat_card") << fails({{"fchmod", EPERM},
                                        {"fchown", EPERM},
                                        {"listxattr", EOPNOTSUPP},
                                        {"unnamed", EOPNOTSUPP}})
                              << true << false << ok << "named";
    QTest::newRow("fchmod_not_implemented")
        << fails({{"fchmod", ENOSYS}}) << true << false << ok << "unnamed";
    QTest::newRow("fchmod_not_supported")
        << fails({{"fchmod", EOPNOTSUPP}}) << true << false << ok << "unnamed";
    QTest::newRow("fchmod_disk_error_still_fails")
        << fails({{"fchmod", EIO}}) << true << false << int(FileStep::Write) << "unnamed";
    QTest::newRow("attributes_refused") << fails({{"getxattr", ENOTSUP}, {"setxattr", EOPNOTSUPP}})
                                        << true << false << ok << "unnamed";
    QTest::newRow("no_unnamed_files")
        << fails({{"unnamed", EOPNOTSUPP}}) << true << false << ok << "named";
    QTest::newRow("kernel_before_unnamed_files")
        << fails({{"unnamed", EISDIR}}) << false << true << ok << "named";
    QTest::newRow("no_seek_data") << fails({{"seek", EINVAL}}) << true << false << ok << "unnamed";
    QTest::newRow("folder_not_writable")
        << fails({{"unnamed", EACCES}}) << true << false << ok << "in_place";
    QTest::newRow("folder_not_writable_named")
        << fails({{"unnamed", EOPNOTSUPP}, {"create", EACCES}}) << true << false << ok
        << "in_place";
    QTest::newRow("folder_not_writable_new_file")
        << fails({{"unnamed", EACCES}}) << false << false << int(FileStep::Create) << "";
    QTest::newRow("no_rename_noreplace")
        << fails({{"rename-noreplace", EINVAL}}) << false << true << ok << "unnamed";
    QTest::newRow("no_rename_noreplace_nor_links")
        << fails({{"rename-noreplace", EINVAL}, {"link", EPERM}, {"unnamed", EOPNOTSUPP}}) << false
        << true << ok << "named";
}

// What a file system lacks costs at most a promise that it cannot keep anyway; the save itself
// is made, byte for byte.
void TestFilePromises::oddFileSystems() {
    QFETCH(Configure, configure);
    QFETCH(bool, exists);
    QFETCH(bool, refuse);
    QFETCH(int, failsAt);
    QFETCH(QString, how);
    const QString target = path("GAME.bbd");
    if (exists) {
        QVERIFY(writeFile(target, kOld));
        QVERIFY(::chmod(local(target).c_str(), 0640) == 0);
        if (::setxattr(local(target).c_str(), "user.plimbrook", "kept", 4, 0) != 0) {
            QVERIFY(errno == ENOTSUP);  // an attribute is a bonus here
        }
    }
    const QStringList before = snapshotModes(dir_->path());
    const ino_t oldInode = inodeOf(target);

    FailingFileSystem fs;
    configure(fs);
    const auto error = replace(fs, target, refuse ? Existing::Refuse : Existing::Replace, kWritten);

    QCOMPARE(strayTemporaries(dir_->path()), QStringList());
    if (failsAt >= 0) {
        QVERIFY(error);
        QCOMPARE(int(error->step()), failsAt);
        QCOMPARE(snapshotModes(dir_->path()), before);
        return;
    }
    QVERIFY2(!error, error ? error->what() : "");
    QCOMPARE(readFile(target), kWritten);
    const long created = fs.find("create ");
    QCOMPARE(created >= 0 && !fs.log()[std::size_t(created)].ends_with("fails"), how == "named");
    QCOMPARE(exists && inodeOf(target) == oldInode, how == "in_place");
    const long chmod = fs.find("fchmod");
    const bool modeStored =
        how == "in_place" || (chmod >= 0 && !fs.log()[std::size_t(chmod)].ends_with("fails"));
    if (exists && modeStored) {
        QCOMPARE(modeOf(target) & 07777, 0640u);
    }
}

void TestFilePromises::linksInSharedFolders_data() {
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<QString>("linkOwner");
    QTest::addColumn<bool>("followed");
    QTest::addColumn<bool>("folderLink");  // the link is a folder on the way, not the file

    QTest::newRow("sticky_shared_strangers_link") << 01777 << "stranger" << false << false;
    QTest::newRow("sticky_shared_own_link") << 01777 << "us" << true << false;
    QTest::newRow("sticky_shared_folder_owners_link") << 01777 << "folder_owner" << true << false;
    QTest::newRow("shared_not_sticky_strangers_link") << 0777 << "stranger" << true << false;
    QTest::newRow("private_strangers_link") << 0755 << "stranger" << true << false;
    QTest::newRow("sticky_shared_strangers_folder_link") << 01777 << "stranger" << false << true;
    QTest::newRow("sticky_shared_own_folder_link") << 01777 << "us" << true << true;
    QTest::newRow("private_strangers_folder_link") << 0755 << "stranger" << true << true;
}

// A link in an ordinary folder is written through and stays a link. In a sticky folder anyone
// may write, such as /tmp, a link another user made is not followed: they could aim it at any
// file of ours, and swap it in between our look and our write.
void TestFilePromises::linksInSharedFolders() {
    QFETCH(int, folderMode);
    QFETCH(QString, linkOwner);
    QFETCH(bool, followed);
    QFETCH(bool, folderLink);
    const uid_t folderOwner = 4242;
    const uid_t owner = linkOwner == "us"             ? ::geteuid()
                        : linkOwner == "folder_owner" ? folderOwner
                                                      : 5353;
    QVERIFY(QDir(dir_->path()).mkdir("shared"));
    QVERIFY(QDir(dir_->path()).mkdir("cards"));
    // A link to a file, or to the folder the file is in, such as root's
    // --output-dir /tmp/shared/cards where another user made "cards".
    const QString link = path(folderLink ? "shared/cards" : "shared/GAME.bbd");
    const QString output = folderLink ? path("shared/cards/GAME.bbd") : link;
    const QString victim = path(folderLink ? "cards/GAME.bbd" : "victim.bbd");
    QVERIFY(writeFile(victim, kOld));
    QVERIFY(::symlink(folderLink ? "../cards" : "../victim.bbd", local(link).c_str()) == 0);
    QVERIFY(::chmod(local(path("shared")).c_str(), mode_t(folderMode)) == 0);

    OwnersFileSystem fs(owner, folderOwner);
    const auto error = replace(fs, output, Existing::Replace, kWritten);

    QVERIFY(S_ISLNK(modeOf(link)));
    if (followed) {
        QVERIFY2(!error, error ? error->what() : "");
        QCOMPARE(readFile(victim), kWritten);
    } else {
        QVERIFY2(error, "followed a stranger's link");
        QCOMPARE(int(error->step()), int(FileStep::UnsafeLink));
        QCOMPARE(readFile(victim), kOld);
    }
    QCOMPARE(strayTemporaries(dir_->path()) + strayTemporaries(path("shared")), QStringList());
}

// The name is looked up once: a regular file then, a link by the time it is opened, is not
// followed to what the link names.
void TestFilePromises::entrySwappedAfterLookUp() {
    const QString target = path("GAME.bbd");
    const QString victim = path("victim");
    QVERIFY(writeFile(target, kOld));
    QVERIFY(writeFile(victim, kVictim));

    SwappingFileSystem fs(victim);
    const auto error = replace(fs, target, Existing::Replace, kWritten);

    QVERIFY2(error, "followed a link slipped in after the look-up");
    QCOMPARE(error->errorNumber(), ELOOP);
    QCOMPARE(readFile(victim), kVictim);
    QVERIFY(S_ISLNK(modeOf(target)));
}

// A huge file that is replaced costs nothing of its size: none of its bytes are read, and the
// new file holds the new contents and nothing more.
void TestFilePromises::hugeOldFileIsNotRead() {
    const QString target = path("huge.bbd");
    constexpr qint64 kSize = qint64(64) << 20;
    {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(kOld), qint64(kOld.size()));
        QVERIFY(file.resize(kSize));
    }

    FailingFileSystem fs;
    const auto error = replace(fs, target, Existing::Replace, kWritten);
    QVERIFY2(!error, error ? error->what() : "");

    QCOMPARE(readFile(target), kWritten);
    for (const std::string& call : fs.log()) {
        QVERIFY2(!call.starts_with("read "), call.c_str());
    }
}

// A replacement is a new file, but keeps the old one's extended attributes, ACLs among them.
void TestFilePromises::attributesAndAclsAreKept() {
    const QString target = path("GAME.bbd");
    QVERIFY(writeFile(target, kOld));
    QVERIFY(::chmod(local(target).c_str(), 0640) == 0);
    const std::string file = local(target);
    if (::setxattr(file.c_str(), "user.plimbrook.note", "slot 2", 6, 0) != 0) {
        QSKIP("this file system keeps no user attributes");
    }
    // An access ACL as the kernel stores it: owner rw, user 65534 r, group r, mask r, others -.
    const auto entry = [](std::uint16_t tag, std::uint16_t perm, std::uint32_t id) {
        QByteArray bytes(8, '\0');
        std::memcpy(bytes.data(), &tag, 2);
        std::memcpy(bytes.data() + 2, &perm, 2);
        std::memcpy(bytes.data() + 4, &id, 4);
        return bytes;
    };
    const std::uint32_t version = 2;
    const std::uint32_t none = 0xFFFFFFFF;
    const QByteArray acl = QByteArray(reinterpret_cast<const char*>(&version), 4) +
                           entry(0x01, 6, none) + entry(0x02, 4, 65534) + entry(0x04, 4, none) +
                           entry(0x10, 4, none) + entry(0x20, 0, none);
    const bool hasAcl = ::setxattr(file.c_str(), "system.posix_acl_access", acl.constData(),
                                   std::size_t(acl.size()), 0) == 0;
    const auto attribute = [&](const char* name) {
        QByteArray value(256, '\0');
        const ssize_t n = ::getxattr(file.c_str(), name, value.data(), std::size_t(value.size()));
        return n < 0 ? QByteArray() : value.left(n);
    };
    const QByteArray storedAcl = attribute("system.posix_acl_access");
    const ino_t oldInode = inodeOf(target);

    FailingFileSystem fs;
    const auto error = replace(fs, target, Existing::Replace, kWritten);
    QVERIFY2(!error, error ? error->what() : "");

    QVERIFY(inodeOf(target) != oldInode);
    QCOMPARE(attribute("user.plimbrook.note"), QByteArray("slot 2"));
    QCOMPARE(modeOf(target) & 07777, 0640u);
    if (hasAcl) {
        QCOMPARE(attribute("system.posix_acl_access"), storedAcl);
    } else {
        qInfo("no ACLs on this file system; only the user attribute was checked");
    }
}

QTEST_GUILESS_MAIN(TestFilePromises)
#include "tst_file_promises.moc"
