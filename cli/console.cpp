#include "cli/console.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include <cstdio>
#else
#include <unistd.h>
#endif

namespace plimbrook::cli {

bool standardErrorIsTerminal() {
#ifdef _WIN32
    DWORD mode = 0;
    return ::_isatty(::_fileno(stderr)) != 0 &&
           ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
#else
    return ::isatty(STDERR_FILENO) == 1;
#endif
}

}  // namespace plimbrook::cli
