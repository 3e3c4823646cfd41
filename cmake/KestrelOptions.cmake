# Project-wide settings: language level, build type, output folders, the
# KESTREL_* switches, Windows target settings and warning flags.
#
# Included by the top-level CMakeLists.txt right after project(). The warning
# flags are added by kestrel_enable_warnings(), which the top level calls once
# third-party code (GoogleTest) has been brought in, so -Werror only ever
# applies to this project's own targets.

include_guard(GLOBAL)

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING
      "Build type (Debug, Release, RelWithDebInfo, MinSizeRel)" FORCE)
endif()

set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_C_STANDARD 11)
set(CMAKE_C_STANDARD_REQUIRED ON)

# Programs and shared libraries (DLLs are RUNTIME output on Windows, .so files
# LIBRARY output on Linux) all land in one folder, so a program finds its
# siblings (kestrel-simd, the firmware images, oryx.dll) next to itself.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)

# KESTREL_WINDOWS: building Windows programs (the win64 and win32 presets).
if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  set(KESTREL_WINDOWS ON)
else()
  set(KESTREL_WINDOWS OFF)
endif()

# KESTREL_RUN_TESTS: register the test programs with CTest. Off by default
# for 32-bit Windows, whose programs cannot be started on this kind of host.
if(KESTREL_WINDOWS AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(kestrel_run_tests_default OFF)
else()
  set(kestrel_run_tests_default ON)
endif()
option(KESTREL_RUN_TESTS "Register the test programs with CTest" ${kestrel_run_tests_default})

# KESTREL_WERROR: warnings are errors. Defaults to on under CI, and a CI
# environment at configure time always turns it on.
set(kestrel_ci "$ENV{CI}")
string(TOLOWER "${kestrel_ci}" kestrel_ci)
if(kestrel_ci STREQUAL "" OR kestrel_ci MATCHES "^(0|false|no|off)$")
  set(kestrel_ci OFF)
else()
  set(kestrel_ci ON)
endif()
option(KESTREL_WERROR "Treat compiler warnings as errors" ${kestrel_ci})
if(KESTREL_WERROR OR kestrel_ci)
  set(KESTREL_WARNINGS_AS_ERRORS ON)
else()
  set(KESTREL_WARNINGS_AS_ERRORS OFF)
endif()

if(KESTREL_WINDOWS)
  # Windows 7 API level. UNICODE stays undefined: the code calls the ANSI
  # (...A) functions explicitly.
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601)

  # Link libgcc, libstdc++ and winpthreads into every program and DLL, so
  # nothing but system DLLs is needed next to them.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

# KESTREL_SANITIZE: AddressSanitizer and UndefinedBehaviorSanitizer on every
# target of a native build, with no recovery: the first report ends the
# program with a failure (the asan preset).
option(KESTREL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(KESTREL_SANITIZE)
  if(KESTREL_WINDOWS)
    message(FATAL_ERROR "KESTREL_SANITIZE is for native builds")
  endif()
  set(kestrel_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=all
      -fno-omit-frame-pointer)
  add_compile_options(${kestrel_sanitize_flags})
  add_link_options(${kestrel_sanitize_flags})
  # The instrumentation makes g++ 12 see uninitialised members inside the
  # standard library (std::function in std::regex) that are not there.
  add_compile_options(-Wno-maybe-uninitialized)
endif()

function(kestrel_enable_warnings)
  add_compile_options(-Wall -Wextra)
  if(KESTREL_WARNINGS_AS_ERRORS)
    add_compile_options(-Werror)
  endif()
endfunction()

message(STATUS "Kestrel: ${CMAKE_SYSTEM_NAME} ${CMAKE_SYSTEM_PROCESSOR}, ${CMAKE_BUILD_TYPE}, "
               "tests run: ${KESTREL_RUN_TESTS}, warnings as errors: ${KESTREL_WARNINGS_AS_ERRORS}, "
               "sanitizers: ${KESTREL_SANITIZE}")
