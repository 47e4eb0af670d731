#pragma once

#include <sys/stat.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <string_view>

#include "core/files/file_access.h"

namespace plimbrook::testing {

// Expected files are built here from the published layout, never by the code under test: a
// 512-byte header with the comment at 16..92, then the image four times.
inline constexpr int kSram = 8 * 1024;
inline constexpr int kHeader = 512;
inline constexpr int kCommentAt = 16;
inline constexpr int kCommentBytes = 77;
inline constexpr int kBody = 4 * kSram;
inline constexpr int kBbd = kHeader + kBody;
static_assert(kBbd == 33'280);
// The copier's own header marks its files with these two bytes at 8..9.
inline const QByteArray kCopierMark = "\xAA\xBB";
inline constexpr int kCopierMarkAt = 8;

// Other copiers' save headers, whole: the Pro Fighter's a 4 and then zero bytes, the Super UFO's
// its name at 8..15 and zero bytes elsewhere. Their files are the header, then the 32 KiB body.
inline QByteArray proFighterHeader() {
    QByteArray header(kHeader, '\0');
    header[0] = '\x04';
    return header;
}
inline QByteArray superUfoHeader() {
    return QByteArray(kHeader, '\0').replace(8, 8, "SUPERUFO");
}

// Pseudo-random bytes: no period, so reading from a shifted offset cannot pass by accident.
inline QByteArray noise(int size, std::uint32_t seed) {
    QByteArray bytes(size, '\0');
    std::uint32_t x = seed * 2654435761u + 0x9E3779B9u;
    for (int i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = static_cast<char>(x >> 24);
    }
    return bytes;
}

// A cheap byte pattern that differs at every offset of a block and between seeds.
inline QByteArray pattern(int size, int seed) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 251 + seed * 31) & 0xff);
    }
    return bytes;
}

inline QByteArray zeros(int size) {
    return QByteArray(size, '\0');
}

// Code points as UTF-8, so that expected texts can be written as numbers.
inline QByteArray utf8Of(std::u32string_view text) {
    return QString::fromUcs4(text.data(), qsizetype(text.size())).toUtf8();
}

// The 77 stored bytes of a single-byte comment: cut or padded with spaces.
inline QByteArray commentField(const QByteArray& bytes) {
    return bytes.left(kCommentBytes).leftJustified(kCommentBytes, ' ');
}

inline QByteArray bbdBytes(QByteArray header, const QByteArray& comment, const QByteArray& image) {
    header.replace(kCommentAt, kCommentBytes, comment);
    return header + image + image + image + image;
}

// A BBD file holding a save of 8, 16 or 32 KiB whole: the save repeated to fill the 32 KiB body.
inline QByteArray bbdOfSave(QByteArray header, const QByteArray& comment, const QByteArray& save) {
    header.replace(kCommentAt, kCommentBytes, comment);
    return header + save.repeated(kBody / int(save.size()));
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// The first 512 bytes of the template that is built with the program.
inline QByteArray templateHeader() {
    return readFile(QStringLiteral(PLIMBROOK_TEMPLATE_PATH)).left(kHeader);
}

inline std::string local(const QString& path) {
    return path.toStdString();
}

inline unsigned modeOf(const QString& path) {
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode;
}

// Every entry of a folder with its mode and, for a regular file, a digest of its contents;
// hidden files included, and nothing opened that might block.
inline QStringList snapshotModes(const QString& folder) {
    QStringList entries;
    const auto names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                              QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QString path = folder + '/' + name;
        const unsigned mode = modeOf(path);
        QString entry = name + ' ' + QString::number(mode, 8);
        if (S_ISREG(mode)) {
            entry +=
                ' ' + QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha1).toHex();
        }
        entries << entry;
    }
    return entries;
}

// Every entry of a folder, hidden ones included, with the bytes of each regular file, the target
// of each link and the permissions of each folder, so that a test can say the folder is exactly
// as it was. Large files are summarised by their size and first 64 KiB.
inline QMap<QString, QByteArray> snapshotContents(const QString& folder) {
    QMap<QString, QByteArray> state;
    const QDir dir(folder);
    const auto entries =
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        QByteArray summary;
        if (entry.isSymLink()) {
            summary = "link -> " + entry.symLinkTarget().toUtf8();
        } else if (entry.isDir()) {
            summary = "dir " + QByteArray::number(entry.permissions().toInt());
        } else if (!entry.isFile()) {
            summary = "special";
        } else if (entry.size() > 1024 * 1024) {
            QFile file(entry.filePath());
            summary = "size " + QByteArray::number(entry.size());
            if (file.open(QIODevice::ReadOnly)) {
                summary += file.read(64 * 1024);
            }
        } else {
            summary = "file " + readFile(entry.filePath());
        }
        state.insert(entry.fileName(), summary);
    }
    return state;
}

// Every regular file under a folder, in subfolders and hidden ones too, by its path relative to
// the folder, with its bytes: stray temporaries show, wherever they were left.
inline QMap<QString, QByteArray> snapshotTree(const QString& root) {
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(root).relativeFilePath(path), readFile(path));
    }
    return files;
}

// Temporary files of an output that were left behind. The name is written out rather than taken
// from the program, and the build stops if the two part ways.
inline QStringList strayTemporaries(const QString& folder) {
    static_assert(std::string_view(kTemporaryMarker) == ".plimbrook-");
    return QDir(folder).entryList({"*.plimbrook-*"},
                                  QDir::AllEntries | QDir::Hidden | QDir::System);
}

}  // namespace plimbrook::testing
