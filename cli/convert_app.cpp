#include "cli/convert_app.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <ostream>
#include <set>
#include <system_error>

#include "cli/convert_options.h"
#include "cli/copier_format_words.h"
#include "core/app_facts.h"
#include "core/bbd_layout.h"
#include "core/save_detection.h"

namespace plimbrook::cli {

namespace {

namespace stdfs = std::filesystem;

// The length of the well-formed UTF-8 sequence `text` starts with; 0 if it starts with none.
std::size_t utf8SequenceLength(std::string_view text) {
    const auto at = [&](std::size_t i) {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
    };
    const unsigned lead = at(0);
    const auto continuation = [&](std::size_t i, unsigned low = 0x80, unsigned high = 0xBF) {
        return at(i) >= low && at(i) <= high;
    };
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return continuation(1) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned high = lead == 0xED ? 0x9F : 0xBF;
        return continuation(1, low, high) && continuation(2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
        return continuation(1, low, high) && continuation(2) && continuation(3) ? 4 : 0;
    }
    return 0;
}

// The help, in two parts around the options whose defaults the window shares.
constexpr std::string_view kUsageBeforeDefaults =
    "Usage: plimbrook-convert to-bbd [--format FORMAT] [--comment TEXT] [--template FILE]\n"
    "                                [--output-dir DIR | --output FILE] [--force] SAVE...\n"
    "       plimbrook-convert to-srm [--format FORMAT] [--size auto|8|16|32]\n"
    "                                [--output-dir DIR | --output FILE] [--force] BBD...\n"
    "       plimbrook-convert comment [--raw] BBD...\n"
    "       plimbrook-convert info [--format FORMAT] FILE...\n"
    "\n"
    "Converts emulator SRAM saves (.srm) to and from Super Wild Card Battery Backup Data\n"
    "files (.bbd) and the save files of three other copiers, and prints the comments that\n"
    "BBD files carry.\n"
    "\n"
    "Commands:\n"
    "  to-bbd    write a BBD file for each SAVE, with \".bbd\" in place of its extension\n"
    "            (or another copier's file, see --format); saves of up to 32 KiB, raw or\n"
    "            RetroArch-compressed\n"
    "  to-srm    write an SRAM save for each BBD file or other copier's save, with \".srm\"\n"
    "            in place of its extension\n"
    "  comment   print the comment of each BBD file, one line each\n"
    "  info      tell what each file holds, the save image a conversion would use and its CRC-32\n"
    "\n"
    "Options:\n";
constexpr std::string_view kUsageAfterDefaults =
    "  --format FORMAT   the copier file to write, or to read each input as:\n"
    "                      swc  Super Wild Card BBD file (.bbd; the default for to-bbd)\n"
    "                      fig  Pro Fighter save (.sav)\n"
    "                      ufo  Super UFO save (.ufo)\n"
    "                      gd3  Game Doctor save (.gd3), the 32 KiB body with no header\n"
    "                    Only swc files carry a comment and use the template. to-srm and info\n"
    "                    tell swc, fig and ufo files by their headers by themselves; a file of\n"
    "                    32 KiB is read as a Game Doctor save only with --format gd3\n"
    "  --output-dir DIR  write the new files into DIR instead of beside their inputs\n"
    "  --output FILE     write the new file to FILE (one input only)\n"
    "  --size KIB        the size of each SRAM save: 8, 16 or 32, or auto (default): 8 when\n"
    "                    the BBD file's four copies agree, 16 when its halves do, else 32\n"
    "  --force           replace output files that already exist\n"
    "  --raw             print all 77 characters of each comment, trailing spaces included\n"
    "  -h, --help        show this help and exit\n"
    "  --version         show the version and exit\n"
    "\n"
    "Exit status: 0 if every file was done, 1 if any failed, 2 if the command line is wrong.\n";

void printUsage(std::ostream& out) {
    out << kUsageBeforeDefaults
        << "  --comment TEXT    the comment stored in each BBD file, cut or padded to "
        << layout::kCommentLength << " characters\n"
        << "                    (default: \"" << kDefaultComment << "\")\n"
        << "  --template FILE   the header template (default: " << kTemplateFileName
        << " beside the program)\n"
        << kUsageAfterDefaults;
}

// One file that could not be done, and why; the batch goes on without it.
struct FileFailure {
    std::string path;
    std::string reason;
};

// A file name as it may safely go to a terminal: control characters, C1 controls and bytes
// that are not UTF-8, any of which a terminal may obey, are shown as \xNN.
std::string terminalSafe(std::string_view text) {
    std::string out;
    const auto escape = [&](unsigned char byte) {
        static constexpr char kHex[] = "0123456789abcdef";
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = utf8SequenceLength(text.substr(i));
        const bool control =
            byte < 0x20 || byte == 0x7F ||
            (byte == 0xC2 && length == 2 && static_cast<unsigned char>(text[i + 1]) < 0xA0);
        if (length == 0 || control) {
            for (std::size_t k = 0; k < std::max<std::size_t>(length, 1); ++k) {
                escape(static_cast<unsigned char>(text[i + k]));
            }
            i += std::max<std::size_t>(length, 1);
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

std::string reasonOf(const FileError& error) {
    const std::string cause = std::strerror(error.errorNumber());
    switch (error.step()) {
        case FileStep::NotRegular:
            return error.errorNumber() == EISDIR ? cause : "Not a regular file";
        case FileStep::Exists:
            return cause + " (use --force to replace it)";
        case FileStep::UnsafeLink:
            return "not following a link that another user made in a shared folder";
        case FileStep::Create:
            return "cannot create a file in " + error.path() + ": " + cause;
        default:
            return cause;
    }
}

// Runs one step of a file's conversion; whatever goes wrong in it is blamed on `path`, the
// name the user gave, not on a temporary file or a link target they never saw.
template <typename Step>
auto blame(const std::string& path, Step step) {
    try {
        return step();
    } catch (const FileError& error) {
        throw FileFailure{path, reasonOf(error)};
    } catch (const std::exception& error) {
        throw FileFailure{path, error.what()};
    }
}

// Names are UTF-8 in the program, but a path's narrow form on Windows is the ANSI code page.
stdfs::path pathOf(std::string_view name) {
    return stdfs::path(std::u8string(name.begin(), name.end()));
}
std::string nameOf(const stdfs::path& path) {
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
}

std::string outputPathFor(const ConvertOptions& options, const std::string& input,
                          std::string_view extension) {
    if (options.output) {
        return *options.output;
    }
    const stdfs::path inputPath = pathOf(input);
    const stdfs::path name = stdfs::path(inputPath.filename()).replace_extension(extension);
    const stdfs::path folder =
        options.outputDir ? pathOf(*options.outputDir) : inputPath.parent_path();
    return nameOf(folder / name);
}

// The command line's words for an input a conversion will not take.
std::string refusalReason(Refusal why) {
    switch (why) {
        case Refusal::AlreadyBbd:
            return "already a BBD file (use to-srm)";
        case Refusal::TooLarge:
            return "larger than 32 KiB, the most the copier holds";
        case Refusal::DamagedCompressed:
            return "compressed save is damaged or cut short";
        case Refusal::RawSaveAsBbd:
            return "looks like an SRAM save, not a BBD file";
        case Refusal::CompressedAsBbd:
            return "a compressed SRAM save, not a BBD file";
        case Refusal::NotGameDoctorSize:
            return "not 32 KiB, the size of a Game Doctor save";
    }
    return "not a file this command takes";
}

// A copier file given as a save is named by its format.
std::string refusalReason(const SaveInput& save) {
    if (save.refusal == Refusal::AlreadyBbd) {
        return "already a " + std::string(wordsOf(save.file.copier).name) + " (use to-srm)";
    }
    return refusalReason(*save.refusal);
}

std::string bytesText(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

std::string droppedWarning(std::size_t saveSize, const BodyFromSave& body) {
    return "only the first " + std::to_string(body.keptSize / layout::kKiB) + " KiB of this " +
           std::to_string(saveSize) + "-byte save fit in a BBD file; the last " +
           bytesText(body.droppedBytes) + " are left out";
}

std::string crcText(std::span<const std::uint8_t> bytes) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(crc32Of(bytes)));
    return text;
}

// A comment on one line and safe for a terminal: control characters, the zero bytes of a blank
// header and the C1 controls that five Windows-1252 bytes read back as among them, become
// spaces, and trailing spaces go.
std::string printable(const std::string& comment) {
    std::string out;
    out.reserve(comment.size());
    for (std::size_t i = 0; i < comment.size(); ++i) {
        const auto byte = static_cast<unsigned char>(comment[i]);
        const bool c1 = byte == 0xC2 && i + 1 < comment.size() &&
                        static_cast<unsigned char>(comment[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(comment[i + 1]) <= 0x9F;
        if (c1) {
            ++i;  // the two bytes of one character become one space
        }
        out.push_back(byte < 0x20 || byte == 0x7F || c1 ? ' ' : comment[i]);
    }
    out.erase(out.find_last_not_of(' ') + 1);
    return out;
}

// How many new files a batch keeps open before it commits them together: each holds up to two
// descriptors (its own, and its folder's where that is not shared), and some must stay free for
// the inputs and the program itself.
std::size_t commitGroupSize() {
    constexpr auto kMost = std::min<std::size_t>(2048, kPendingSlots);
#ifdef _WIN32
    return kMost;  // no limit on open files short of the memory
#else
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return kMost;
    }
    const auto open = static_cast<std::size_t>(limit.rlim_cur);
    return open <= 64 ? 1 : std::min(kMost, (open - 32) / 2);
#endif
}

class Batch {
public:
    Batch(const ConvertOptions& options, std::ostream& out, std::ostream& err, FileSystem& fs)
        : options_(options), out_(out), err_(err), fs_(fs), pending_(commitGroupSize()) {}

    int run(const std::string& defaultTemplatePath) {
        try {
            if (options_.command == Command::ToBbd || options_.command == Command::ToSrm) {
                noteInputs();
            }
            switch (options_.command) {
                case Command::ToBbd:
                    toBbd(options_.templatePath.value_or(defaultTemplatePath));
                    break;
                case Command::ToSrm:
                    each([&](const std::string& input) { toSrm(input); });
                    break;
                case Command::Comment:
                    each([&](const std::string& input) { printComment(input); });
                    break;
                case Command::Info:
                    each([&](const std::string& input) { printInfo(input); });
                    break;
            }
        } catch (const FileFailure& failure) {
            report(failure);
        }
        commitPending();
        return failed_ ? kExitSomeFailed : kExitSuccess;
    }

private:
    template <typename Convert>
    void each(Convert convert) {
        for (const std::string& input : options_.inputs) {
            try {
                convert(input);
            } catch (const FileFailure& failure) {
                report(failure);
            }
        }
    }

    void report(const FileFailure& failure) {
        failed_ = true;
        err_ << kProgramName << ": " << terminalSafe(failure.path) << ": "
             << terminalSafe(failure.reason) << '\n';
    }

    // Every file the batch reads is known before anything is written, so that no output
    // replaces one of them, whatever name it goes by: to-bbd run on a BBD file, or
    // "to-bbd --force *" in a folder that holds GAME.srm and GAME.bbd.
    void noteInputs() {
        for (const std::string& input : options_.inputs) {
            FileStatus info{};
            if (fs_.stat(input, info) == 0) {
                read_.insert(idOf(info));
            } else {
                unreadable_.emplace(input, errno);
            }
        }
    }

    template <typename Read>
    auto readInput(const std::string& input, Read read) {
        return blame(input, [&] {
            if (const auto it = unreadable_.find(input); it != unreadable_.end()) {
                throw FileError(FileStep::Open, input, it->second);
            }
            const auto file = InputFile::open(fs_, input);
            read_.insert(file->id());
            auto result = read(*file);
            file->close();
            return result;
        });
    }

    template <typename Write>
    void replaceOutput(const std::string& output, std::string key, Write write) {
        blame(output, [&] {
            ReplaceOptions replace;
            replace.existing = options_.force ? ReplaceOptions::Existing::Replace
                                              : ReplaceOptions::Existing::Refuse;
            replace.folders = &folders_;
            replace.vetTarget = [&](FileId target) {
                if (writtenIds_.count(target) != 0) {
                    throw FileFailure{output, "also the output of an earlier file of this batch"};
                }
                if (read_.count(target) != 0) {
                    throw FileFailure{output, "also read by this batch"};
                }
            };
            auto file = ReplacementFile::open(fs_, output, replace);
            write(*file);
            writtenIds_.insert(file->id());
            pending_.add(std::move(file), output);
        });
        written_.insert(std::move(key));
        if (pending_.full()) {
            commitPending();
        }
    }

    void commitPending() {
        for (const auto& [output, failure] : pending_.commit()) {
            try {
                blame(output, [&] { std::rethrow_exception(failure); });
            } catch (const FileFailure& reported) {
                report(reported);
            }
        }
    }

    // A line about a file that was still done.
    void tell(const std::string& path, const char* kind, const std::string& text) {
        err_ << kProgramName << ": " << terminalSafe(path) << ": " << kind << ": " << text << '\n';
    }

    // The template is read once for the batch; without it no BBD file can be made. The other
    // formats do not use it.
    void toBbd(const std::string& templatePath) {
        const CopierFormat format = options_.format.value_or(CopierFormat::SuperWildCard);
        const bool bbd = format == CopierFormat::SuperWildCard;
        // The comment is the same for every file, so it goes into the header once.
        const HeaderTemplate header =
            bbd ? withComment(readInput(templatePath, readHeaderTemplate),
                              options_.comment.value_or(std::string(kDefaultComment)))
                : HeaderTemplate{};
        each([&](const std::string& input) {
            const SaveInput save = readInput(input, readSaveInput);
            if (save.refusal) {
                throw FileFailure{input, refusalReason(save)};
            }
            const auto body = bodyFromSave(save.save);
            if (!body) {
                throw FileFailure{input, refusalReason(Refusal::TooLarge)};
            }
            if (body->droppedBytes > 0) {
                tell(input, "warning", droppedWarning(save.save.size(), *body));
            }
            const std::string output = outputPathFor(options_, input, wordsOf(format).extension);
            replaceOutput(output, refuseWrittenAlready(output), [&](ReplacementFile& file) {
                if (bbd) {
                    writeBbdBody(file, header, body->body);
                } else {
                    writeCopierSave(file, format, body->body);
                }
            });
        });
    }

    BbdInput readWholeBbd(InputFile& file) const {
        return readBbdInput(file, BbdPart::HeaderAndBody, options_.format);
    }
    static BbdInput readBbdHeader(InputFile& file) {
        return readBbdInput(file, BbdPart::HeaderOnly);
    }

    void toSrm(const std::string& input) {
        const BbdInput bbd =
            readInput(input, [this](InputFile& file) { return readWholeBbd(file); });
        if (bbd.refusal) {
            std::string reason = refusalReason(*bbd.refusal);
            // Only its size could tell a Game Doctor save from a raw one, and it does not.
            if (bbd.refusal == Refusal::RawSaveAsBbd &&
                bbd.file.size == layout::kGameDoctorSaveSize) {
                reason += " (--format gd3 reads it as a Game Doctor save)";
            }
            throw FileFailure{input, reason};
        }
        const CopyAgreement copies = compareCopies(bbd.body);
        const std::vector<std::uint8_t> save = saveFromBody(
            bbd.body, options_.saveSize.value_or(saveSizeFromBody(copies, layout::kMaxSaveSize)));
        const std::string output = outputPathFor(options_, input, ".srm");
        replaceOutput(output, refuseWrittenAlready(output),
                      [&](ReplacementFile& file) { writeSramSave(file, save); });
        if (!options_.saveSize && copies == CopyAgreement::None) {
            tell(input, "note",
                 "the four 8 KiB copies differ, so all 32 KiB were written (--size 8 writes the "
                 "first copy alone)");
        }
    }

    // Two inputs of one batch may name the same output ("a.srm" and "a.sav"); even with
    // --force, the second must not silently replace what the first just wrote.
    std::string outputKey(const std::string& output) const {
        // The working folder is asked once: a batch names thousands of outputs.
        return nameOf((workingFolder_ / pathOf(output)).lexically_normal());
    }
    // The output's key, for replaceOutput to note once it is written.
    std::string refuseWrittenAlready(const std::string& output) const {
        std::string key = outputKey(output);
        if (written_.count(key) != 0) {
            throw FileFailure{output, "also the output of an earlier file of this batch"};
        }
        return key;
    }

    void printComment(const std::string& input) {
        const BbdInput bbd = readInput(input, readBbdHeader);
        if (bbd.refusal) {
            throw FileFailure{input, refusalReason(*bbd.refusal)};
        }
        // An empty line would pass for an empty comment.
        if (!hasCommentField(bbd.file.copier)) {
            throw FileFailure{
                input, "no comment field in a " + std::string(wordsOf(bbd.file.copier).name)};
        }
        const std::string comment = commentOfHeader(bbd.header);
        out_ << (options_.raw ? comment : printable(comment)) << '\n';
    }

    using InfoLines = std::vector<std::pair<std::string, std::string>>;

    // A file is looked at as the conversion that takes it would: a copier file as to-srm does,
    // anything else as to-bbd does. One that --format does not fit says why.
    InfoLines describe(InputFile& file) const {
        const BbdInput bbd = readWholeBbd(file);
        if (bbd.refusal && options_.format == CopierFormat::GameDoctor) {
            return {{"type", kindOf(bbd.file)},
                    {"save image", "none: " + refusalReason(*bbd.refusal)}};
        }
        if (bbd.file.kind == FileKind::CopierFile) {
            return describeBbd(bbd);
        }
        return describeSave(readSaveInput(file));
    }

    static std::string kindOf(const FileClass& file) {
        std::string kind;
        switch (file.kind) {
            case FileKind::RawSram:
                kind = "raw SRAM save";
                break;
            case FileKind::RetroArchCompressed:
                kind = "RetroArch-compressed save";
                break;
            case FileKind::CopierFile:
                kind = wordsOf(file.copier).kind;
                break;
            case FileKind::Unknown:
                kind = file.size == 0 ? "empty file" : "unknown";
                break;
        }
        return kind + ", " + bytesText(file.size);
    }

    static InfoLines describeBbd(const BbdInput& bbd) {
        const CopyAgreement copies = compareCopies(bbd.body);
        const std::vector<std::uint8_t> save =
            saveFromBody(bbd.body, saveSizeFromBody(copies, layout::kMaxSaveSize));
        std::string agreement;
        switch (copies) {
            case CopyAgreement::AllFour:
                agreement = "all four 8 KiB copies agree";
                break;
            case CopyAgreement::Halves:
                agreement = "the two 16 KiB halves agree";
                break;
            case CopyAgreement::None:
                agreement = "they differ (to-srm writes all 32 KiB; --size 8 the first copy)";
                break;
            case CopyAgreement::ShortBody:
                agreement = "the file ends inside them (to-srm writes the first copy)";
                break;
        }
        // Where there is no comment field there is no comment line, rather than an empty one.
        InfoLines lines = {
            {"type", kindOf(bbd.file)},
            {"copies", agreement},
            {"save image", bytesText(save.size())},
        };
        if (hasCommentField(bbd.file.copier)) {
            lines.push_back({"comment", printable(commentOfHeader(bbd.header))});
        }
        lines.push_back({"CRC-32", crcText(save)});
        return lines;
    }

    static InfoLines describeSave(const SaveInput& input) {
        InfoLines lines = {{"type", kindOf(input.file)}};
        if (input.file.kind == FileKind::RetroArchCompressed && !input.refusal) {
            lines[0].second += ", " + bytesText(input.save.size()) + " uncompressed";
        }
        const auto body = input.refusal ? std::nullopt : bodyFromSave(input.save);
        if (!body) {
            lines.push_back({"save image",
                             "none: " + refusalReason(input.refusal.value_or(Refusal::TooLarge))});
            return lines;
        }
        std::string image = bytesText(body->keptSize);
        if (body->droppedBytes > 0) {
            image += " (the last " + bytesText(body->droppedBytes) + " do not fit in a BBD file)";
        }
        lines.push_back({"save image", image});
        lines.push_back({"CRC-32", crcText(std::span(body->body).first(body->keptSize))});
        return lines;
    }

    void printInfo(const std::string& input) {
        const InfoLines lines =
            readInput(input, [this](InputFile& file) { return describe(file); });
        out_ << input << '\n';
        for (const auto& [key, value] : lines) {
            out_ << "  " << key << ": " << value << '\n';
        }
    }

    const ConvertOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    FileSystem& fs_;
    bool failed_ = false;
    std::set<std::string> written_;
    std::set<FileId> writtenIds_;
    std::set<FileId> read_;
    std::map<std::string, int> unreadable_;  // inputs that could not even be looked at
    const stdfs::path workingFolder_ = [] {
        std::error_code error;  // a folder removed under us: names stay as given
        return stdfs::current_path(error);
    }();
    FolderCache folders_;
    CommitGroup pending_;  // outputs written and not yet in place
};

}  // namespace

int runConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               const ConvertEnvironment& environment) {
    ConvertOptions options;
    try {
        options = parseOptions(args);
    } catch (const UsageError& error) {
        err << kProgramName << ": " << terminalSafe(error.what()) << "\n"
            << "Try '" << kProgramName << " --help' for more information.\n";
        return kExitUsage;
    }

    switch (options.action) {
        case ConvertOptions::Action::Help:
            printUsage(out);
            return kExitSuccess;
        case ConvertOptions::Action::Version:
            out << kProgramName << " " << versionText(kVersion) << '\n';
            return kExitSuccess;
        case ConvertOptions::Action::Run:
            break;
    }
    return Batch(options, out, err, environment.fs).run(environment.defaultTemplatePath);
}

std::string templateBeside(std::string_view programPath) {
    return nameOf(templatePathIn(pathOf(programPath).parent_path()));
}

std::string runningProgramPath(std::string_view fallback) {
    std::error_code error;
    const stdfs::path self = stdfs::read_symlink("/proc/self/exe", error);
    return error ? std::string(fallback) : self.string();
}

}  // namespace plimbrook::cli
