#pragma once

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/files/file_access.h"

namespace plimbrook::testing {

// The real file system, except that the N-th counted call (N from 1; 0: none) goes wrong: it
// fails with an error, is interrupted (EINTR), or, if it is a write, writes only half or nothing.
// Besides, every call of a kind can be made to fail, as on a file system that lacks it, and every
// write can be made to write nothing, so that a write loop that never ends fails its test.
// Every call is counted and logged as "kind path", so a test can first run a command cleanly to
// learn the calls, then upset each in turn, or check that a call was made, or never made.
class FailingFileSystem : public FileSystem {
public:
    enum class Fault { Fail, Interrupt, ShortWrite, ZeroWrite };

    explicit FailingFileSystem(long failAt = 0, int error = EIO, Fault fault = Fault::Fail)
        : failAt_(failAt), error_(error), fault_(fault) {}

    // Every later call of `kind` (the first word of its log entry) fails with `error`.
    void failAll(const std::string& kind, int error) { always_[kind] = error; }
    // Every later write writes nothing and reports no error.
    void writeNothing() { writeNothing_ = true; }

    long count() const { return count_; }
    const std::vector<std::string>& log() const { return log_; }
    bool fired() const { return fired_; }

    // Index in the log of the first, or last, entry that starts with `prefix`; -1 if none.
    long find(const std::string& prefix) const {
        const auto it = std::find_if(log_.begin(), log_.end(),
                                     [&](const std::string& e) { return e.starts_with(prefix); });
        return it == log_.end() ? -1 : static_cast<long>(it - log_.begin());
    }
    long findLast(const std::string& prefix) const {
        for (long i = static_cast<long>(log_.size()) - 1; i >= 0; --i) {
            if (log_[static_cast<std::size_t>(i)].starts_with(prefix)) {
                return i;
            }
        }
        return -1;
    }

    // The path a descriptor was opened by; an unnamed file is "FOLDER/(unnamed)".
    std::string pathOf(int fd) const {
        if (fd == kWorkingFolder) {
            return ".";
        }
        const auto it = paths_.find(fd);
        return it == paths_.end() ? "fd" + std::to_string(fd) : it->second;
    }
    std::string pathAt(int dir, const std::string& name) const {
        if (name.starts_with('/') || dir == kWorkingFolder) {
            return name;
        }
        const std::string folder = pathOf(dir);
        return folder.ends_with('/') ? folder + name : folder + "/" + name;
    }

    int open(const std::string& path, int flags, mode_t mode) override {
        return opened(path, step("open", path) ? -1 : real().open(path, flags, mode));
    }
    int openEntry(int dir, const std::string& name, int flags) override {
        const std::string at = pathAt(dir, name);
        return opened(at, step("openat", at) ? -1 : real().openEntry(dir, name, flags));
    }
    int createNew(int dir, const std::string& name, mode_t mode) override {
        const std::string at = pathAt(dir, name);
        return opened(at, step("create", at) ? -1 : real().createNew(dir, name, mode));
    }
    int openFolder(int dir, const std::string& path, bool followLink) override {
        const std::string at = pathAt(dir, path);
        return opened(at, step("opendir", at) ? -1 : real().openFolder(dir, path, followLink));
    }
    int createUnnamed(int dir, mode_t mode) override {
        const std::string at = pathOf(dir) + "/(unnamed)";
        return opened(at, step("unnamed", pathOf(dir)) ? -1 : real().createUnnamed(dir, mode));
    }
    int nameUnnamed(int fd, int dir, const std::string& name) override {
        return step("name", pathAt(dir, name)) ? -1 : real().nameUnnamed(fd, dir, name);
    }
    int listFolder(int dir, std::vector<std::string>& names) override {
        return step("list", pathOf(dir)) ? -1 : real().listFolder(dir, names);
    }
    int close(int fd) override {
        const std::string path = pathOf(fd);
        paths_.erase(fd);
        if (step("close", path)) {
            real().close(fd);  // the descriptor is gone either way, as with a real close
            return -1;
        }
        return real().close(fd);
    }

    int stat(const std::string& path, FileStatus& info) override {
        return step("stat", path) ? -1 : real().stat(path, info);
    }
    int fstat(int fd, FileStatus& info) override {
        return step("fstat", pathOf(fd)) ? -1 : real().fstat(fd, info);
    }
    int lstatat(int dir, const std::string& name, FileStatus& info) override {
        return step("lstat", pathAt(dir, name)) ? -1 : real().lstatat(dir, name, info);
    }
    ssize_t readlinkat(int dir, const std::string& name, std::string& target) override {
        return step("readlink", pathAt(dir, name)) ? -1 : real().readlinkat(dir, name, target);
    }

