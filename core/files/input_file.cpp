#include "core/files/input_file.h"

#include <fcntl.h>

#include "core/files/file_io.h"

namespace plimbrook {

using file_io::fail;
using file_io::openRegular;
using file_io::readAt;
using file_io::split;

InputFile::InputFile(FileSystem& fs, std::string path, int fd, const FileStatus& info)
    : fs_(fs),
      path_(std::move(path)),
      fd_(fd),
      id_(idOf(info)),
      size_(static_cast<std::uint64_t>(info.st_size)) {}

InputFile::~InputFile() {
    if (fd_ >= 0) {
        fs_.close(fd_);
    }
}

std::unique_ptr<InputFile> InputFile::open(FileSystem& fs, const std::string& path) {
    FileStatus info{};
    const int fd = openRegular(fs, path, O_RDONLY, info);
    return std::unique_ptr<InputFile>(new InputFile(fs, path, fd, info));
}

std::vector<std::uint8_t> InputFile::read(std::uint64_t offset, std::size_t size) {
    return readAt(fs_, fd_, path_, offset, size);
}

void InputFile::close() {
    if (fd_ < 0) {
        return;
    }
    const int fd = fd_;
    fd_ = -1;
    if (fs_.close(fd) != 0) {
        fail(FileStep::Close, path_);
    }
}

NameKey nameKeyOf(FileSystem& fs, const std::string& path, std::map<std::string, FileId>* folders) {
    const auto [folder, name] = split(path);
    if (folders) {
        if (const auto known = folders->find(folder); known != folders->end()) {
            return {known->second, foldedForCase(name)};
        }
    }
    FileStatus info{};
    if (fs.stat(folder, info) != 0) {
        fail(FileStep::Open, path);
    }
    if (folders) {
        folders->emplace(folder, idOf(info));
    }
    return {idOf(info), foldedForCase(name)};
}

}  // namespace plimbrook
