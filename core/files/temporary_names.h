#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/files/file_system.h"

namespace plimbrook {

// The one place that names temporaries. The name says whose it is, so that a later run can tell
// one that a killed run left behind from one that a run still alive is writing:
// ".NAME.plimbrook-MACHINE-PID-RANDOM", where MACHINE is a short mark of this computer's name
// (a folder on a network share is seen from several) and RANDOM keeps two of one run apart.
std::string temporaryName(const std::string& target);

// The process that made the temporary `name`, if this computer made it; nothing for any other
// name.
std::optional<long> runOfTemporary(std::string_view name);

// Removes from the folder the temporaries of runs of this computer that are no longer alive, so
// that a run killed outright (SIGKILL, a power cut) costs the card no more than until the next
// run writes there. What cannot be listed or removed is left.
void removeDeadRunsTemporaries(FileSystem& fs, int dir);

// This process, whether a process is alive, and this computer's mark: each system's own.
long thisRun();
bool runIsAlive(long run);
std::string_view thisMachine();

}  // namespace plimbrook
