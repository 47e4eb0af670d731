#pragma once

#include <sys/stat.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <string_view>

namespace plimbrook::testing {

// Expected files are built here from the published layout, never by the code under test.
inline constexpr int kSram = 8 * 1024;
inline constexpr int kHeader = 512;
inline constexpr int kCommentAt = 16;
inline constexpr int kCommentBytes = 77;
inline constexpr int kBbd = kHeader + 4 * kSram;
static_assert(kBbd == 33'280);

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

inline QByteArray zeros(int size) {
    return QByteArray(size, '\0');
}

// Code points as UTF-8, so that expected texts can be written as numbers.
inline QByteArray utf8Of(std::u32string_view text) {
    return QString::fromUcs4(text.data(), qsizetype(text.size())).toUtf8();
}

// The 77 stored bytes of a single-byte comment, padded with spaces.
inline QByteArray padded(const QByteArray& bytes) {
    return bytes.leftJustified(kCommentBytes, ' ');
}

inline QByteArray bbdBytes(QByteArray header, const QByteArray& comment, const QByteArray& image) {
    header.replace(kCommentAt, kCommentBytes, comment);
    return header + image + image + image + image;
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

// Every entry of a folder with its mode and, for a regular file, a digest of its contents;
// hidden files included, and nothing opened that might block.
inline QStringList snapshot(const QString& folder) {
    QStringList entries;
    const auto names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                              QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QString path = folder + '/' + name;
        struct stat info {};
        ::lstat(QFile::encodeName(path).constData(), &info);
        QString entry = name + ' ' + QString::number(info.st_mode, 8);
        if (S_ISREG(info.st_mode)) {
            entry +=
                ' ' + QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha1).toHex();
        }
        entries << entry;
    }
    return entries;
}

// Temporary files of an output that were left behind.
inline QStringList strays(const QString& folder) {
    return QDir(folder).entryList({"*.plimbrook-*"},
                                  QDir::AllEntries | QDir::Hidden | QDir::System);
}

inline unsigned modeOf(const QString& path) {
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode;
}

}  // namespace plimbrook::testing
