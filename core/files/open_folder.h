#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "core/files/file_system.h"

namespace plimbrook {

// A folder held open while files are made in it. Names are looked up in the folder itself, so
// a folder renamed or swapped meanwhile cannot send a file elsewhere.
class OpenFolder {
public:
    // Nothing if the folder cannot be opened; errno says why.
    static std::shared_ptr<OpenFolder> open(FileSystem& fs, int at, const std::string& path);
    ~OpenFolder();
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    int fd() const { return fd_; }
    // Which folder it is; nothing if the system will not say. Asked once.
    std::optional<FileId> id();

private:
    OpenFolder(FileSystem& fs, int fd) : fs_(fs), fd_(fd) {}

    FileSystem& fs_;
    int fd_;
    bool looked_ = false;
    std::optional<FileId> id_;
};

// The folders a batch writes into: a folder is opened once for the files of a commit group in it,
// and closed when the last of them is done with it.
class FolderCache {
public:
    std::shared_ptr<OpenFolder> open(FileSystem& fs, const std::string& path);

private:
    std::map<std::string, std::weak_ptr<OpenFolder>> folders_;
};

}  // namespace plimbrook
