#include "cli/windows_command_line.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "cli/convert_options.h"
#include "core/files/windows_support.h"

namespace plimbrook::cli {

namespace {

using windows::utf8;
using windows::wide;

bool sameIgnoringCase(const wchar_t* a, int aLength, const wchar_t* b, int bLength) {
    return ::CompareStringOrdinal(a, aLength, b, bLength, TRUE) == CSTR_EQUAL;
}

// The length of the character at `at`: two for a surrogate pair, so that ? takes it whole.
std::size_t characterLength(std::wstring_view text, std::size_t at) {
    const bool pair =
        at + 1 < text.size() && IS_HIGH_SURROGATE(text[at]) && IS_LOW_SURROGATE(text[at + 1]);
    return pair ? 2 : 1;
}

bool hasWildcard(std::string_view text) {
    return text.find_first_of("*?") != std::string_view::npos;
}

// FindFirstFileW also matches the short 8.3 names Windows keeps beside the long ones, so
// "*.srm" would find "GAME.srmx" by its short name "GAME~1.SRM": each name is checked again.
std::vector<std::string> matchesOf(const std::string& arg) {
    const auto slash = arg.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "" : arg.substr(0, slash + 1);
    const auto pattern = wide(arg.substr(folder.size()));
    const auto whole = wide(arg);
    if (hasWildcard(folder) || !pattern || !whole) {
        return {};
    }
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileExW(whole->c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        return {};
    }
    do {
        const std::wstring_view name = found.cFileName;
        const bool hidden =
            (found.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
        if (name != L"." && name != L".." && !hidden && matchesWildcard(*pattern, name)) {
            names.emplace_back(name);
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);

    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        const int order = ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                                 static_cast<int>(b.size()), TRUE);
        return order == CSTR_LESS_THAN || (order == CSTR_EQUAL && a < b);
    });
    std::vector<std::string> paths;
    for (const std::wstring& name : names) {
        paths.push_back(folder + utf8(name));
    }
    return paths;
}

UINT consoleCodePage = 0;

void restoreConsole() {
    ::SetConsoleOutputCP(consoleCodePage);
}

// Started from Explorer, the program has a console window of its own, which closes with it. A
// Command Prompt shares its console, and a program started with no window at all has none: they
// neither want to nor could answer a key.
bool aloneInOwnConsoleWindow() {
    DWORD processes[2];
    return ::GetConsoleProcessList(processes, 2) == 1 && ::GetConsoleWindow() != nullptr;
}

// The console's own keyboard, whatever standard input is.
void waitForKey() {
    std::fputs("\nPress any key to close this window.\n", stdout);
    std::fflush(stdout);
    const HANDLE input =
        ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (input == INVALID_HANDLE_VALUE) {
        return;
    }
    ::FlushConsoleInputBuffer(input);
    INPUT_RECORD record{};
    DWORD read = 0;
    while (::ReadConsoleInputW(input, &record, 1, &read) && read == 1) {
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) {
            break;
        }
    }
    ::CloseHandle(input);
}

}  // namespace

std::vector<std::string> utf8Arguments(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        std::string arg = utf8(argv[i]);
        options = options && arg != "--";
        // As for Windows's own commands.
        if (options && arg == "/?") {
            arg = "--help";
        }
        args.push_back(std::move(arg));
    }
    if (args.empty() && aloneInOwnConsoleWindow()) {
        // A double-click: rather than flash an error in a window that closes at once, the help
        // stays on the screen until it has been read.
        args.push_back("--help");
        std::atexit(waitForKey);
    }
    return args;
}

std::vector<std::string> expandWildcards(const std::vector<std::string>& args) {
    ConvertOptions options;
    try {
        options = parseOptions(args);
    } catch (const UsageError&) {
        return args;  // reported as it stands
    }
    std::vector<bool> isFile(args.size());
    for (const std::size_t position : options.inputPositions) {
        isFile[position] = true;
    }
    std::vector<std::string> expanded;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const auto slash = args[i].find_last_of("/\\");
        const std::string_view last =
            std::string_view(args[i]).substr(slash == std::string::npos ? 0 : slash + 1);
        std::vector<std::string> matches;
        if (isFile[i] && hasWildcard(last)) {
            matches = matchesOf(args[i]);
        }
        if (matches.empty()) {
            expanded.push_back(args[i]);
        } else {
            expanded.insert(expanded.end(), matches.begin(), matches.end());
        }
    }
    return expanded;
}

bool matchesWildcard(std::wstring_view pattern, std::wstring_view name) {
    // Greedy with one step back: a later * makes retrying an earlier one needless.
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t star = std::wstring_view::npos;
    std::size_t resume = 0;
    while (n < name.size()) {
        const std::size_t length = characterLength(name, n);
        if (p < pattern.size() && pattern[p] == L'*') {
            star = p++;
            resume = n;
        } else if (p < pattern.size() && pattern[p] == L'?') {
            ++p;
            n += length;
        } else if (p < pattern.size() &&
                   sameIgnoringCase(&pattern[p], static_cast<int>(characterLength(pattern, p)),
                                    &name[n], static_cast<int>(length))) {
            p += characterLength(pattern, p);
            n += length;
        } else if (star != std::wstring_view::npos) {
            p = star + 1;
            resume += characterLength(name, resume);
            n = resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') {
        ++p;
    }
    return p == pattern.size();
}

std::string windowsProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::string();
        }
        if (length < path.size()) {
            path.resize(length);
            return utf8(path);
        }
        path.resize(path.size() * 2);
    }
}

void prepareConsole() {
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    const UINT codePage = ::GetConsoleOutputCP();
    if (codePage != 0 && codePage != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8)) {
        consoleCodePage = codePage;
        std::atexit(restoreConsole);
    }
}

}  // namespace plimbrook::cli
