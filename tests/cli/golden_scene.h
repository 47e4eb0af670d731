#pragma once

#include <QDir>
#include <QFile>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "cli/convert_app.h"
#include "tests/support/golden_files.h"
#include "tests/support/rzip_files.h"

// The command line's golden inputs: saves and copier files built by hand, never by the code under
// test; the folder the command-line tests run in; and what they share to say what they expect.
namespace plimbrook::testing::golden {

inline QByteArray gameSave() {
    return pattern(8 * 1024, 1);
}
inline QByteArray bigSave() {
    return pattern(32 * 1024, 2);
}
inline QByteArray midSave() {
    return pattern(16 * 1024, 7);
}
inline QByteArray tinySave() {
    return pattern(1024, 3);
}
// An emulator's save with 25 bytes of clock data after it.
inline QByteArray clockSave() {
    return pattern(8 * 1024 + 25, 8);
}
inline QByteArray hugeFile() {
    return pattern(40'000, 9);
}
inline QByteArray oddSave() {
    return pattern(100, 4);
}
// The copier takes only files whose header has its mark and SRAM type at 8..10; the rest of a
// template is passed through as it is.
inline QByteArray marked(QByteArray header) {
    return header.replace(8, 3, "\xAA\xBB\x05");
}
inline QByteArray stuffDat() {
    return marked(pattern(512, 11));
}
inline QByteArray otherTemplate() {
    return marked(pattern(600, 12));
}
// The header of copier files that another writer made, without the copier's mark.
inline QByteArray otherHeader() {
    return pattern(512, 11);
}
inline QByteArray shortTemplate() {
    return pattern(100, 13);
}

inline QByteArray withZeros(QByteArray bytes, int size) {
    bytes.resize(size, '\0');
    return bytes;
}

// A BBD file built by hand from a template of any length: its first 512 bytes, zero-filled, then
// a comment given in Windows-1252.
inline QByteArray bbd(const QByteArray& headerTemplate, const QByteArray& image,
                      const QByteArray& text) {
    return bbdBytes(withZeros(headerTemplate.left(kHeader), kHeader), commentField(text), image);
}

// A BBD file holding a save of 8, 16 or 32 KiB whole.
inline QByteArray bbdHolding(const QByteArray& save, const QByteArray& text,
                             const QByteArray& header = stuffDat()) {
    return bbdOfSave(header, commentField(text), save);
}

inline QByteArray keptImage() {
    return pattern(8 * 1024, 5);
}
inline QByteArray keptBbd() {
    return bbd(otherHeader(), keptImage(), "Kept comment");
}
// The copier's own kind of header, with its mark.
inline QByteArray markedBbd() {
    QByteArray file = keptBbd();
    file.replace(kCopierMarkAt, 2, kCopierMark);
    return file;
}
// A BBD file that ends 1 KiB into its body: the copier's mark says what it is.
inline QByteArray cutBbd() {
    return markedBbd().left(kHeader + 1024);
}

inline QString crcOf(const QByteArray& bytes) {
    return QString::asprintf("%08x", unsigned(plimbrook::testing::crc32Of(bytes)));
}

// Control characters, Windows-1252 letters and a run of zero bytes, as another writer left it.
// Bytes that read back as C1 controls, which some terminals obey as escape sequences.
inline QByteArray c1CommentBbd() {
    QByteArray file = bbd(otherHeader(), keptImage(), "");
    file.replace(16, 77,
                 QByteArray("A\x9D"
                            "B\x81"
                            "C\x1B]0;x\x07")
                     .leftJustified(77, ' '));
    return file;
}

inline QByteArray oddCommentBbd() {
    QByteArray text("Line1\nLine2\t\xE9t\xE9 \x80");
    text.append(3, '\0');
    text.append("x");
    text = withZeros(text, 77);
    QByteArray file = bbd(otherHeader(), keptImage(), "");
    file.replace(16, 77, text);
    return file;
}

inline QByteArray longTarget() {
    return pattern(40'000, 6);
}

using Files = QMap<QString, QByteArray>;

inline std::vector<std::string> toArgs(const QStringList& list) {
    std::vector<std::string> args;
    for (const QString& arg : list) {
        args.push_back(arg.toStdString());
    }
    return args;
}

inline QString usageError(const QString& message) {
    return "plimbrook-convert: " + message +
           "\nTry 'plimbrook-convert --help' for more information.\n";
}

// The folder every test starts from, made current while it runs: a program folder with its
// template, an empty "sub", every save and copier file above, and a link to nothing.
class GoldenFolder {
protected:
    // Makes the folder and enters it; called from init(), where a failure skips the test.
    void enterFolder() {
        const QString failed = makeFolder();
        QVERIFY2(failed.isEmpty(), qPrintable("cannot make " + failed));
    }
    void leaveFolder() {
        QDir::setCurrent(previousDir_);
        dir_.reset();
    }

    cli::ConvertEnvironment environment() const {
        return {dir_->filePath("prog/Stuff.dat").toStdString()};
    }

    std::unique_ptr<QTemporaryDir> dir_;
    QString previousDir_;

private:
    // What could not be made, or an empty string once the folder is current.
    QString makeFolder() {
        dir_ = std::make_unique<QTemporaryDir>();
        if (!dir_->isValid()) {
            return "a temporary folder";
        }
        for (const char* folder : {"prog", "sub"}) {
            if (!QDir(dir_->path()).mkpath(folder)) {
                return folder;
            }
        }
        const Files scene = {
            {"prog/Stuff.dat", stuffDat()},
            {"other.dat", otherTemplate()},
            {"short.dat", shortTemplate()},
            {"GAME.srm", gameSave()},
            {"BIG.srm", bigSave()},
            {"TINY.srm", tinySave()},
            {"ODD.srm", oddSave()},
            {"KEEP.bbd", keptBbd()},
            {"NOTES.bbd", oddCommentBbd()},
            {"LONG.bbd", longTarget()},
            {"C1.bbd", c1CommentBbd()},
            {"MID.srm", midSave()},
            {"CLOCK.srm", clockSave()},
            {"HUGE.srm", hugeFile()},
            {"PACKED.srm", rzipOf(midSave(), 4096)},
            {"BROKEN.srm", rzipOf(midSave(), 4096).chopped(5)},
            {"MARKED.bbd", markedBbd()},
            {"CUT.bbd", cutBbd()},
            {"HALVES.bbd", bbdHolding(midSave(), "Halves", otherHeader())},
            {"WIDE.bbd", bbdHolding(bigSave(), "Wide", otherHeader())},
            {"PAIR.srm", gameSave()},
            {"PAIR.bbd", markedBbd()},
            {"-x.srm", tinySave()},
            {"FIG.sav", proFighterHeader() + midSave().repeated(2)},
            {"UFO.ufo", superUfoHeader() + bigSave()},
            {"GD.gd3", midSave().repeated(2)},
        };
        for (auto it = scene.begin(); it != scene.end(); ++it) {
            if (!writeFile(dir_->filePath(it.key()), it.value())) {
                return it.key();
            }
        }
        if (!QFile::link("gone.bbd", dir_->filePath("DANGLING.bbd"))) {
            return "DANGLING.bbd";
        }
        previousDir_ = QDir::currentPath();
        return QDir::setCurrent(dir_->path()) ? QString() : dir_->path() + " the current folder";
    }
};

}  // namespace plimbrook::testing::golden
