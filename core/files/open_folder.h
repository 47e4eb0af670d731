#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "core/files/file_system.h"

namespace plimbrook {

// A folder held open while files are made in it. Names are looked up in the folder itself, so
// a folder renamed or swapped meanwhile cannot send a file elsewhere.
class OpenFolder {
public:
    // Opens `path` from `at` one folder at a time. A link on the way is followed as any program
    // would, except one that another user made in a sticky folder anyone may write, such as
    // /tmp: they could aim it at any folder of ours. Throws a FileError that names `path`.
    static std::shared_ptr<OpenFolder> open(FileSystem& fs, int at, const std::string& path);
    ~OpenFolder();
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    FileSystem& fs() const { return fs_; }
    int fd() const { return fd_; }
    // Which folder it is, whatever path led to it.
    FileId id() const { return id_; }
    // The owner and group that a file made here gets: ours, or the folder's group where the
    // folder passes its group on (set-group-ID). Taken when the folder is opened, so that a
    // batch asks once, not for every file.
    uid_t newFileUser() const { return newFileUser_; }
    gid_t newFileGroup() const { return newFileGroup_; }

private:
    OpenFolder(FileSystem& fs, int fd, const FileStatus& info);

    FileSystem& fs_;
    int fd_;
    FileId id_;
    uid_t newFileUser_;
    gid_t newFileGroup_;
};

// Whether `link`, found in `folder`, was made by someone who could aim it at our files: another
// user than us and the folder's owner, in a sticky folder that anyone may write.
bool isStrangersLink(const FileStatus& folder, const FileStatus& link);

// The folders a batch writes into: a folder is opened once for the files of a commit group in it,
// and closed when the last of them is done with it.
class FolderCache {
public:
    std::shared_ptr<OpenFolder> open(FileSystem& fs, const std::string& path);
    // True the first time a folder is asked about.
    bool firstVisit(FileId folder) { return visited_.insert(folder).second; }

private:
    std::map<std::string, std::weak_ptr<OpenFolder>> folders_;
    std::set<FileId> visited_;
};

}  // namespace plimbrook
