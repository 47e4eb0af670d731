#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/file_reading.h"
#include "core/files/file_system.h"

namespace plimbrook {

// A save or template opened for reading only. A path that names no file, or anything but a
// regular file (after following links), is refused before it is opened, so a FIFO cannot hang
// us and nothing is ever created. What it holds is read as any other bytes are (see readFile).
class InputFile final : public ByteSource {
public:
    static std::unique_ptr<InputFile> open(FileSystem& fs, const std::string& path);
    ~InputFile() override;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Up to `size` bytes from `offset`; fewer only where the file ends.
    std::vector<std::uint8_t> read(std::uint64_t offset, std::size_t size) override;

    // The file's length when it was opened; a read may still find it shorter if it is cut
    // meanwhile.
    std::uint64_t size() const override { return size_; }

    // Closes the file, reporting a failure; the destructor closes quietly.
    void close();

    FileId id() const { return id_; }
    const std::string& path() const { return path_; }

private:
    InputFile(FileSystem& fs, std::string path, int fd, const FileStatus& info);

    FileSystem& fs_;
    std::string path_;
    int fd_;
    FileId id_;
    std::uint64_t size_;
};

// The key of the name `path` (see NameKey), to tell an output that is an input under another
// spelling. `folders` remembers the folders already looked at. Throws a FileError that names
// `path` where its folder cannot be looked at.
NameKey nameKeyOf(FileSystem& fs, const std::string& path,
                  std::map<std::string, FileId>* folders = nullptr);

}  // namespace plimbrook
