# Shared part of the mingw-w64 toolchain files. The including file sets
# KESTREL_MINGW_TRIPLE (x86_64-w64-mingw32 or i686-w64-mingw32) and
# CMAKE_SYSTEM_PROCESSOR first.
#
# Debian ships two thread models of each cross compiler; the "-posix" one
# (winpthreads) is the one whose libstdc++ has std::thread and std::mutex.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)   # Windows 7

set(CMAKE_C_COMPILER   ${KESTREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${KESTREL_MINGW_TRIPLE}-windres)

# Libraries, headers and packages come from the mingw sysroot only; build
# tools (programs) are the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${KESTREL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
