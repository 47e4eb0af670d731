#include "core/files/file_system.h"

#include <cstring>

namespace plimbrook {

const char* toString(FileStep step) {
    switch (step) {
        case FileStep::Open:
            return "open";
        case FileStep::NotRegular:
            return "not a regular file";
        case FileStep::Resolve:
            return "resolve link";
        case FileStep::UnsafeLink:
            return "unsafe link";
        case FileStep::Exists:
            return "exists";
        case FileStep::Create:
            return "create";
        case FileStep::Read:
            return "read";
        case FileStep::Write:
            return "write";
        case FileStep::Sync:
            return "sync";
        case FileStep::Link:
            return "link";
        case FileStep::Rename:
            return "rename";
        case FileStep::Close:
            return "close";
    }
    return "?";
}

FileError::FileError(FileStep step, std::string path, int errorNumber)
    : std::runtime_error(path + ": " + toString(step) + ": " + std::strerror(errorNumber)),
      step_(step),
      path_(std::move(path)),
      errorNumber_(errorNumber) {}

FileId idOf(const FileStatus& info) {
    return {info.st_dev, info.st_ino};
}

std::string foldedForCase(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return folded;
}

}  // namespace plimbrook
