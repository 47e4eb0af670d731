#pragma once

// What the Windows file system and the clean-up of its temporaries share. Names are UTF-8
// everywhere in the program and UTF-16 only at the Windows API.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "core/files/file_system.h"

namespace plimbrook::windows {

// Nothing if `text` is not well-formed UTF-8, as no file can have such a name.
std::optional<std::wstring> wide(std::string_view text);
std::string utf8(std::wstring_view text);

// The errno that says what a Windows error code says.
int errnoOf(DWORD error);

bool isSeparator(wchar_t c);
bool isAbsolute(const std::wstring& path);
// The whole path, from the drive or share; `path` itself where Windows will not say.
std::wstring fullPathOf(const std::wstring& path);
// What `handle`'s file is, as stat() would say; -1 with errno set on failure.
int fill(HANDLE handle, FileStatus& info);
// What stat() says of `path`, opened for its attributes alone: that reads nothing from the file
// and blocks on nothing, a device or a pipe included.
int statPath(std::wstring path, FileStatus& info);
// Names that Windows keeps for devices in every folder, whatever follows a dot.
bool isDeviceName(std::wstring_view path);

// The full path of a folder that the real file system holds open; the working folder's for
// kWorkingFolder; empty for anything else.
std::wstring folderPath(int dir);

// Held while a file is created and from the moment a console event starts removing the
// temporaries: on Windows the handler runs in a thread of its own, and must not miss a file
// that the program is making at that very moment.
SRWLOCK& creationLock();

// The console handler: removes the temporaries not yet put in place, then lets the event end
// the program as it would have.
BOOL WINAPI onConsoleEvent(DWORD event);

}  // namespace plimbrook::windows
