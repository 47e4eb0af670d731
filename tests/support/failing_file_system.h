#pragma once

#include <cerrno>
#include <string>
#include <vector>

#include "file_access.h"

namespace plimbrook::testing {

// The real file system, except that the N-th counted operation fails (N from 1; 0 fails none).
// Every operation is counted and logged, so a test can first run a command cleanly to learn
// how many there are, then fail each in turn.
class FailingFileSystem : public FileSystem {
public:
    explicit FailingFileSystem(long failAt = 0, int error = EIO) : failAt_(failAt), error_(error) {}

    long count() const { return count_; }
    const std::vector<std::string>& log() const { return log_; }
    bool fired() const { return fired_; }

    int open(const std::string& path, int flags, mode_t mode) override {
        return step("open " + path) ? -1 : real().open(path, flags, mode);
    }
    int close(int fd) override {
        if (step("close")) {
            real().close(fd);  // the descriptor is gone either way, as with a real close
            return -1;
        }
        return real().close(fd);
    }
    int stat(const std::string& path, struct stat& info) override {
        return step("stat " + path) ? -1 : real().stat(path, info);
    }
    int lstat(const std::string& path, struct stat& info) override {
        return step("lstat " + path) ? -1 : real().lstat(path, info);
    }
    int fstat(int fd, struct stat& info) override {
        return step("fstat") ? -1 : real().fstat(fd, info);
    }
    ssize_t readlink(const std::string& path, std::string& target) override {
        return step("readlink " + path) ? -1 : real().readlink(path, target);
    }
    ssize_t pread(int fd, void* buffer, std::size_t count, off_t offset) override {
        return step("read") ? -1 : real().pread(fd, buffer, count, offset);
    }
    ssize_t pwrite(int fd, const void* buffer, std::size_t count, off_t offset) override {
        return step("write") ? -1 : real().pwrite(fd, buffer, count, offset);
    }
    int fsync(int fd) override { return step("sync") ? -1 : real().fsync(fd); }
    int fchmod(int fd, mode_t mode) override {
        return step("fchmod") ? -1 : real().fchmod(fd, mode);
    }
    int fchown(int fd, uid_t owner, gid_t group) override {
        return step("fchown") ? -1 : real().fchown(fd, owner, group);
    }
    int rename(const std::string& from, const std::string& to) override {
        return step("rename " + to) ? -1 : real().rename(from, to);
    }
    int unlink(const std::string& path) override {
        return step("unlink " + path) ? -1 : real().unlink(path);
    }

private:
    static FileSystem& real() { return realFileSystem(); }

    bool step(std::string what) {
        ++count_;
        const bool fail = count_ == failAt_;
        if (fail) {
            fired_ = true;
            errno = error_;
            what += "  <- fails";
        }
        log_.push_back(std::move(what));
        return fail;
    }

    long failAt_;
    int error_;
    long count_ = 0;
    bool fired_ = false;
    std::vector<std::string> log_;
};

}  // namespace plimbrook::testing
