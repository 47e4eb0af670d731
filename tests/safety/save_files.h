#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QString>

#include <string>

#include "file_access.h"

namespace plimbrook::testing {

// Golden bytes for the tests of this room, built from the layout's published numbers rather
// than from the code under test: a 512-byte header with the comment at 16..92, then the image
// four times.
inline constexpr int kImageSize = 8 * 1024;
inline constexpr int kHeaderSize = 512;
inline constexpr int kCommentAt = 16;
inline constexpr int kCommentSize = 77;
inline constexpr int kBbdSize = kHeaderSize + 4 * kImageSize;
static_assert(kBbdSize == 33'280);

inline QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// A byte pattern that differs at every offset of a block and between seeds.
inline QByteArray pattern(int size, int seed) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 251 + seed * 31) & 0xff);
    }
    return bytes;
}

inline QByteArray templateHeader() {
    return readAll(QStringLiteral(PLIMBROOK_TEMPLATE_PATH)).left(kHeaderSize);
}

// The 77 stored bytes of an ASCII comment: cut or padded with spaces.
inline QByteArray asciiComment(const QByteArray& text) {
    return text.left(kCommentSize).leftJustified(kCommentSize, ' ');
}

inline QByteArray bbdOf(const QByteArray& image, const QByteArray& commentBytes) {
    QByteArray bbd = templateHeader();
    bbd.replace(kCommentAt, kCommentSize, commentBytes);
    for (int copy = 0; copy < 4; ++copy) {
        bbd += image;
    }
    return bbd;
}

// What a replaced file holds: the written bytes, then the old file's bytes beyond them.
inline QByteArray overlay(const QByteArray& old, const QByteArray& written) {
    return written + old.mid(written.size());
}

// Every entry of a folder, hidden ones included, with the bytes of each regular file, so that
// a test can say the folder is exactly as it was. Large files are summarised by their size and
// first 64 KiB.
inline QMap<QString, QByteArray> folderState(const QString& folder) {
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
            summary = "file " + readAll(entry.filePath());
        }
        state.insert(entry.fileName(), summary);
    }
    return state;
}

inline QStringList strayTemporaries(const QString& folder) {
    const QDir dir(folder);
    return dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
        .filter(QString::fromLatin1(kTemporaryMarker));
}

inline std::string local(const QString& path) {
    return path.toStdString();
}

}  // namespace plimbrook::testing
