# 32-bit Windows (i686) with Debian's mingw-w64 cross compiler, POSIX threads.
set(KESTREL_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
