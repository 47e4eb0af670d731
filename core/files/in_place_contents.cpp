#include <algorithm>

#include "core/files/file_io.h"
#include "core/files/new_contents.h"

namespace plimbrook {

using file_io::fail;
using file_io::retried;
using file_io::writeAt;

namespace {

// Errors with which a file system says it cannot set room aside: then nothing is foreseen.
bool cannotReserve(int error) {
    return error == EOPNOTSUPP || error == ENOTSUP || error == ENOSYS || error == EINVAL;
}

// The old file itself, where its folder may not be written: the writes are kept back until
// commit and then made all at once, and the file cut to their end. What can be foreseen to fail
// (a size past the limit on files, a disk without room) is checked before the first byte, so
// that it leaves the old file whole.
class InPlaceContents final : public NewContents {
public:
    using NewContents::NewContents;

    void write(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
        heldBack_.emplace_back(offset, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    }

    void finishWrites() override {
        if (done_) {
            return;
        }
        std::uint64_t end = 0;
        for (const auto& [offset, bytes] : heldBack_) {
            end = std::max<std::uint64_t>(end, offset + bytes.size());
        }
        const auto size = static_cast<off_t>(end);
        const off_t largest = fs_.largestFile();
        if (largest >= 0 && size > largest) {
            fail(FileStep::Write, target_.shown, EFBIG);
        }
        if (retried([&] { return fs_.reserve(fd_, size); }) != 0 && !cannotReserve(errno)) {
            fail(FileStep::Write, target_.shown);
        }
        for (const auto& [offset, bytes] : heldBack_) {
            writeAt(fs_, fd_, target_.shown, offset, bytes);
        }
        heldBack_.clear();
        // Only the new contents: an old file's longer tail goes.
        if (retried([&] { return fs_.setSize(fd_, size); }) != 0) {
            fail(FileStep::Write, target_.shown);
        }
        done_ = true;
    }

    void install() override { closeFile(); }
    bool changesFolder() const override { return false; }

    void discard() noexcept override {
        NewContents::discard();
        heldBack_.clear();
    }

private:
    std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> heldBack_;
    bool done_ = false;
};

}  // namespace

std::unique_ptr<NewContents> makeInPlaceContents(FileSystem& fs, Target target, int fd) {
    // The file opened must be the one looked at: a regular file swapped in meanwhile is not
    // written.
    FileStatus info{};
    const int error = fs.fstat(fd, info) != 0           ? errno
                      : idOf(info) != idOf(*target.old) ? EAGAIN
                                                        : 0;
    if (error != 0) {
        fs.close(fd);
        fail(FileStep::Open, target.shown, error);
    }
    return std::make_unique<InPlaceContents>(fs, std::move(target), fd);
}

}  // namespace plimbrook
