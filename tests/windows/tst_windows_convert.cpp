// What plimbrook-convert promises on Windows besides the command-line rows, which run against
// the .exe from the Linux tests: each failing file call leaves the folder as it was, Ctrl+C
// leaves no temporary, devices and folders are refused, and the program takes UTF-16 names and
// expands its own wildcards.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "cli/convert_app.h"
#include "cli/windows_command_line.h"
#include "core/files/windows_support.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/mini_test.h"

namespace {

namespace stdfs = std::filesystem;
using plimbrook::testing::FailingFileSystem;
using plimbrook::testing::NameTakenMeanwhile;
using Bytes = std::string;
using Files = std::map<std::string, Bytes>;  // by UTF-8 name relative to the folder
using Args = std::vector<std::string>;

stdfs::path u8Path(std::string_view utf8) {
    return stdfs::path(std::u8string(utf8.begin(), utf8.end()));
}
Bytes readFile(const stdfs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}
void writeFile(const stdfs::path& path, const Bytes& bytes) {
    stdfs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}
// Every file under `root`, stray temporaries included.
Files snapshot(const stdfs::path& root) {
    Files files;
    for (const auto& entry : stdfs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            const auto name = entry.path().lexically_relative(root).generic_u8string();
            files[std::string(name.begin(), name.end())] = readFile(entry.path());
        }
    }
    return files;
}
Bytes pattern(std::size_t size, int seed) {
    Bytes bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 251 + seed * 31) & 0xff);
    }
    return bytes;
}
// A BBD file from the published layout: the comment at 16 in the header, the image four times.
Bytes bbd(Bytes header, const Bytes& image, const Bytes& comment) {
    header.replace(16, 77, (comment + Bytes(77, ' ')).substr(0, 77));
    return header + image + image + image + image;
}

// The copier takes only files whose header has its mark and SRAM type at 8..10; a template
// without them gives a warning line.
Bytes marked(Bytes header) {
    return header.replace(8, 3, "\xAA\xBB\x05");
}

const Bytes kImage = pattern(8 * 1024, 1);
const Bytes kTemplate = marked(pattern(512, 11));
const Bytes kKept = pattern(8 * 1024, 5);
const Bytes kLong = pattern(40'000, 6);

// A fresh folder of saves, the working folder while it lives.
class Scene {
public:
    Scene() : previous_(stdfs::current_path()) {
        static int count = 0;
        root_ =
            stdfs::temp_directory_path() / ("plimbrook-" + std::to_string(::GetCurrentProcessId()) +
                                            "-" + std::to_string(++count));
        stdfs::create_directories(root_ / "sub");
        writeFile(root_ / "GAME.srm", kImage);
        writeFile(root_ / "tmpl.dat", kTemplate);
        writeFile(root_ / "KEEP.bbd", bbd(kTemplate, kKept, "Kept"));
        writeFile(root_ / "LONG.bbd", kLong);
        stdfs::current_path(root_);
    }
    ~Scene() {
        stdfs::current_path(previous_);
        std::error_code ignored;
        stdfs::remove_all(root_, ignored);
    }
    const stdfs::path& root() const { return root_; }

private:
    stdfs::path previous_;
    stdfs::path root_;
};

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result convert(const Args& args, plimbrook::FileSystem& fs = plimbrook::realFileSystem()) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = plimbrook::cli::runConvert(args, out, err, {"tmpl.dat", fs});
    return {status, out.str(), err.str()};
}

}  // namespace

