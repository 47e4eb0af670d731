// The clean-up of temporaries on Windows: Ctrl+C, Ctrl+Break, a closed console window, logoff
// and shutdown reach a console program as console events, handled in a thread of their own.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <string_view>

#include "core/files/file_system.h"
#include "core/files/temporary_cleanup.h"
#include "core/files/temporary_names.h"
#include "core/files/windows_support.h"

namespace plimbrook {

namespace {

// Whole paths, as the handler cannot ask the file system for a folder's, in fixed storage
// filled before the file exists.
constexpr std::size_t kPathCapacity = 4096;
wchar_t pendingPaths[kPendingSlots][kPathCapacity];
std::atomic<bool> pendingUsed[kPendingSlots];

void removePending() {
    for (int slot = 0; slot < kPendingSlots; ++slot) {
        if (pendingUsed[slot].load()) {
            // An open file is removed once its last handle closes, at the latest as the
            // process ends: the program opens its files sharing deletion.
            ::DeleteFileW(pendingPaths[slot]);
            pendingUsed[slot].store(false);
        }
    }
}

}  // namespace

long thisRun() {
    return static_cast<long>(::GetCurrentProcessId());
}

bool runIsAlive(long run) {
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(run));
    if (!process) {
        // Refused, the process is there but not ours to look at.
        return ::GetLastError() == ERROR_ACCESS_DENIED;
    }
    const bool alive = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return alive;
}

std::string_view thisMachine() {
    static const std::string mark = [] {
        wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
        DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
        ::GetComputerNameW(name, &size);
        return machineMark(windows::utf8(std::wstring_view(name, size)));
    }();
    return mark;
}

BOOL WINAPI windows::onConsoleEvent(DWORD) {
    // Kept to the end: a file the program is creating now is finished first and then removed,
    // and no other is begun.
    ::AcquireSRWLockExclusive(&creationLock());
    removePending();
    return FALSE;
}

int rememberPending(int dir, const std::string& name) {
    const auto wideName = windows::wide(name);
    std::wstring path = windows::folderPath(dir);
    if (!wideName || path.empty()) {
        return -1;
    }
    if (path.back() != L'\\' && path.back() != L'/') {
        path += L'\\';
    }
    path += *wideName;
    if (path.size() >= kPathCapacity) {
        return -1;
    }
    for (int slot = 0; slot < kPendingSlots; ++slot) {
        if (!pendingUsed[slot].load()) {
            std::wmemcpy(pendingPaths[slot], path.c_str(), path.size() + 1);
            pendingUsed[slot].store(true);
            return slot;
        }
    }
    return -1;
}

void forgetPending(int slot) {
    if (slot >= 0) {
        pendingUsed[slot].store(false);
    }
}

void removeTemporariesOnTermination() {
    static bool installed = false;
    if (installed) {
        return;
    }
    installed = true;
    std::atexit(removePending);
    ::SetConsoleCtrlHandler(windows::onConsoleEvent, TRUE);
}

}  // namespace plimbrook
