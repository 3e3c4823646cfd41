# The installation folders (GNUInstallDirs), with the library folder of
# Debian and Ubuntu: lib/<multiarch triplet> whatever the prefix
# (GNUInstallDirs picks it only for the prefix /usr, and the prefix of a
# package is only known when the package is made).
#
# Included by the top level right after KestrelOptions, before any part or
# third-party code can include GNUInstallDirs with its own choice.
include_guard(GLOBAL)

if(NOT WIN32 AND CMAKE_LIBRARY_ARCHITECTURE AND NOT DEFINED CACHE{CMAKE_INSTALL_LIBDIR})
  set(CMAKE_INSTALL_LIBDIR "lib/${CMAKE_LIBRARY_ARCHITECTURE}" CACHE PATH "Object code libraries (LIBDIR)")
endif()
include(GNUInstallDirs)
