#include "core/files/new_contents.h"

#include <fcntl.h>

#include "core/files/file_io.h"

namespace plimbrook {

using file_io::Descriptor;
using file_io::fail;
using file_io::retried;
using file_io::writeAt;

namespace {

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

// What a replacement keeps of the old file besides its name: its owner, mode and extended
// attributes (ACLs are among these). Its bytes are not kept: the new file holds only what was
// written. Its other names, if it has hard links, stay with the old.
void takeOver(FileSystem& fs, int old, const Target& target, int to) {
    const FileStatus& oldInfo = *target.old;
    // A user cannot give files away; that must not stop the save. The owner goes first, as a
    // change of owner clears the set-ID bits.
    if (oldInfo.st_uid != target.folder->newFileUser() ||
        oldInfo.st_gid != target.folder->newFileGroup()) {
        fs.fchown(to, oldInfo.st_uid, oldInfo.st_gid);
    }
    if (fs.fchmod(to, oldInfo.st_mode & 07777) != 0 && !notStorable(errno)) {
        fail(FileStep::Write, target.shown);
    }

    std::vector<std::string> names;
    if (fs.flistxattr(old, names) < 0) {
        if (attributeNotStorable(errno)) {
            return;
        }
        fail(FileStep::Read, target.shown);
    }
    for (const std::string& name : names) {
        std::string value;
        if (fs.fgetxattr(old, name, value) < 0) {
            if (attributeNotStorable(errno)) {
                continue;
            }
            fail(FileStep::Read, target.shown);
        }
        if (fs.fsetxattr(to, name, value) != 0 && !attributeNotStorable(errno)) {
            fail(FileStep::Write, target.shown);
        }
    }
}

}  // namespace

NewContents::~NewContents() {
    if (fd_ >= 0) {
        fs_.close(fd_);
    }
}

void NewContents::write(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    writeAt(fs_, fd_, where(), offset, bytes);
}

void NewContents::sync() {
    finishWrites();
    // On disk first, then named: a crash after the rename must find the contents there.
    if (fs_.fsync(fd_) != 0) {
        fail(FileStep::Sync, where());
    }
}

void NewContents::closeFile() {
    const int fd = std::exchange(fd_, -1);
    if (fd >= 0 && fs_.close(fd) != 0) {
        fail(FileStep::Close, where());
    }
}

void NewContents::discard() noexcept {
    if (fd_ >= 0) {
        fs_.close(std::exchange(fd_, -1));
    }
}

std::unique_ptr<NewContents> makeContents(FileSystem& fs, Target target) {
    // The old file must be a regular file we may write. O_NOFOLLOW: a link slipped in since the
    // look-up is not followed.
    Descriptor old{fs};
    if (target.old) {
        old.fd = retried([&] { return fs.openEntry(target.dir(), target.name, O_RDWR); });
        if (old.fd < 0) {
            fail(FileStep::Open, target.shown);
        }
    }
    // A new file gets 0666 less the umask, as any other program's output. A replacement starts
    // private until the old file's mode is put on it.
    const mode_t mode = target.old ? 0600 : 0666;
    auto contents = makeUnnamedContents(fs, target, mode);
    if (!contents && unnamedUnsupported(errno)) {
        contents = makeNamedContents(fs, target, mode);
    }
    if (!contents) {
        const int error = errno;
        if (error == EACCES && target.old) {
            // The folder is not ours to write, but the file may be: as QSaveFile does, write it
            // in place, at commit, and give up only the all-or-nothing promise.
            return makeInPlaceContents(fs, std::move(target), old.release());
        }
        fail(FileStep::Create, target.folderPath, error);
    }
    if (target.old) {
        takeOver(fs, old.fd, target, contents->fd());
        if (fs.close(old.release()) != 0) {
            fail(FileStep::Close, target.shown);
        }
    }
    return contents;
}

}  // namespace plimbrook
