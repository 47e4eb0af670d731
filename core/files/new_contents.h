#pragma once

// The file layer's own parts of a replacement: where its output goes, and the three ways its new
// contents wait until commit. Not part of what the rest of the program sees.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/files/file_system.h"
#include "core/files/open_folder.h"
#include "core/files/replacement_file.h"

namespace plimbrook {

// Where an output goes, once its name is looked up and its links followed.
struct Target {
    std::shared_ptr<OpenFolder> folder;
    std::string folderPath;         // the folder as the user would name it
    std::string name;               // the target's entry in the folder
    std::string shown;              // the target as the user would name it
    std::optional<FileStatus> old;  // the regular file there now
    bool replace = true;            // leave to replace what is at the name by then

    int dir() const { return folder->fd(); }
};

// Looks the name up once, in a folder held open, and follows links by hand from there, so that
// writing "through" a link replaces the file it names and leaves the link itself in place.
Target resolveTarget(FileSystem& fs, const std::string& path, const ReplaceOptions& options);

// The new contents of a replacement until they are in place, in the file `fd`.
class NewContents {
public:
    NewContents(FileSystem& fs, Target target, int fd)
        : fs_(fs), target_(std::move(target)), fd_(fd) {}
    virtual ~NewContents();
    NewContents(const NewContents&) = delete;
    NewContents& operator=(const NewContents&) = delete;

    virtual void write(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    // Writes kept back until commit, if any.
    virtual void finishWrites() {}
    void sync();
    // Puts them in place, for good.
    virtual void install() = 0;
    // Whether they wait under a name of their own, which a SIGKILL would leave behind.
    virtual bool named() const { return false; }
    // Whether putting them in place changes the folder, so that it is synced after.
    virtual bool changesFolder() const { return true; }
    // Throws them away; the target stays as it was.
    virtual void discard() noexcept;

    int fd() const { return fd_; }
    const Target& target() const { return target_; }

protected:
    // The file that errors name for the new contents.
    virtual std::string where() const { return target_.shown; }
    void closeFile();

    FileSystem& fs_;
    Target target_;
    int fd_;
};

// In a file with no name until install() links it in: EOPNOTSUPP and nothing where the file
// system cannot make one.
std::unique_ptr<NewContents> makeUnnamedContents(FileSystem& fs, Target target, mode_t mode);
// Under a named temporary beside the target; nothing, with errno set, where none can be made.
std::unique_ptr<NewContents> makeNamedContents(FileSystem& fs, Target target, mode_t mode);
// In the old file itself, open for writing as `fd`, at commit.
std::unique_ptr<NewContents> makeInPlaceContents(FileSystem& fs, Target target, int fd);

// Chooses the way at open, and gives the new contents what the old file had that they keep.
std::unique_ptr<NewContents> makeContents(FileSystem& fs, Target target);

}  // namespace plimbrook
