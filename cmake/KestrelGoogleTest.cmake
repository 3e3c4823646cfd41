# GoogleTest for the Windows builds: Debian's googletest sources, compiled
# with the cross compiler as part of this build (nothing is installed).
# Provides the same target names as find_package(GTest) does natively:
# GTest::gtest, GTest::gtest_main, GTest::gmock, GTest::gmock_main.

include_guard(GLOBAL)

set(KESTREL_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH
    "GoogleTest sources built for cross builds (Debian package googletest)")
if(NOT EXISTS ${KESTREL_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${KESTREL_GOOGLETEST_SOURCE_DIR} "
                      "(install the googletest package: scripts/setup)")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_build_tests OFF CACHE BOOL "" FORCE)
set(gtest_build_samples OFF CACHE BOOL "" FORCE)
# Only meaningful for MSVC runtimes; with mingw both sides share one runtime.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)

# EXCLUDE_FROM_ALL: only the libraries a test links are compiled.
# SYSTEM: its headers never produce warnings in our test code.
add_subdirectory(${KESTREL_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_deps/googletest
                 EXCLUDE_FROM_ALL SYSTEM)

foreach(lib IN ITEMS gtest gtest_main gmock gmock_main)
  # Third-party code: its own warning set is not ours to fix.
  target_compile_options(${lib} PRIVATE -w)
  if(NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()
