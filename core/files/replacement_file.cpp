#include "core/files/replacement_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>

#include "core/files/file_io.h"
#include "core/files/temporary_cleanup.h"

namespace plimbrook {

using file_io::Descriptor;
using file_io::fail;
using file_io::joined;
using file_io::readAt;
using file_io::split;
using file_io::writeAt;

namespace {

// Copies the old file's bytes, leaving its holes holes: a sparse file of gigabytes costs only
// the blocks it really has.
void copyContents(FileSystem& fs, int from, const std::string& fromPath, int to,
                  const std::string& toPath, off_t size) {
    constexpr off_t kChunk = 256 * 1024;
    bool findHoles = true;
    off_t at = 0;
    off_t end = 0;
    while (at < size) {
        off_t data = at;
        off_t hole = size;
        if (findHoles) {
            data = fs.lseek(from, at, SEEK_DATA);
            if (data < 0 && errno == ENXIO) {
                break;  // nothing but a hole up to the end
            }
            if (data < 0 && errno != EINVAL && errno != EOPNOTSUPP) {
                fail(FileStep::Read, fromPath);
            }
            if (data < 0) {
                findHoles = false;  // a file system that cannot say: copy it all
                data = at;
            } else if ((hole = fs.lseek(from, data, SEEK_HOLE)) < 0) {
                fail(FileStep::Read, fromPath);
            }
            hole = std::min(hole, size);
        }
        for (off_t offset = data; offset < hole;) {
            const auto chunk = readAt(fs, from, fromPath, static_cast<std::uint64_t>(offset),
                                      static_cast<std::size_t>(std::min(kChunk, hole - offset)));
            if (chunk.empty()) {
                hole = offset;  // the file was cut short meanwhile
                size = offset;
                break;
            }
            writeAt(fs, to, toPath, static_cast<std::uint64_t>(offset), chunk);
            offset += static_cast<off_t>(chunk.size());
            end = offset;
        }
        at = std::max(hole, data);
    }
    if (end < size && fs.ftruncate(to, size) != 0) {
        fail(FileStep::Write, toPath);
    }
}

// What a file system may refuse to store without the save being any worse: a mode or owner on
// FAT, an attribute it has no room or namespace for.
bool notStorable(int error) {
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
}
bool attributeNotStorable(int error) {
    return notStorable(error) || error == EACCES || error == E2BIG || error == ERANGE ||
           error == ENOSPC || error == EDQUOT || error == EINVAL || error == ENODATA;
}

// Errors with which a file system says it cannot make a file without a name.
bool unnamedUnsupported(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOSYS;
}

std::string randomSuffix() {
    static std::mt19937_64 generator{std::random_device{}()};
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
    std::string suffix(8, 'x');
    for (char& c : suffix) {
        c = kAlphabet[pick(generator)];
    }
    return suffix;
}

}  // namespace

ReplacementFile::ReplacementFile(FileSystem& fs, ReplaceOptions::Existing existing)
    : fs_(fs), existing_(existing) {}

ReplacementFile::~ReplacementFile() {
    discard();
}

std::string ReplacementFile::temporaryPath() const {
    return temporary_.empty() ? std::string() : joined(folder_, temporary_);
}

std::unique_ptr<ReplacementFile> ReplacementFile::open(FileSystem& fs, const std::string& path,
                                                       const ReplaceOptions& options) {
    std::unique_ptr<ReplacementFile> file(new ReplacementFile(fs, options.existing));
    file->resolve(path, options.folders);

    // The old file must be a regular file we may write; its bytes become the starting contents
    // of the new one. O_NOFOLLOW: a link slipped in since the look-up is not followed.
    Descriptor old{fs};
    FileStatus oldInfo{};
    if (file->exists_) {
        old.fd = fs.openat(file->dir(), file->name_,
                           O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
        if (old.fd < 0) {
            fail(FileStep::Open, file->target_);
        }
        if (fs.fstat(old.fd, oldInfo) != 0) {
            fail(FileStep::Open, file->target_);
        }
        if (!S_ISREG(oldInfo.st_mode)) {
            fail(FileStep::NotRegular, file->target_, EINVAL);
        }
        if (options.vetTarget) {
            options.vetTarget(idOf(oldInfo));
        }
    }
    file->create(old.fd, oldInfo);
    if (file->kind_ == Kind::InPlace) {
        old.release();  // it is the output now
    } else if (old.fd >= 0 && fs.close(old.release()) != 0) {
        fail(FileStep::Close, file->target_);
    }
    return file;
}

// Looks the name up once, in a folder held open, and follows links by hand from there, so that
// writing "through" a link replaces the file it names and leaves the link itself in place.
void ReplacementFile::resolve(const std::string& path, FolderCache* folders) {
    auto [folder, name] = split(path);
    if (name.empty() || name == "." || name == "..") {
        // A name that can only be a folder: say whether there is one.
        FileStatus info{};
        if (fs_.stat(path, info) != 0) {
            fail(FileStep::Open, path);
        }
        fail(FileStep::NotRegular, path, EISDIR);
    }
    auto opened =
        folders ? folders->open(fs_, folder) : OpenFolder::open(fs_, kWorkingFolder, folder);
    if (!opened) {
        fail(FileStep::Open, path);
    }
    folderHandle_ = std::move(opened);
    folder_ = folder;
    name_ = name;
    target_ = path;

    for (int hops = 0;; ++hops) {
        FileStatus info{};
        if (fs_.lstatat(dir(), name_, info) != 0) {
            if (errno != ENOENT) {
                fail(FileStep::Open, target_);
            }
            exists_ = false;  // a new file; through a dangling link, at the link's target
            return;
        }
        // Anything at the name, even a dangling link, is kept unless replacing was asked for.
        if (hops == 0 && existing_ == ReplaceOptions::Existing::Refuse) {
            fail(FileStep::Exists, path, EEXIST);
        }
        if (S_ISREG(info.st_mode)) {
            exists_ = true;
            return;
        }
        if (!isSymbolicLink(info)) {
            fail(FileStep::NotRegular, target_, S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
        }
        if (hops == 40) {
            fail(FileStep::Resolve, path, ELOOP);
        }
        followLink(info);
    }
}

// One step along a chain of links: the folder and name the link at name_ points to.
void ReplacementFile::followLink(const FileStatus& info) {
    // In a sticky folder that anyone may write, such as /tmp, a link is followed only if we
    // or the folder's owner made it: another user could aim it at any file of ours.
    FileStatus folderInfo{};
    if (fs_.fstat(dir(), folderInfo) != 0) {
        fail(FileStep::Resolve, target_);
    }
    const bool shared = isSharedStickyFolder(folderInfo);
    if (shared && info.st_uid != folderInfo.st_uid && info.st_uid != effectiveUser()) {
        fail(FileStep::UnsafeLink, target_, EACCES);
    }

    std::string link;
    if (fs_.readlinkat(dir(), name_, link) < 0) {
        fail(FileStep::Resolve, target_);
    }
    const bool absolute = link.starts_with('/');
    const std::string shown = absolute ? link : joined(folder_, link);
    auto [linkFolder, linkName] = split(link);
    if (linkName.empty() || linkName == "." || linkName == "..") {
        fail(FileStep::NotRegular, shown, EISDIR);
    }
    auto next = OpenFolder::open(fs_, absolute ? kWorkingFolder : dir(), linkFolder);
    if (!next) {
        fail(FileStep::Open, shown);
    }
    folderHandle_ = std::move(next);
    folder_ = absolute ? linkFolder : joined(folder_, linkFolder);
    name_ = linkName;
    target_ = shown;
}

// The new contents start without a name where the file system allows, or else under a hidden
// name beside the target; where the folder may not be written, in the old file itself.
void ReplacementFile::create(int old, const FileStatus& oldInfo) {
    // A new file gets 0666 less the umask, as any other program's output. A replacement starts
    // private, since the old contents are copied in before the old mode is put on it.
    const mode_t mode = exists_ ? 0600 : 0666;
    kind_ = Kind::Unnamed;
    fd_ = fs_.openUnnamed(dir(), mode);
    if (fd_ < 0 && unnamedUnsupported(errno)) {
        kind_ = Kind::Named;
        createNamedTemporary(mode);
    }
    if (fd_ < 0) {
        const int error = errno;
        if (error == EACCES && exists_) {
            // The folder is not ours to write, but the file may be: as QSaveFile does, write it
            // in place, at commit, and give up only the all-or-nothing promise.
            kind_ = Kind::InPlace;
            fd_ = old;
            id_ = idOf(oldInfo);
            return;
        }
        fail(FileStep::Create, folder_, error);
    }

    FileStatus info{};
    if (fs_.fstat(fd_, info) != 0) {
        fail(FileStep::Create, folder_);
    }
    id_ = idOf(info);
    if (exists_) {
        takeOver(old, oldInfo);
    }
}

// A hidden name beside the target that no other file has; fd_ is -1 and errno says why where
// none could be made.
void ReplacementFile::createNamedTemporary(mode_t mode) {
    const std::string stem = name_.substr(0, 200);  // so that the name stays within NAME_MAX
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_ = "." + stem + kTemporaryMarker + randomSuffix();
        // Listed before it exists: a signal right after its creation must find it listed.
        pendingSlot_ = rememberPending(dir(), temporary_);
        fd_ =
            fs_.openat(dir(), temporary_, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd_ >= 0) {
            return;
        }
        const int error = errno;
        forgetTemporary();
        errno = error;
        if (error != EEXIST) {
            return;
        }
    }
}

// Everything of the old file that a replacement keeps: its bytes, owner, mode and extended
// attributes (ACLs are among these). Its other names, if it has hard links, stay with the old.
void ReplacementFile::takeOver(int old, const FileStatus& oldInfo) {
    const std::string contents = kind_ == Kind::Named ? temporaryPath() : target_;
    copyContents(fs_, old, target_, fd_, contents, oldInfo.st_size);

    // A user cannot give files away; that must not stop the save. The owner goes first, as a
    // change of owner clears the set-ID bits.
    if (oldInfo.st_uid != effectiveUser() || oldInfo.st_gid != effectiveGroup()) {
        fs_.fchown(fd_, oldInfo.st_uid, oldInfo.st_gid);
    }
    if (fs_.fchmod(fd_, oldInfo.st_mode & 07777) != 0 && !notStorable(errno)) {
        fail(FileStep::Write, contents);
    }

    std::vector<std::string> names;
    if (fs_.flistxattr(old, names) < 0) {
        if (attributeNotStorable(errno)) {
            return;
        }
        fail(FileStep::Read, target_);
    }
    for (const std::string& name : names) {
        std::string value;
        if (fs_.fgetxattr(old, name, value) < 0) {
            if (attributeNotStorable(errno)) {
                continue;
            }
            fail(FileStep::Read, target_);
        }
        if (fs_.fsetxattr(fd_, name, value) != 0 && !attributeNotStorable(errno)) {
            fail(FileStep::Write, contents);
        }
    }
}

void ReplacementFile::write(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    if (kind_ == Kind::InPlace) {
        heldBack_.emplace_back(offset, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
        return;
    }
    writeAt(fs_, fd_, kind_ == Kind::Named ? temporaryPath() : target_, offset, bytes);
}

void ReplacementFile::commit() {
    sync();
    install();
    closeFolder(true);
}

void ReplacementFile::finishWrites() {
    for (const auto& [offset, bytes] : heldBack_) {
        writeAt(fs_, fd_, target_, offset, bytes);
    }
    heldBack_.clear();
}

void ReplacementFile::sync() {
    finishWrites();
    // On disk first, then named: a crash after the rename must find the contents there.
    if (fs_.fsync(fd_) != 0) {
        fail(FileStep::Sync, kind_ == Kind::Named ? temporaryPath() : target_);
    }
}

bool ReplacementFile::syncFileSystem() noexcept {
    return fs_.syncFileSystem(dir()) == 0;
}

void ReplacementFile::install() {
    if (kind_ == Kind::Unnamed) {
        nameTemporary();
    }
    const int fd = std::exchange(fd_, -1);
    if (fs_.close(fd) != 0) {
        fail(FileStep::Close, kind_ == Kind::InPlace ? target_ : temporaryPath());
    }
    if (kind_ != Kind::InPlace) {
        putInPlace();
    }
    committed_ = true;
    forgetTemporary();
}

void ReplacementFile::closeFolder(bool sync) noexcept {
    if (dir() < 0) {
        return;
    }
    // The new file is complete and in place; syncing the folder only makes the rename itself
    // durable, so a failure here is not worth reporting as a lost save.
    if (sync && kind_ != Kind::InPlace) {
        fs_.fsync(dir());
    }
    folderHandle_ = nullptr;
}

std::optional<FileId> ReplacementFile::folderId() const {
    return folderHandle_ ? folderHandle_->id() : std::nullopt;
}

// The unnamed contents get a hidden name for the moment between link and rename, as a link
// cannot replace a file.
void ReplacementFile::nameTemporary() {
    const std::string stem = name_.substr(0, 200);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_ = "." + stem + kTemporaryMarker + randomSuffix();
        pendingSlot_ = rememberPending(dir(), temporary_);
        if (fs_.linkUnnamed(fd_, dir(), temporary_) == 0) {
            return;
        }
        const int error = errno;
        forgetTemporary();
        if (error != EEXIST) {
            fail(FileStep::Link, target_, error);
        }
    }
    fail(FileStep::Link, target_, EEXIST);
}

// Without leave to replace, the rename itself refuses a name taken since the look-up: another
// program, or a second run, may have made it meanwhile.
void ReplacementFile::putInPlace() {
    const bool replace = existing_ == ReplaceOptions::Existing::Replace;
    if (fs_.renameat(dir(), temporary_, dir(), name_, replace) == 0) {
        return;
    }
    int error = errno;
    if (!replace && error == EINVAL) {
        // A file system that cannot rename without replacing: a second name never replaces
        // either, and then the temporary one goes.
        if (fs_.linkat(dir(), temporary_, dir(), name_) == 0) {
            fs_.unlinkat(dir(), temporary_);
            return;
        }
        error = errno;
        if (error == EPERM || error == EOPNOTSUPP) {
            // No hard links either, as on old FAT drivers: look, then rename. Only here can a
            // file made in between these two calls be replaced.
            FileStatus info{};
            if (fs_.lstatat(dir(), name_, info) == 0) {
                error = EEXIST;
            } else if (errno != ENOENT) {
                error = errno;
            } else if (fs_.renameat(dir(), temporary_, dir(), name_, true) == 0) {
                return;
            } else {
                error = errno;
            }
        }
    }
    fail(error == EEXIST && !replace ? FileStep::Exists : FileStep::Rename, target_, error);
}

void ReplacementFile::forgetTemporary() {
    forgetPending(pendingSlot_);
    pendingSlot_ = -1;
    temporary_.clear();
}

void ReplacementFile::discard() noexcept {
    if (fd_ >= 0) {
        fs_.close(fd_);
        fd_ = -1;
    }
    if (!committed_ && !temporary_.empty()) {
        fs_.unlinkat(dir(), temporary_);
    }
    forgetTemporary();
    heldBack_.clear();
    folderHandle_ = nullptr;
}

}  // namespace plimbrook
