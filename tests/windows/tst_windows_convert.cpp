// The promises of plimbrook-convert on Windows: every failing file call leaves the target as it
// was and no temporary behind, Ctrl+C removes the temporary, devices and folders are refused,
// and the program takes UTF-16 names and expands its own wildcards. The rows of the Linux
// command-line tests are run against the .exe besides (tst_convert_cli_rows_on_windows).
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "convert_app.h"
#include "failing_file_system.h"
#include "file_access.h"
#include "mini_test.h"
#include "windows_command_line.h"
#include "windows_support.h"

namespace {

namespace stdfs = std::filesystem;
using plimbrook::cli::runConvert;
using plimbrook::testing::FailingFileSystem;
using Bytes = std::string;
using Files = std::map<std::string, Bytes>;  // by name relative to the folder, in UTF-8
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
            const std::u8string name = entry.path().lexically_relative(root).generic_u8string();
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

// A BBD file from the published layout: the header with a 77-character comment at 16, then
// the image four times.
Bytes bbd(Bytes header, const Bytes& image, const Bytes& comment) {
    header.replace(16, 77, (comment + Bytes(77, ' ')).substr(0, 77));
    return header + image + image + image + image;
}

const Bytes kImage = pattern(8 * 1024, 1);
const Bytes kTemplate = pattern(512, 11);
const Bytes kKept = pattern(8 * 1024, 5);
const Bytes kLong = pattern(40'000, 6);
const std::string kDefaultComment = "Enter a Comment and stuff.";

// A fresh folder of saves, the working folder while it lives.
class Scene {
public:
    Scene() {
        wchar_t temp[MAX_PATH + 1];
        ::GetTempPathW(MAX_PATH + 1, temp);
        static int count = 0;
        root_ = stdfs::path(temp) / ("plimbrook-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                     std::to_string(++count));
        stdfs::create_directories(root_ / "sub");
        writeFile(root_ / "GAME.srm", kImage);
        writeFile(root_ / "tmpl.dat", kTemplate);
        writeFile(root_ / "KEEP.bbd", bbd(kTemplate, kKept, "Kept"));
        writeFile(root_ / "LONG.bbd", kLong);
        previous_ = stdfs::current_path();
        stdfs::current_path(root_);
    }
    ~Scene() {
        stdfs::current_path(previous_);
        std::error_code ignored;
        stdfs::remove_all(root_, ignored);
    }
    const stdfs::path& root() const { return root_; }

private:
    stdfs::path root_;
    stdfs::path previous_;
};

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result convert(const Args& args, plimbrook::FileSystem& fs = plimbrook::realFileSystem()) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = runConvert(args, out, err, {"tmpl.dat", fs});
    return {status, out.str(), err.str()};
}

// The conversions swept: a new BBD file, a longer file replaced, a new SRAM save.
struct Sweep {
    Args args;
    std::string output;
    Bytes expected;
};

std::vector<Sweep> sweeps() {
    const Bytes game = bbd(kTemplate, kImage, kDefaultComment);
    return {
        {{"to-bbd", "--template", "tmpl.dat", "GAME.srm"}, "GAME.bbd", game},
        {{"to-bbd", "--force", "--output", "LONG.bbd", "GAME.srm"},
         "LONG.bbd",
         game + kLong.substr(game.size())},
        {{"to-srm", "--output-dir", "sub", "KEEP.bbd"}, "sub/KEEP.srm", kKept},
    };
}

}  // namespace

// Each file call of a conversion fails in turn. Up to the rename, the folder must stay exactly
// as it was and the failure be reported against a name the user gave; after it, only the
// folder's sync and close may fail, unreported, with the new file whole in place.
MINI_TEST(everyFailingCall) {
    std::set<std::string> kinds;
    for (const Sweep& sweep : sweeps()) {
        long calls = 0;
        {
            Scene scene;
            FailingFileSystem counter;
            const Result clean = convert(sweep.args, counter);
            MINI_CHECK(clean.status == 0 && clean.err.empty(), clean.err);
            MINI_CHECK(readFile(scene.root() / sweep.output) == sweep.expected, sweep.output);
            calls = counter.count();
        }
        MINI_CHECK(calls > 10, calls);
        const std::set<std::string> named = {"tmpl.dat", "GAME.srm", "KEEP.bbd", sweep.output,
                                             u8Path(sweep.output).make_preferred().string()};
        for (long n = 1; n <= calls; ++n) {
            Scene scene;
            Files before = snapshot(scene.root());
            FailingFileSystem fs(n, EIO);
            const Result result = convert(sweep.args, fs);
            const std::string call = fs.log()[static_cast<std::size_t>(n - 1)];
            const std::string where = sweep.args[0] + " " + sweep.output + ", call " +
                                      std::to_string(n) + ": " + call + ": " + result.err;
            MINI_CHECK(fs.fired(), where);
            kinds.insert(call.substr(0, call.find(' ')));
            Files after = snapshot(scene.root());
            if (result.status == 0) {
                const std::string folder = sweep.output.starts_with("sub/") ? "sub" : ".";
                MINI_CHECK(call == "sync " + folder + "  <- fails" ||
                               call == "close " + folder + "  <- fails",
                           where);
                MINI_CHECK(result.err.empty(), where);
                MINI_CHECK(after[sweep.output] == sweep.expected, where);
                after.erase(sweep.output);
                before.erase(sweep.output);
            } else {
                const std::string prefix = "plimbrook-convert: ";
                const auto nameEnd = result.err.find(": ", prefix.size());
                MINI_CHECK(result.status == 1 && result.err.starts_with(prefix), where);
                MINI_CHECK(named.count(result.err.substr(prefix.size(), nameEnd - prefix.size())),
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

// A device keeps its name in every folder on Windows; it is never read, nor written through.
MINI_TEST(devicesAndFoldersRefused) {
    const std::vector<std::pair<Args, std::string>> rows = {
        {{"comment", "NUL", "KEEP.bbd"}, "NUL: Not a regular file"},
        {{"comment", "CON", "KEEP.bbd"}, "CON: Not a regular file"},
        {{"to-srm", "--force", "--output", "NUL", "KEEP.bbd"}, "NUL: Not a regular file"},
        {{"to-srm", "--force", "--output", "sub\\CON", "KEEP.bbd"}, "sub\\CON: Not a regular file"},
        {{"to-srm", "sub"}, "sub: Is a directory"},
        {{"to-srm", "--force", "--output", "sub", "KEEP.bbd"}, "sub: Is a directory"},
        {{"to-srm", "--force", "--output", "GAME.srm\\", "KEEP.bbd"},
         "GAME.srm\\: Not a directory"},
    };
    for (const auto& [args, reason] : rows) {
        Scene scene;
        const Files before = snapshot(scene.root());
        const Result result = convert(args);
        const std::string where = reason + ": " + result.err;
        MINI_CHECK(result.status == 1, where);
        MINI_CHECK(result.err == "plimbrook-convert: " + reason + "\n", where);
        MINI_CHECK(snapshot(scene.root()) == before, where);
    }
}

namespace {

// Makes the output's name just before the new file is put there, as a second run may.
class NameTakenMeanwhile : public FailingFileSystem {
public:
    int renameat(int fromDir, const std::string& from, int toDir, const std::string& to,
                 bool replace) override {
        writeFile(u8Path(pathAt(toDir, to)), "made meanwhile");
        return FailingFileSystem::renameat(fromDir, from, toDir, to, replace);
    }
};

}  // namespace

// Without --force, the move into place refuses a name taken since it was looked up.
MINI_TEST(nameTakenMeanwhileIsKept) {
    Scene scene;
    Files expected = snapshot(scene.root());
    expected["GAME.bbd"] = "made meanwhile";
    NameTakenMeanwhile fs;
    const Result result = convert({"to-bbd", "GAME.srm"}, fs);
    MINI_CHECK(result.status == 1, result.status);
    MINI_CHECK(
        result.err == "plimbrook-convert: GAME.bbd: File exists (use --force to replace it)\n",
        result.err);
    MINI_CHECK(snapshot(scene.root()) == expected, "the folder");
}

namespace {

// Runs a command line in `folder`, as cmd.exe would start it; standard output and error are
// caught in files of `logs`.
Result runProgram(const std::wstring& commandLine, const stdfs::path& folder,
                  const stdfs::path& logs) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const auto open = [&](const char* name) {
        return ::CreateFileW((logs / name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    };
    const HANDLE out = open("out");
    const HANDLE err = open("err");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    std::wstring line = commandLine;
    DWORD status = 999;
    if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                         &startup, &process)) {
        ::WaitForSingleObject(process.hProcess, INFINITE);
        ::GetExitCodeProcess(process.hProcess, &status);
        ::CloseHandle(process.hProcess);
        ::CloseHandle(process.hThread);
    }
    ::CloseHandle(out);
    ::CloseHandle(err);
    return {static_cast<int>(status), readFile(logs / "out"), readFile(logs / "err")};
}

std::wstring ownPath() {
    return *plimbrook::windows::wide(plimbrook::cli::windowsProgramPath());
}

}  // namespace

// The program as a Windows user starts it: UTF-16 names, wildcards left to it, the template
// found beside the .exe, output bytes as they are. Then back again: the round trip gives the
// save as it was.
MINI_TEST(programOnWindowsCommandLine) {
    Scene scene;
    Scene logs;
    const stdfs::path prog = scene.root() / "prog";
    stdfs::create_directories(prog);
    // Built beside this test.
    stdfs::copy_file(stdfs::path(ownPath()).parent_path() / "plimbrook-convert.exe",
                     prog / "plimbrook-convert.exe");
    const Bytes besideExe = pattern(512, 12);
    writeFile(prog / "Stuff.dat", besideExe);
    const Bytes zelda = pattern(8 * 1024, 7);
    const std::string zeldaName = "Zelda \xC3\x9F \xE6\x97\xA5\xE6\x9C\xAC";  // ß and 日本
    writeFile(scene.root() / "saves" / u8Path(zeldaName + ".srm"), zelda);
    writeFile(scene.root() / "saves" / "GAME.SRM", kImage);
    writeFile(scene.root() / "saves" / "notes.txt", "not a save");
    writeFile(scene.root() / "saves" / "GAME.srm.bak", "not a save either");
    stdfs::create_directories(scene.root() / "bbd");
    stdfs::create_directories(scene.root() / "back");
    const std::wstring exe = L"\"" + (prog / "plimbrook-convert.exe").wstring() + L"\" ";

    Result run = runProgram(exe + L"to-bbd --comment \"*\" --output-dir bbd saves\\*.srm",
                            scene.root(), logs.root());
    MINI_CHECK(run.status == 0 && run.out.empty() && run.err.empty(), run.status << run.err);
    Files files = snapshot(scene.root() / "bbd");
    MINI_CHECK(files.size() == 2, files.size());
    MINI_CHECK(files[zeldaName + ".bbd"] == bbd(besideExe, zelda, "*"), "Zelda");
    MINI_CHECK(files["GAME.bbd"] == bbd(besideExe, kImage, "*"), "GAME");

    run = runProgram(exe + L"comment bbd\\*.bbd saves\\*.sav", scene.root(), logs.root());
    MINI_CHECK(run.status == 1, run.status);
    MINI_CHECK(run.out == "*\n*\n", run.out);
    MINI_CHECK(run.err == "plimbrook-convert: saves\\*.sav: No such file or directory\n", run.err);

    run = runProgram(exe + L"to-srm --output-dir back bbd\\Z*", scene.root(), logs.root());
    MINI_CHECK(run.status == 0 && run.err.empty(), run.err);
    MINI_CHECK(snapshot(scene.root() / "back") == (Files{{zeldaName + ".srm", zelda}}), "back");
}

// Ended by Ctrl+C, or by exit(), in the middle of a replacement: the target is untouched and
// the temporary gone. The handler is called as Windows calls it, in a child that then ends as
// Windows's own handler ends it: no console event can be sent here without a console.
MINI_TEST(interruptedReplacementLeavesNothing) {
    for (const std::wstring mode : {L"ctrl-c", L"exit"}) {
        Scene scene;
        Scene logs;
        const Files before = snapshot(scene.root());
        const Result run = runProgram(L"\"" + ownPath() + L"\" --interrupted " + mode + L" \"" +
                                          scene.root().wstring() + L"\"",
                                      scene.root(), logs.root());
        const int expected = mode == L"exit" ? 7 : static_cast<int>(STATUS_CONTROL_C_EXIT);
        MINI_CHECK(run.status == expected, run.status << run.out << run.err);
        MINI_CHECK(snapshot(scene.root()) == before, "a temporary left behind");
    }
}

MINI_TEST(wildcardsMatchAsWindowsNames) {
    const struct {
        std::wstring pattern;
        std::wstring name;
        bool matches;
    } rows[] = {
        {L"*.srm", L"Zelda \u00DF \u65E5\u672C.srm", true},
        {L"*.srm", L"GAME.SRM", true},
        {L"*.srm", L"GAME.srmx", false},
        {L"*.srm", L"srm", false},
        {L"?.srm", L"\u00DF.srm", true},
        {L"?.srm", L"\U0001D11E.srm", true},  // one character, two UTF-16 units
        {L"??.srm", L"\U0001D11E.srm", false},
        {L"a*b*c", L"aXbYbZc", true},
        {L"a*b*c", L"aXbYc.d", false},
        {L"x?", L"x", false},
    };
    for (const auto& row : rows) {
        MINI_CHECK(plimbrook::cli::matchesWildcard(row.pattern, row.name) == row.matches,
                   plimbrook::windows::utf8(row.pattern + L" " + row.name));
    }
}

namespace {

// The child of interruptedReplacementLeavesNothing: a replacement open, its temporary made.
int interruptedChild(const std::wstring& mode, const std::wstring& folder) {
    ::SetCurrentDirectoryW(folder.c_str());
    plimbrook::removeTemporariesOnTermination();
    const auto file = plimbrook::ReplacementFile::open(plimbrook::realFileSystem(), "KEEP.bbd");
    file->write(0, std::span(reinterpret_cast<const std::uint8_t*>(kImage.data()), kImage.size()));
    if (file->temporaryPath().empty() || !stdfs::exists(u8Path(file->temporaryPath()))) {
        return 3;
    }
    if (mode == L"exit") {
        std::exit(7);
    }
    if (plimbrook::windows::onConsoleEvent(CTRL_C_EVENT) != FALSE) {
        return 4;
    }
    ::ExitProcess(STATUS_CONTROL_C_EXIT);
}

}  // namespace

int main(int argc, char** argv) {
    int count = 0;
    wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (count == 4 && std::wstring(args[1]) == L"--interrupted") {
        return interruptedChild(args[2], args[3]);
    }
    return plimbrook::testing::mini::runAll(argc, argv);
}
