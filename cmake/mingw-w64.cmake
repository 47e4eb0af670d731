# Cross-builds plimbrook-convert for 64-bit Windows with Debian's MinGW-w64 (the POSIX-threads
# flavour, whose C++ runtime links statically), and runs what it builds, the tests and the
# generator of Stuff.dat, under wine64:
#   cmake -S . -B out/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Wine keeps its Windows installation (the prefix) in the build tree, made on first use; it says
# nothing of its own unless something is wrong; and it reads file names and arguments as UTF-8
# whatever the caller's locale. Mono and Gecko are not wanted: nothing here is .NET or HTML.
find_program(PLIMBROOK_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(PLIMBROOK_WINE64 NAMES wine64 REQUIRED)
set(PLIMBROOK_WINE_PREFIX "${CMAKE_BINARY_DIR}/wine-prefix")
set(CMAKE_CROSSCOMPILING_EMULATOR
    /usr/bin/env "WINEPREFIX=${PLIMBROOK_WINE_PREFIX}" WINEDEBUG=-all
    "WINEDLLOVERRIDES=mscoree,mshtml=" LC_ALL=C.UTF-8 "${PLIMBROOK_WINE64}")
