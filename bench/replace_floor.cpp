// The least a crash-safe replacement of many files costs: only the system calls that
// plimbrook-convert --force makes for each file, with none of its reading of saves, checks or
// reports. Each input is read, and its bytes, padded to a BBD file's size, replace NAME.bbd in
// OUTDIR as the batch does it: the old file's mode and attributes taken over by a new file
// without a name, the new files synced together, then each given a hidden name and renamed over
// the old one. Timed against cp over as many files, it shows how much of the gap is the
// replacement itself.
//
//   replace_floor OUTDIR INPUT...
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kFileSize = 33'280;
constexpr std::size_t kGroup = 2'048;  // the batch's largest commit group

struct Pending {
    int fd;
    std::string name;
};

// Says what failed; 1, the exit status.
int fail(const char* what, const std::string& name) {
    std::perror((std::string(what) + " " + name).c_str());
    return 1;
}

// Puts the group in place; 0, or the exit status.
int commit(int dir, std::vector<Pending>& group) {
    if (::syncfs(dir) != 0) {
        return fail("syncfs", "");
    }
    for (const Pending& file : group) {
        const std::string hidden = "." + file.name + ".floor";
        if (::linkat(file.fd, "", dir, hidden.c_str(), AT_EMPTY_PATH) != 0) {
            return fail("linkat", hidden);
        }
        ::close(file.fd);
        if (::renameat(dir, hidden.c_str(), dir, file.name.c_str()) != 0) {
            return fail("renameat", file.name);
        }
    }
    group.clear();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: replace_floor OUTDIR INPUT...\n");
        return 2;
    }
    const int dir = ::open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        return fail("open", argv[1]);
    }
    std::vector<Pending> group;
    std::vector<unsigned char> bytes(kFileSize);
    char names[1024];
    for (int i = 2; i < argc; ++i) {
        const std::string input = argv[i];
        const int in = ::open(input.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (in < 0 || ::pread(in, bytes.data(), 32'768, 0) < 0) {
            return fail("read", input);
        }
        ::close(in);
        std::string name = input.substr(input.rfind('/') + 1);
        name = name.substr(0, name.rfind('.')) + ".bbd";

        const int old = ::openat(dir, name.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        struct stat info {};
        if (old < 0 || ::fstat(old, &info) != 0) {
            return fail("open", name);
        }
        const int fd = ::openat(dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd < 0 || ::fchmod(fd, info.st_mode & 07777) != 0 ||
            ::flistxattr(old, names, sizeof names) < 0) {
            return fail("new file for", name);
        }
        ::close(old);
        if (::pwrite(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) {
            return fail("write", name);
        }
        group.push_back({fd, name});
        if (group.size() == kGroup && commit(dir, group) != 0) {
            return 1;
        }
    }
    if (commit(dir, group) != 0) {
        return 1;
    }
    return ::fsync(dir) == 0 ? 0 : fail("fsync", argv[1]);
}
