#include "convert_app.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <set>
#include <system_error>

#include "app_facts.h"
#include "bbd_layout.h"
#include "convert_options.h"
#include "save_detection.h"

namespace plimbrook::cli {

namespace {

namespace stdfs = std::filesystem;

constexpr std::string_view kUsage =
    "Usage: plimbrook-convert to-bbd [--comment TEXT] [--template FILE]\n"
    "                                [--output-dir DIR | --output FILE] [--force] SAVE...\n"
    "       plimbrook-convert to-srm [--size auto|8|16|32]\n"
    "                                [--output-dir DIR | --output FILE] [--force] BBD...\n"
    "       plimbrook-convert comment [--raw] BBD...\n"
    "       plimbrook-convert info FILE...\n"
    "\n"
    "Converts emulator SRAM saves (.srm) to and from Super Wild Card Battery Backup Data\n"
    "files (.bbd), and prints the comments that BBD files carry.\n"
    "\n"
    "Commands:\n"
    "  to-bbd    write a BBD file for each SAVE, with \".bbd\" in place of its extension;\n"
    "            saves of up to 32 KiB, raw or RetroArch-compressed\n"
    "  to-srm    write an SRAM save for each BBD file, with \".srm\" in place of its extension\n"
    "  comment   print the comment of each BBD file, one line each\n"
    "  info      tell what each file holds, the save image a conversion would use and its CRC-32\n"
    "\n"
    "Options:\n"
    "  --comment TEXT    the comment stored in each BBD file, cut or padded to 77 characters\n"
    "                    (default: \"Enter a Comment and stuff.\")\n"
    "  --template FILE   the header template (default: Stuff.dat beside the program)\n"
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

// One file that could not be done, and why; the batch goes on without it.
struct FileFailure {
    std::string path;
    std::string reason;
};

std::string reasonOf(const FileError& error) {
    if (error.step() == FileStep::NotRegular && error.errorNumber() != EISDIR) {
        return "Not a regular file";
    }
    return std::strerror(error.errorNumber());
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

std::string outputPathFor(const ConvertOptions& options, const std::string& input,
                          std::string_view extension) {
    if (options.output) {
        return *options.output;
    }
    const stdfs::path inputPath(input);
    const stdfs::path name = stdfs::path(inputPath.filename()).replace_extension(extension);
    const stdfs::path folder =
        options.outputDir ? stdfs::path(*options.outputDir) : inputPath.parent_path();
    return (folder / name).string();
}

// Anything already at the output path, even a dangling link, is kept unless asked.
void refuseExisting(FileSystem& fs, const std::string& output, bool force) {
    struct stat info {};
    if (!force && fs.lstat(output, info) == 0) {
        throw FileFailure{output,
                          std::string(std::strerror(EEXIST)) + " (use --force to replace it)"};
    }
}

template <typename Write>
void replaceOutput(FileSystem& fs, const std::string& output, Write write) {
    blame(output, [&] {
        const auto file = ReplacementFile::open(fs, output);
        write(*file);
        file->commit();
    });
}

template <typename Read>
auto readInput(FileSystem& fs, const std::string& input, Read read) {
    return blame(input, [&] {
        const auto file = InputFile::open(fs, input);
        auto result = read(*file);
        file->close();
        return result;
    });
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
    }
    return "not a file this command takes";
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

class Batch {
public:
    Batch(const ConvertOptions& options, std::ostream& out, std::ostream& err, FileSystem& fs)
        : options_(options), out_(out), err_(err), fs_(fs) {}

    int run(const std::string& defaultTemplatePath) {
        try {
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
        err_ << kProgramName << ": " << failure.path << ": " << failure.reason << '\n';
    }

    // A line about a file that was still done.
    void tell(const std::string& path, const char* kind, const std::string& text) {
        err_ << kProgramName << ": " << path << ": " << kind << ": " << text << '\n';
    }

    // The template is read once for the batch; without it no BBD file can be made.
    void toBbd(const std::string& templatePath) {
        const HeaderTemplate header = readInput(fs_, templatePath, readHeaderTemplate);
        const std::string comment = options_.comment.value_or(std::string(kDefaultComment));
        each([&](const std::string& input) {
            const SaveInput save = readInput(fs_, input, readSaveInput);
            if (save.refusal) {
                throw FileFailure{input, refusalReason(*save.refusal)};
            }
            const auto body = bodyFromSave(save.save);
            if (!body) {
                throw FileFailure{input, refusalReason(Refusal::TooLarge)};
            }
            if (body->droppedBytes > 0) {
                tell(input, "warning", droppedWarning(save.save.size(), *body));
            }
            const std::string output = outputPathFor(options_, input, ".bbd");
            refuseWrittenAlready(output);
            refuseExisting(fs_, output, options_.force);
            replaceOutput(fs_, output, [&](ReplacementFile& file) {
                writeBbdBody(file, header, body->body);
                writeBbdComment(file, comment);
            });
            written_.insert(outputKey(output));
        });
    }

    static BbdInput readWholeBbd(InputFile& file) {
        return readBbdInput(file, BbdPart::HeaderAndBody);
    }
    static BbdInput readBbdHeader(InputFile& file) {
        return readBbdInput(file, BbdPart::HeaderOnly);
    }

    void toSrm(const std::string& input) {
        const BbdInput bbd = readInput(fs_, input, readWholeBbd);
        if (bbd.refusal) {
            throw FileFailure{input, refusalReason(*bbd.refusal)};
        }
        const CopyAgreement copies = compareCopies(bbd.body);
        const std::vector<std::uint8_t> save = saveFromBody(
            bbd.body, options_.saveSize.value_or(saveSizeFromBody(copies, layout::kMaxSaveSize)));
        const std::string output = outputPathFor(options_, input, ".srm");
        refuseWrittenAlready(output);
        refuseExisting(fs_, output, options_.force);
        replaceOutput(fs_, output, [&](ReplacementFile& file) { writeSramSave(file, save); });
        written_.insert(outputKey(output));
        if (!options_.saveSize && copies == CopyAgreement::None) {
            tell(input, "note",
                 "the four 8 KiB copies differ, so all 32 KiB were written (--size 8 writes the "
                 "first copy alone)");
        }
    }

    // Two inputs of one batch may name the same output ("a.srm" and "a.sav"); even with
    // --force, the second must not silently replace what the first just wrote.
    static std::string outputKey(const std::string& output) {
        return stdfs::absolute(output).lexically_normal().string();
    }
    void refuseWrittenAlready(const std::string& output) const {
        if (written_.count(outputKey(output)) != 0) {
            throw FileFailure{output, "also the output of an earlier file of this batch"};
        }
    }

    void printComment(const std::string& input) {
        const BbdInput bbd = readInput(fs_, input, readBbdHeader);
        if (bbd.refusal) {
            throw FileFailure{input, refusalReason(*bbd.refusal)};
        }
        const std::string comment = commentOfHeader(bbd.header);
        out_ << (options_.raw ? comment : printable(comment)) << '\n';
    }

    using InfoLines = std::vector<std::pair<std::string, std::string>>;

    // A file is looked at as the conversion that takes it would: a copier file as to-srm does,
    // anything else as to-bbd does.
    static InfoLines describe(InputFile& file) {
        const BbdInput bbd = readWholeBbd(file);
        if (bbd.file.kind == FileKind::CopierFile) {
            return describeBbd(bbd);
        }
        return describeSave(readSaveInput(file));
    }

    static InfoLines describeBbd(const BbdInput& bbd) {
        const bool swc = bbd.file.copier == CopierFormat::SuperWildCard;
        const std::string kind =
            swc ? "Super Wild Card BBD file" : "copier file with another 512-byte header";
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
        return {
            {"type", kind + ", " + bytesText(bbd.file.size)},
            {"copies", agreement},
            {"save image", bytesText(save.size())},
            {"comment", printable(commentOfHeader(bbd.header))},
            {"CRC-32", crcText(save)},
        };
    }

    static InfoLines describeSave(const SaveInput& input) {
        std::string kind;
        switch (input.file.kind) {
            case FileKind::RawSram:
                kind = "raw SRAM save";
                break;
            case FileKind::RetroArchCompressed:
                kind = "RetroArch-compressed save";
                break;
            case FileKind::CopierFile:
            case FileKind::Unknown:
                kind = input.file.size == 0 ? "empty file" : "unknown";
                break;
        }
        InfoLines lines = {{"type", kind + ", " + bytesText(input.file.size)}};
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
        const InfoLines lines = readInput(fs_, input, describe);
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
};

}  // namespace

int runConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               const ConvertEnvironment& environment) {
    ConvertOptions options;
    try {
        options = parseOptions(args);
    } catch (const UsageError& error) {
        err << kProgramName << ": " << error.what() << "\n"
            << "Try '" << kProgramName << " --help' for more information.\n";
        return kExitUsage;
    }

    switch (options.action) {
        case ConvertOptions::Action::Help:
            out << kUsage;
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
    return (stdfs::path(programPath).parent_path() / kTemplateFileName).string();
}

std::string runningProgramPath(std::string_view fallback) {
    std::error_code error;
    const stdfs::path self = stdfs::read_symlink("/proc/self/exe", error);
    return error ? std::string(fallback) : self.string();
}

}  // namespace plimbrook::cli
