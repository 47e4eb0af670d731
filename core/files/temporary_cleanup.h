#pragma once

#include <string>
#include <string_view>

namespace plimbrook {

// Makes a program ended by SIGTERM, SIGHUP, SIGINT, SIGQUIT or exit() first remove the named
// temporaries of replacements not yet committed; the target files are untouched either way.
// Also makes a file-size limit an ordinary write failure instead of a silent death by SIGXFSZ.
// On Windows, Ctrl+C, Ctrl+Break and a closed console window do the same as the signals.
// Call once at start.
void removeTemporariesOnTermination();

// Prefix of the temporary files, so a test or a user can recognise strays.
inline constexpr const char* kTemporaryMarker = ".plimbrook-";

// The clean-up list itself: a named temporary is listed before it is created and forgotten once
// it is renamed or removed. `rememberPending` gives the slot to forget, or -1 when the list is
// full or the name too long, in which case only a signal can leave the file behind.
int rememberPending(int dir, const std::string& name);
void forgetPending(int slot);

// Six hex digits from a computer's name, for temporaryName().
std::string machineMark(std::string_view computerName);

// How many named temporaries the list holds at once: a batch that keeps more uncommitted than
// this would leave the rest behind on a signal.
#ifdef _WIN32
inline constexpr int kPendingSlots = 64;  // whole paths there, of up to 4,096 wide characters
#else
inline constexpr int kPendingSlots = 4096;
#endif

}  // namespace plimbrook
