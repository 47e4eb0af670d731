#include "core/files/open_folder.h"

namespace plimbrook {

std::shared_ptr<OpenFolder> OpenFolder::open(FileSystem& fs, int at, const std::string& path) {
    const int fd = fs.openDirectory(at, path);
    if (fd < 0) {
        return nullptr;
    }
    return std::shared_ptr<OpenFolder>(new OpenFolder(fs, fd));
}

OpenFolder::~OpenFolder() {
    fs_.close(fd_);
}

std::optional<FileId> OpenFolder::id() {
    if (!looked_) {
        FileStatus info{};
        if (fs_.fstat(fd_, info) == 0) {
            id_ = idOf(info);
        }
        looked_ = true;
    }
    return id_;
}

std::shared_ptr<OpenFolder> FolderCache::open(FileSystem& fs, const std::string& path) {
    if (auto folder = folders_[path].lock()) {
        return folder;
    }
    auto folder = OpenFolder::open(fs, kWorkingFolder, path);
    if (folder) {
        folders_[path] = folder;
    }
    return folder;
}

}  // namespace plimbrook
