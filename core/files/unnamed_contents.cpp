#include "core/files/file_io.h"
#include "core/files/new_contents.h"
#include "core/files/temporary_cleanup.h"
#include "core/files/temporary_names.h"

namespace plimbrook {

using file_io::fail;
using file_io::retried;

namespace {

// The most names drawn for one temporary before giving up: each is taken only by a file of the
// same name made meanwhile.
constexpr int kNameAttempts = 100;

// A file with no name in the target's folder, linked in only once it is complete: a program
// killed at any moment before leaves nothing behind.
class UnnamedContents final : public NewContents {
public:
    using NewContents::NewContents;
    ~UnnamedContents() override { discard(); }

    void install() override {
        if (!target_.replace || !target_.old) {
            // A name that was free: giving the file that name refuses one taken meanwhile, all in
            // one step.
            if (fs_.nameUnnamed(fd_, target_.dir(), target_.name) == 0) {
                // In place now, and synced before: a close that fails says nothing of them.
                NewContents::discard();
                return;
            }
            if (errno != EEXIST) {
                fail(FileStep::Link, target_.shown);
            }
            if (!target_.replace) {
                fail(FileStep::Exists, target_.shown, EEXIST);
            }
        }
        // A link cannot replace a file: the contents get a hidden name for the moment between
        // the link and the rename over the target.
        nameTemporary();
        closeFile();
        if (fs_.rename(target_.dir(), temporary_, target_.name, true) != 0) {
            fail(FileStep::Rename, target_.shown);
        }
        forgetTemporary();
    }

    void discard() noexcept override {
        NewContents::discard();
        if (!temporary_.empty()) {
            fs_.remove(target_.dir(), temporary_);
        }
        forgetTemporary();
    }

private:
    void nameTemporary() {
        for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
            temporary_ = temporaryName(target_.name);
            // Listed before it exists: a signal right after the link must find it listed.
            pendingSlot_ = rememberPending(target_.dir(), temporary_);
            if (fs_.nameUnnamed(fd_, target_.dir(), temporary_) == 0) {
                return;
            }
            const int error = errno;
            forgetTemporary();
            if (error != EEXIST) {
                fail(FileStep::Link, target_.shown, error);
            }
        }
        fail(FileStep::Link, target_.shown, EEXIST);
    }

    void forgetTemporary() noexcept {
        forgetPending(pendingSlot_);
        pendingSlot_ = -1;
        temporary_.clear();
    }

    std::string temporary_;  // the hidden name, while it has one
    int pendingSlot_ = -1;
};

}  // namespace

std::unique_ptr<NewContents> makeUnnamedContents(FileSystem& fs, Target target, mode_t mode) {
    const int fd = retried([&] { return fs.createUnnamed(target.dir(), mode); });
    if (fd < 0) {
        return nullptr;
    }
    return std::make_unique<UnnamedContents>(fs, std::move(target), fd);
}

}  // namespace plimbrook