// Each file call of a conversion fails in turn: a new BBD file, a longer file replaced, a new
// SRAM save in a folder. Up to the rename the folder stays as it was and the failure is
// reported against a name the user gave; after it, only the folder's sync and close may fail,
// unreported, with the new file whole in place.
MINI_TEST(everyFailingCall) {
    const Bytes game = bbd(kTemplate, kImage, "Enter a Comment and stuff.");
    const struct {
        Args args;
        std::string output;
        Bytes expected;
    } sweeps[] = {
        {{"to-bbd", "GAME.srm"}, "GAME.bbd", game},
        // Replaced, a longer file holds the new file and nothing of its old tail.
        {{"to-bbd", "--force", "--output", "LONG.bbd", "GAME.srm"}, "LONG.bbd", game},
        {{"to-srm", "--output-dir", "sub", "KEEP.bbd"}, "sub/KEEP.srm", kKept},
    };
    std::set<std::string> kinds;
    for (const auto& sweep : sweeps) {
        FailingFileSystem counter;
        {
            Scene scene;
            MINI_CHECK(convert(sweep.args, counter).status == 0, sweep.output);
            MINI_CHECK(readFile(sweep.output) == sweep.expected, sweep.output);
        }
        const std::string folder = sweep.output.starts_with("sub/") ? "sub" : ".";
        const std::set<std::string> named = {"tmpl.dat", "GAME.srm", "KEEP.bbd", sweep.output,
                                             u8Path(sweep.output).make_preferred().string()};
        for (long n = 1; n <= counter.count(); ++n) {
            Scene scene;
            Files before = snapshot(scene.root());
            FailingFileSystem fs(n, EIO);
            const Result result = convert(sweep.args, fs);
            const std::string call = fs.log()[static_cast<std::size_t>(n - 1)];
            const std::string where = sweep.output + ", call " + call + ": " + result.err;
            kinds.insert(call.substr(0, call.find(' ')));
            Files after = snapshot(scene.root());
            if (result.status == 0) {
                // As on Linux: the folder's sync, its close, and the look at it that tells the
                // folders of a batch apart come after the file is whole and in place; the look
                // for a killed run's temporaries only tidies up.
                MINI_CHECK(call == "sync " + folder + "  <- fails" ||
                               call == "close " + folder + "  <- fails" ||
                               call == "fstat " + folder + "  <- fails" ||
                               call == "list " + folder + "  <- fails",
                           where);
                MINI_CHECK(result.err.empty() && after[sweep.output] == sweep.expected, where);
                after.erase(sweep.output);
                before.erase(sweep.output);
            } else {
                const std::string prefix = "plimbrook-convert: ";
                const std::size_t end = result.err.find(": ", prefix.size());
                MINI_CHECK(result.status == 1 && result.err.starts_with(prefix), where);
                MINI_CHECK(named.count(result.err.substr(prefix.size(), end - prefix.size())),
                           where);
                MINI_CHECK(result.err.find('\n') == result.err.size() - 1, where);
            }
            MINI_CHECK(after == before, where);
        }
    }
    for (const char* kind : {"stat", "open", "opendir", "create", "read", "write", "sync", "close",
                             "rename-noreplace", "rename"}) {
        MINI_CHECK(kinds.count(kind) == 1, kind);
    }
}

// A device keeps its name in every folder on Windows; none is read or written through. Without
// --force, the move into place refuses a name taken since it was looked up.
MINI_TEST(refusals) {
    const struct {
        Args args;
        std::string reason;
        bool raced = false;
    } rows[] = {
        {{"comment", "NUL", "KEEP.bbd"}, "NUL: Not a regular file"},
        {{"comment", "CON", "KEEP.bbd"}, "CON: Not a regular file"},
        {{"to-srm", "--force", "--output", "NUL", "KEEP.bbd"}, "NUL: Not a regular file"},
        {{"to-srm", "--force", "--output", "sub\\CON", "KEEP.bbd"}, "sub\\CON: Not a regular file"},
        {{"to-srm", "sub"}, "sub: Is a directory"},
        {{"to-srm", "--force", "--output", "sub", "KEEP.bbd"}, "sub: Is a directory"},
        {{"to-srm", "--force", "--output", "GAME.srm\\", "KEEP.bbd"},
         "GAME.srm\\: Not a directory"},
        {{"to-bbd", "GAME.srm"}, "GAME.bbd: File exists (use --force to replace it)", true},
    };
    for (const auto& row : rows) {
        Scene scene;
        Files expected = snapshot(scene.root());
        NameTakenMeanwhile raced;
        const Result result = row.raced ? convert(row.args, raced) : convert(row.args);
        if (row.raced) {
            expected["GAME.bbd"] = "made meanwhile";
        }
        MINI_CHECK(result.status == 1, row.reason);
        MINI_CHECK(result.err == "plimbrook-convert: " + row.reason + "\n", result.err);
        MINI_CHECK(snapshot(scene.root()) == expected, row.reason);
    }
}

namespace {

// Starts a command line in the working folder, as cmd.exe would; its output is caught in files.
Result runProgram(std::wstring commandLine) {
    const std::wstring id = std::to_wstring(::GetCurrentProcessId());
    const stdfs::path logs[] = {stdfs::temp_directory_path() / (L"plimbrook-out-" + id),
                                stdfs::temp_directory_path() / (L"plimbrook-err-" + id)};
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE handles[2];
    for (int i = 0; i < 2; ++i) {
        handles[i] = ::CreateFileW(logs[i].c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                   CREATE_ALWAYS, 0, nullptr);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = handles[0];
    startup.hStdError = handles[1];
    PROCESS_INFORMATION process{};
    DWORD status = 999;
    if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                         &startup, &process)) {
        ::WaitForSingleObject(process.hProcess, INFINITE);
        ::GetExitCodeProcess(process.hProcess, &status);
        ::CloseHandle(process.hProcess);
        ::CloseHandle(process.hThread);
    }
    ::CloseHandle(handles[0]);
    ::CloseHandle(handles[1]);
    Result result{static_cast<int>(status), readFile(logs[0]), readFile(logs[1])};
    stdfs::remove(logs[0]);
    stdfs::remove(logs[1]);
    return result;
}

std::wstring ownPath() {
    return *plimbrook::windows::wide(plimbrook::cli::windowsProgramPath());
}

}  // namespace

