# Cross-building 64-bit Windows console programs on Debian with MinGW-w64. The -posix variant of
# the compilers is named explicitly: the -win32 one has no std::thread or std::mutex, and the
# unsuffixed names point to it when both are installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Only system DLLs are imported: the C++ runtime and the threads library are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests run under Wine (WINEPREFIX and the other Wine settings come from the environment).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
