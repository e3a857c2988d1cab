# What the mingw-w64 cross builds share (Debian's mingw-w64, posix threads);
# included by the toolchain file of each bitness, which sets
# CMAKE_SYSTEM_PROCESSOR and DORVANE_MINGW_TRIPLE first.
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-<cpu>.cmake -DDORVANE_MINGW_PREFIX=<deps>
# DORVANE_MINGW_PREFIX is where scripts/windows installed the static
# libraries built for that triple (SQLite, libzip, pugixml, GoogleTest).
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${DORVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DORVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${DORVANE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${DORVANE_MINGW_TRIPLE} ${DORVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static archives only: every file imports only the system's own DLLs.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)

# The C++ runtime, libgcc and winpthreads linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Programs run under Wine in the tests (wine64 runs 32-bit programs too, in
# a prefix with 32-bit Wine).
find_program(DORVANE_WINE64 wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
set(CMAKE_CROSSCOMPILING_EMULATOR ${DORVANE_WINE64})
