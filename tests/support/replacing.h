#pragma once

// What the tests of a replacement share: the ways its new contents wait until commit, and one
// replacement opened, written and committed.
#include <sys/stat.h>

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <span>

#include "core/files/file_access.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/golden_files.h"

namespace plimbrook::testing {

using Configure = std::function<void(FailingFileSystem&)>;

// In a file with no name; in a hidden named temporary, where the file system makes no unnamed
// files; in the old file itself, rewritten at commit, where the folder may not be written.
inline const Configure kUnnamed = [](FailingFileSystem&) {};
inline const Configure kNamed = [](FailingFileSystem& fs) { fs.failAll("unnamed", EOPNOTSUPP); };
inline const Configure kInPlace = [](FailingFileSystem& fs) { fs.failAll("unnamed", EACCES); };

// Opens, writes `bytes` and commits a replacement; the error, if it failed. `beforeCommit` runs
// between the writes and the commit.
inline std::optional<FileError> replace(FileSystem& fs, const QString& path,
                                        ReplaceOptions::Existing existing, const QByteArray& bytes,
                                        const std::function<void()>& beforeCommit = {}) {
    try {
        ReplaceOptions options;
        options.existing = existing;
        auto file = ReplacementFile::open(fs, local(path), options);
        file->write(0, std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                 static_cast<std::size_t>(bytes.size())));
        if (beforeCommit) {
            beforeCommit();
        }
        file->commit();
    } catch (const FileError& error) {
        return error;
    }
    return std::nullopt;
}

inline ino_t inodeOf(const QString& path) {
    struct stat info {};
    ::lstat(local(path).c_str(), &info);
    return info.st_ino;
}

}  // namespace plimbrook::testing
