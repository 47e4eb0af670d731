#pragma once

#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

#include "tests/support/golden_files.h"
#include "tests/support/scripted_dialogs.h"
#include "window_commands/commands.h"

// What the window's commands ask and show, written out here as the user reads it, and the
// session and folder every test of them runs the commands in.
namespace plimbrook::testing {

using Command = Outcome (*)(CommandContext&);

inline const QString kSramFilters =
    QStringLiteral("All Files (*.*)|*.*|SRAM Save File (*.srm)|*.srm");
inline const QString kBbdFilters = QStringLiteral("All Files (*.*)|*.*|BBD File (*.bbd)|*.bbd");
inline const QByteArray kStartComment = "Enter a Comment and stuff.";
inline const QString kS2bMessage =
    QStringLiteral("Battery Backup Data file created.|information|Dornquist");
inline const QString kB2sMessage = QStringLiteral("SRAM file created.|information|Dornquist");

inline const QStringList kSram2BbdPrompts = {
    "open|Open SRAM File|" + kSramFilters + "|2",
    "save|Save BBD File|" + kBbdFilters + "|2",
    "text|Enter Comment|Please enter a Comment|" + kStartComment,
};
inline const QStringList kBbd2SramPrompts = {
    "open|Open BBD File|" + kBbdFilters + "|2",
    "save|Save SRAM File|" + kSramFilters + "|2",
};
inline const QStringList kCommentPrompts = {"open|Open BBD File|" + kBbdFilters + "|2"};

inline const QString kCopiesDifferPrompt =
    "choice|Dornquist|The four 8 KiB copies in this BBD file differ. It may hold one 32 KiB save, "
    "or an 8 KiB save beside leftovers of other games.\n\nWrite the whole 32 KiB, which loses "
    "nothing, or only the first 8 KiB?|0|Whole 32 KiB/First 8 KiB";

// The warning before a save's trailing bytes are left out, as the user reads it.
inline QString droppedWarning(const char* kept, int size, const char* last) {
    return QStringLiteral(
               "warning|Dornquist|Only the first %1 of this %2-byte save fit in a BBD file; %3 "
               "(a clock or other data an emulator added) will be left out.\n\nClick OK to go "
               "on without them, or Cancel to stop.|0")
        .arg(QLatin1String(kept))
        .arg(size)
        .arg(QLatin1String(last));
}

inline QString refusal(const char* text) {
    return QString::fromUtf8(text) + "|warning|Dornquist";
}

// Written out here, not taken from the program: a change to it must show.
inline const char* const kMissingTemplate =
    "You are missing a vital data file, you will need to reinstall the program to fix this "
    "error.  This application will now close.";

inline const QString kOutputIsInput = refusal(
    "The new file would be written over the file it is made from. Start again and choose another "
    "name, so that both are kept.");

inline Command commandNamed(const QString& name) {
    return name == "sram2bbd" ? &SRAM2BBD : name == "bbd2sram" ? &BBD2SRAM : &OpenBBDComment;
}

inline QStringList promptsOf(const ScriptedDialogs& dialogs) {
    QStringList lines;
    for (const auto& p : dialogs.prompts) {
        QString line = QString::fromStdString(
            p.kind + '|' + p.title + '|' + p.filtersOrPrompt + '|' +
            (p.kind == "text" ? p.startText : std::to_string(p.filterIndex)));
        if (p.kind == "choice") {
            QStringList choices;
            for (const auto& choice : p.choices) {
                choices << QString::fromStdString(choice);
            }
            line += '|' + choices.join('/');
        }
        lines << line;
    }
    return lines;
}

inline QStringList messagesOf(const ScriptedDialogs& dialogs) {
    QStringList lines;
    for (const auto& m : dialogs.messages) {
        const char* icon = m.icon == MessageIcon::Information ? "information"
                           : m.icon == MessageIcon::Warning   ? "warning"
                                                              : "critical";
        lines << QString::fromStdString(m.text + '|' + icon + '|' + m.title);
    }
    return lines;
}

// What the main window holds for its commands: the dialogs, the channels, the template.
struct Session {
    explicit Session(const QString& templatePath, FileSystem& fs = realFileSystem())
        : context{dialogs, dialogs, channels, templatePath.toStdString(), fs} {}

    void answer(std::initializer_list<std::optional<QString>> paths) {
        for (const auto& path : paths) {
            dialogs.fileAnswers.push_back(path ? std::optional(path->toStdString()) : std::nullopt);
        }
    }
    void answerText(const QByteArray& text) { dialogs.textAnswers.push_back(text.toStdString()); }
    void answerChoice(std::optional<int> choice) { dialogs.choiceAnswers.push_back(choice); }
    QByteArray comment() const { return QByteArray::fromStdString(dialogs.comment); }
    bool channelsClosed() const {
        return !channels.input && !channels.headerTemplate && !channels.output;
    }

    ScriptedDialogs dialogs;
    FileChannels channels;
    CommandContext context;
};

// A folder of the test's own, with a header template in it.
class CommandFolder {
protected:
    // Called from init(), where a failure skips the test.
    void makeFolder() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        // Every header byte differs from zero, so a byte not copied from the template shows.
        header_ = noise(kHeader, 7).replace('\0', '\x01');
        template_ = path("Stuff.dat");
        QVERIFY(writeFile(template_, header_));
    }
    QString path(const QString& name) const { return dir_->filePath(name); }

    std::unique_ptr<QTemporaryDir> dir_;
    QString template_;
    QByteArray header_;
};

}  // namespace plimbrook::testing
