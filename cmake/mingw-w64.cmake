# Cross build for 64-bit Windows with Debian's mingw-w64 compilers:
#   cmake -S . -B build-windows -G Ninja --toolchain cmake/mingw-w64.cmake
# Everything below the window builds (Qt for Windows is not packaged here), and
# the tests run under Wine through CTest.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BRONTAFLEX_MINGW x86_64-w64-mingw32)
# The posix thread model: the win32 one of GCC 12 has no std::thread or std::mutex.
set(CMAKE_C_COMPILER ${BRONTAFLEX_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRONTAFLEX_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${BRONTAFLEX_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BRONTAFLEX_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs carry their C++ and thread runtimes, so a bare Windows runs them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Wine runs the tests, in a prefix of the build's own so that nothing is shared
# with the user's, quiet, and with UTF-8 argument and file names.
find_program(BRONTAFLEX_WINE NAMES wine64 wine PATHS /usr/lib/wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${CMAKE_BINARY_DIR}/wine WINEDEBUG=-all
                                  LANG=C.UTF-8 ${BRONTAFLEX_WINE})
# The tests are listed when CTest runs, not by starting Wine during the build.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
set(BRONTAFLEX_WINDOW OFF CACHE BOOL "Build the window (needs Qt 6 for the target)")