// The program as a Windows user starts it: a UTF-16 name, wildcards left to it (option values
// excepted), the template beside the .exe, output bytes as they are. Then back again.
MINI_TEST(programOnWindowsCommandLine) {
    Scene scene;
    stdfs::create_directories("prog");
    stdfs::copy_file(stdfs::path(ownPath()).parent_path() / "plimbrook-convert.exe",
                     "prog/plimbrook-convert.exe");
    const Bytes besideExe = marked(pattern(512, 12));
    writeFile("prog/Stuff.dat", besideExe);
    const Bytes zelda = pattern(8 * 1024, 7);
    const std::string zeldaName = "Zelda \xC3\x9F \xE6\x97\xA5\xE6\x9C\xAC";  // ß and 日本
    writeFile(stdfs::path("saves") / u8Path(zeldaName + ".srm"), zelda);
    writeFile("saves/GAME.SRM", kImage);
    writeFile("saves/notes.txt", "not a save");
    writeFile("saves/GAME.srm.bak", "not a save either");
    stdfs::create_directories("bbd");
    stdfs::create_directories("back");
    const std::wstring exe =
        L"\"" + stdfs::absolute("prog/plimbrook-convert.exe").wstring() + L"\" ";

    Result run = runProgram(exe + L"to-bbd --comment \"*\" --output-dir bbd saves\\*.srm");
    MINI_CHECK(run.status == 0 && run.out.empty() && run.err.empty(), run.status << run.err);
    MINI_CHECK(snapshot("bbd") == (Files{{zeldaName + ".bbd", bbd(besideExe, zelda, "*")},
                                         {"GAME.bbd", bbd(besideExe, kImage, "*")}}),
               "bbd");

    // Several files, as the pattern gives them: each comment after its file's name.
    run = runProgram(exe + L"comment bbd\\*.bbd saves\\*.sav");
    MINI_CHECK(run.status == 1 && run.out == "bbd\\GAME.bbd: *\nbbd\\" + zeldaName + ".bbd: *\n",
               run.out);
    MINI_CHECK(run.err == "plimbrook-convert: saves\\*.sav: No such file or directory\n", run.err);

    run = runProgram(exe + L"to-srm --output-dir back bbd\\Z*");
    MINI_CHECK(run.status == 0 && run.err.empty(), run.err);
    MINI_CHECK(snapshot("back") == (Files{{zeldaName + ".srm", zelda}}), "back");
}

// Ended by Ctrl+C, or by exit(), while a replacement is open: the target stays as it was and the
// temporary goes. The handler is called as Windows calls it, in a child that then ends as
// Windows's own handler would: without a console, no console event can be sent here.
MINI_TEST(interruptedReplacementLeavesNothing) {
    for (const std::wstring mode : {L"ctrl-c", L"exit"}) {
        Scene scene;
        const Files before = snapshot(scene.root());
        const Result run = runProgram(L"\"" + ownPath() + L"\" --interrupted " + mode);
        const int expected = mode == L"exit" ? 7 : static_cast<int>(STATUS_CONTROL_C_EXIT);
        MINI_CHECK(run.status == expected, run.status << run.out << run.err);
        MINI_CHECK(snapshot(scene.root()) == before, "a temporary left behind");
    }
}

// Windows also matches short 8.3 names ("GAME~1.SRM" for "GAME.srmx"): each name is checked
// again, which wine, having none, cannot show through the program.
MINI_TEST(wildcardsMatchLongNames) {
    const struct {
        const wchar_t* pattern;
        const wchar_t* name;
        bool matches;
    } rows[] = {
        {L"*.srm", L"GAME.SRM", true},       {L"*.srm", L"GAME.srmx", false},
        {L"?.srm", L"\U0001D11E.srm", true}, {L"??.srm", L"\U0001D11E.srm", false},
        {L"a*b*c", L"aXbYbZc", true},        {L"a*b*c", L"aXbYc.d", false},
    };
    for (const auto& row : rows) {
        MINI_CHECK(plimbrook::cli::matchesWildcard(row.pattern, row.name) == row.matches,
                   plimbrook::windows::utf8(std::wstring(row.pattern) + L" " + row.name));
    }
}

int main() {
    int count = 0;
    wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (count == 3 && std::wstring(args[1]) == L"--interrupted") {
        // The child of interruptedReplacementLeavesNothing, in the scene's folder.
        plimbrook::removeTemporariesOnTermination();
        const auto file = plimbrook::ReplacementFile::open(plimbrook::realFileSystem(), "KEEP.bbd");
        file->write(0,
                    std::span(reinterpret_cast<const std::uint8_t*>(kImage.data()), kImage.size()));
        // The new contents wait under a hidden temporary in the folder.
        bool waiting = false;
        for (const auto& entry : stdfs::directory_iterator(".")) {
            waiting = waiting || entry.path().filename().u8string().find(u8".plimbrook-") !=
                                     std::u8string::npos;
        }
        if (!waiting) {
            return 3;
        }
        if (std::wstring(args[2]) == L"exit") {
            std::exit(7);
        }
        if (plimbrook::windows::onConsoleEvent(CTRL_C_EVENT) != FALSE) {
            return 4;
        }
        ::ExitProcess(STATUS_CONTROL_C_EXIT);
    }
    return plimbrook::testing::mini::runAll();
}
