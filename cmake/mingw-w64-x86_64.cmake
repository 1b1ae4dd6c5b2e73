# Cross-compiling the Windows programs with Debian's MinGW-w64 (posix thread model, so that
# std::thread and std::mutex work):
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TN_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${TN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TN_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} /usr/${TN_MINGW_TRIPLE}/lib/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Tests run under wine through this wrapper (a private prefix, see tools/wine-run.sh).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh)
