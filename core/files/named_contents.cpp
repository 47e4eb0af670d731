#include "core/files/file_io.h"
#include "core/files/new_contents.h"
#include "core/files/temporary_cleanup.h"
#include "core/files/temporary_names.h"

namespace plimbrook {

using file_io::fail;
using file_io::joined;
using file_io::retried;

namespace {

constexpr int kNameAttempts = 100;

bool noLinks(int error) {
    return error == EPERM || error == EOPNOTSUPP || error == ENOTSUP || error == ENOSYS;
}

// A hidden temporary beside the target, where the file system cannot make a file without a
// name; renamed over the target at commit, removed if the replacement is thrown away.
class NamedContents final : public NewContents {
public:
    NamedContents(FileSystem& fs, Target target, int fd, std::string temporary, int slot)
        : NewContents(fs, std::move(target), fd), temporary_(std::move(temporary)), slot_(slot) {}
    ~NamedContents() override { discard(); }

    void install() override {
        closeFile();
        putInPlace();
        forgetPending(std::exchange(slot_, -1));
        temporary_.clear();
    }
    bool named() const override { return !temporary_.empty(); }

    void discard() noexcept override {
        NewContents::discard();
        if (!temporary_.empty()) {
            fs_.remove(target_.dir(), temporary_);
            temporary_.clear();
        }
        forgetPending(std::exchange(slot_, -1));
    }

protected:
    std::string where() const override { return joined(target_.folderPath, temporary_); }

private:
    // Without leave to replace, the rename itself refuses a name taken since the look-up: another
    // program, or a second run, may have made it meanwhile.
    void putInPlace() {
        const int dir = target_.dir();
        if (fs_.rename(dir, temporary_, target_.name, target_.replace) == 0) {
            return;
        }
        int error = errno;
        if (!target_.replace && error == EINVAL) {
            // A file system that cannot rename without replacing: a second name never replaces
            // either, and then the temporary one goes.
            if (fs_.link(dir, temporary_, target_.name) == 0) {
                fs_.remove(dir, temporary_);
                return;
            }
            error = errno;
            if (noLinks(error)) {
                claimThenRename();
                return;
            }
        }
        fail(error == EEXIST && !target_.replace ? FileStep::Exists : FileStep::Rename,
             target_.shown, error);
    }

    // No links either, as on FAT through FUSE: the name is claimed by creating it, which refuses
    // a taken one in one step, and the new contents then replace only that empty claim. A run
    // killed in between leaves the empty claim.
    void claimThenRename() {
        const int dir = target_.dir();
        const int slot = rememberPending(dir, target_.name);
        const int claim = retried([&] { return fs_.createNew(dir, target_.name, 0600); });
        if (claim < 0) {
            const int error = errno;
            forgetPending(slot);
            fail(error == EEXIST ? FileStep::Exists : FileStep::Rename, target_.shown, error);
        }
        FileStatus claimed{};
        const bool known = fs_.fstat(claim, claimed) == 0;
        fs_.close(claim);
        if (fs_.rename(dir, temporary_, target_.name, true) == 0) {
            forgetPending(slot);
            return;
        }
        const int error = errno;
        // The claim goes, unless something else has taken its place meanwhile.
        FileStatus now{};
        if (known && fs_.lstatat(dir, target_.name, now) == 0 && idOf(now) == idOf(claimed)) {
            fs_.remove(dir, target_.name);
        }
        forgetPending(slot);
        fail(FileStep::Rename, target_.shown, error);
    }

    std::string temporary_;
    int slot_;
};

}  // namespace

std::unique_ptr<NewContents> makeNamedContents(FileSystem& fs, Target target, mode_t mode) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string temporary = temporaryName(target.name);
        // Listed before it exists: a signal right after its creation must find it listed.
        const int slot = rememberPending(target.dir(), temporary);
        const int fd = retried([&] { return fs.createNew(target.dir(), temporary, mode); });
        if (fd >= 0) {
            return std::make_unique<NamedContents>(fs, std::move(target), fd, std::move(temporary),
                                                   slot);
        }
        const int error = errno;
        forgetPending(slot);
        errno = error;
        if (error != EEXIST) {
            return nullptr;
        }
    }
    return nullptr;
}

}  // namespace plimbrook