    ssize_t pread(int fd, void* buffer, std::size_t count, off_t offset) override {
        return step("read", pathOf(fd)) ? -1 : real().pread(fd, buffer, count, offset);
    }
    ssize_t pwrite(int fd, const void* buffer, std::size_t count, off_t offset) override {
        if (step("write", pathOf(fd))) {
            return -1;
        }
        if ((count_ == failAt_ && fault_ == Fault::ZeroWrite) || writeNothing_) {
            mark("  <- writes nothing");
            return 0;
        }
        if (count_ == failAt_ && fault_ == Fault::ShortWrite && count > 1) {
            mark("  <- writes half");
            count /= 2;
        }
        return real().pwrite(fd, buffer, count, offset);
    }
    int setSize(int fd, off_t length) override {
        return step("truncate", pathOf(fd)) ? -1 : real().setSize(fd, length);
    }
    int reserve(int fd, off_t length) override {
        return step("reserve", pathOf(fd)) ? -1 : real().reserve(fd, length);
    }
    off_t largestFile() override { return step("limit", "") ? -1 : real().largestFile(); }
    int fsync(int fd) override { return step("sync", pathOf(fd)) ? -1 : real().fsync(fd); }
    int syncFileSystem(int fd) override {
        return step("syncfs", pathOf(fd)) ? -1 : real().syncFileSystem(fd);
    }

    int fchmod(int fd, mode_t mode) override {
        return step("fchmod", pathOf(fd)) ? -1 : real().fchmod(fd, mode);
    }
    int fchown(int fd, uid_t owner, gid_t group) override {
        return step("fchown", pathOf(fd)) ? -1 : real().fchown(fd, owner, group);
    }
    ssize_t flistxattr(int fd, std::vector<std::string>& names) override {
        return step("listxattr", pathOf(fd)) ? -1 : real().flistxattr(fd, names);
    }
    ssize_t fgetxattr(int fd, const std::string& name, std::string& value) override {
        return step("getxattr", pathOf(fd) + " " + name) ? -1 : real().fgetxattr(fd, name, value);
    }
    int fsetxattr(int fd, const std::string& name, const std::string& value) override {
        return step("setxattr", pathOf(fd) + " " + name) ? -1 : real().fsetxattr(fd, name, value);
    }

    int rename(int dir, const std::string& from, const std::string& to, bool replace) override {
        return step(replace ? "rename" : "rename-noreplace", pathAt(dir, to))
                   ? -1
                   : real().rename(dir, from, to, replace);
    }
    int link(int dir, const std::string& from, const std::string& to) override {
        return step("link", pathAt(dir, to)) ? -1 : real().link(dir, from, to);
    }
    int remove(int dir, const std::string& name) override {
        return step("unlink", pathAt(dir, name)) ? -1 : real().remove(dir, name);
    }

protected:
    static FileSystem& real() { return realFileSystem(); }

    // Counts and logs a call; true if it is to fail now, with errno set.
    bool step(const std::string& kind, const std::string& path) {
        ++count_;
        log_.push_back(kind + " " + path);
        if (const auto always = always_.find(kind); always != always_.end()) {
            mark("  <- fails");
            errno = always->second;
            return true;
        }
        if (count_ != failAt_ || fault_ == Fault::ShortWrite || fault_ == Fault::ZeroWrite) {
            return false;
        }
        mark(fault_ == Fault::Interrupt ? "  <- interrupted" : "  <- fails");
        errno = fault_ == Fault::Interrupt ? EINTR : error_;
        return true;
    }

private:
    void mark(const char* what) {
        fired_ = true;
        log_.back() += what;
    }
    int opened(const std::string& path, int fd) {
        if (fd >= 0) {
            paths_[fd] = path;
        }
        return fd;
    }

    long failAt_;
    int error_;
    Fault fault_;
    long count_ = 0;
    bool fired_ = false;
    bool writeNothing_ = false;
    std::vector<std::string> log_;
    std::map<std::string, int> always_;
    std::map<int, std::string> paths_;
};

// Makes the output's name just before the new file is put there, as a second run may: a file
// holding "made meanwhile".
class NameTakenMeanwhile : public FailingFileSystem {
public:
    int nameUnnamed(int fd, int dir, const std::string& name) override {
        makeAt(dir, name);
        return FailingFileSystem::nameUnnamed(fd, dir, name);
    }
    int rename(int dir, const std::string& from, const std::string& to, bool replace) override {
        makeAt(dir, to);
        return FailingFileSystem::rename(dir, from, to, replace);
    }

private:
    void makeAt(int dir, const std::string& name) {
        if (made_ || name.find(kTemporaryMarker) != std::string::npos) {
            return;
        }
        made_ = true;
        const std::string at = pathAt(dir, name);  // UTF-8, on Windows too
        std::ofstream(std::filesystem::path(std::u8string(at.begin(), at.end())), std::ios::binary)
            << "made meanwhile";
    }
    bool made_ = false;
};

}  // namespace plimbrook::testing
