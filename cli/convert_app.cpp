#include "convert_app.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <ostream>
#include <set>
#include <system_error>

#include "app_facts.h"
#include "bbd_layout.h"
#include "convert_options.h"

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

constexpr std::string_view kUsage =
    "Usage: plimbrook-convert to-bbd [--comment TEXT] [--template FILE]\n"
    "                                [--output-dir DIR | --output FILE] [--force] SAVE...\n"
    "       plimbrook-convert to-srm [--output-dir DIR | --output FILE] [--force] BBD...\n"
    "       plimbrook-convert comment [--raw] BBD...\n"
    "\n"
    "Converts emulator SRAM saves (.srm) to and from Super Wild Card Battery Backup Data\n"
    "files (.bbd), and prints the comments that BBD files carry.\n"
    "\n"
    "Commands:\n"
    "  to-bbd    write a BBD file for each SAVE, with \".bbd\" in place of its extension\n"
    "  to-srm    write an SRAM save for each BBD file, with \".srm\" in place of its extension\n"
    "  comment   print the comment of each BBD file, one line each\n"
    "\n"
    "Options:\n"
    "  --comment TEXT    the comment stored in each BBD file, cut or padded to 77 characters\n"
    "                    (default: \"Enter a Comment and stuff.\")\n"
    "  --template FILE   the header template (default: Stuff.dat beside the program)\n"
    "  --output-dir DIR  write the new files into DIR instead of beside their inputs\n"
    "  --output FILE     write the new file to FILE (one input only)\n"
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
            if (options_.command != Command::Comment) {
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
    void replaceOutput(const std::string& output, Write write) {
        blame(output, [&] {
            ReplaceOptions replace;
            replace.existing = options_.force ? ReplaceOptions::Existing::Replace
                                              : ReplaceOptions::Existing::Refuse;
            replace.vetTarget = [&](FileId target) {
                if (writtenIds_.count(target) != 0) {
                    throw FileFailure{output, "also the output of an earlier file of this batch"};
                }
                if (read_.count(target) != 0) {
                    throw FileFailure{output, "also read by this batch"};
                }
            };
            const auto file = ReplacementFile::open(fs_, output, replace);
            write(*file);
            file->commit();
            writtenIds_.insert(file->id());
        });
        written_.insert(outputKey(output));
    }

    // The template is read once for the batch; without it no BBD file can be made.
    void toBbd(const std::string& templatePath) {
        const HeaderTemplate header = readInput(templatePath, readHeaderTemplate);
        const std::string comment = options_.comment.value_or(std::string(kDefaultComment));
        each([&](const std::string& input) {
            const SramImage image = readInput(input, readSramSave);
            const std::string output = outputPathFor(options_, input, ".bbd");
            refuseWrittenAlready(output);
            replaceOutput(output, [&](ReplacementFile& file) {
                writeBbdBody(file, header, image);
                writeBbdComment(file, comment);
            });
        });
    }

    void toSrm(const std::string& input) {
        const SramImage image = readInput(input, readBbdImage);
        const std::string output = outputPathFor(options_, input, ".srm");
        refuseWrittenAlready(output);
        replaceOutput(output, [&](ReplacementFile& file) { writeSramSave(file, image); });
    }

    // Two inputs of one batch may name the same output ("a.srm" and "a.sav"); even with
    // --force, the second must not silently replace what the first just wrote.
    static std::string outputKey(const std::string& output) {
        return nameOf(stdfs::absolute(pathOf(output)).lexically_normal());
    }
    void refuseWrittenAlready(const std::string& output) const {
        if (written_.count(outputKey(output)) != 0) {
            throw FileFailure{output, "also the output of an earlier file of this batch"};
        }
    }

    void printComment(const std::string& input) {
        const std::string comment = readInput(input, readBbdComment);
        out_ << (options_.raw ? comment : printable(comment)) << '\n';
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
    return nameOf(pathOf(programPath).parent_path() / kTemplateFileName);
}

std::string runningProgramPath(std::string_view fallback) {
    std::error_code error;
    const stdfs::path self = stdfs::read_symlink("/proc/self/exe", error);
    return error ? std::string(fallback) : self.string();
}

}  // namespace plimbrook::cli
