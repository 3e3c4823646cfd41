# GoogleTest and CTest for this project, and kestrel_add_gtest().
#
#   kestrel_add_gtest(NAME <name> SOURCES <files...> LIBS <targets...> [ENV <K=V>...])
#
# Builds the test program <name> (in ${CMAKE_BINARY_DIR}/bin, next to the
# programs it may start) linked with GoogleTest's gtest_main and LIBS. When
# KESTREL_RUN_TESTS is on it is registered as ONE CTest test named <name>:
# it runs in ${CMAKE_BINARY_DIR}/bin with KESTREL_TIME_SCALE=0.01 plus the ENV
# entries (later entries win, so ENV can override the time scale). Windows
# builds run it through CMAKE_CROSSCOMPILING_EMULATOR, i.e. under wine.

include_guard(GLOBAL)

# Under wine every process start and socket round trip costs several times
# what it costs natively, and slower machines double that again: the Windows
# test programs get three times the native limit.
if(CMAKE_CROSSCOMPILING)
  set(kestrel_default_timeout 900)
else()
  set(kestrel_default_timeout 300)
endif()
set(KESTREL_TEST_TIMEOUT ${kestrel_default_timeout} CACHE STRING
    "CTest timeout of one test program, in seconds")

enable_testing()

if(KESTREL_WINDOWS)
  include(${CMAKE_CURRENT_LIST_DIR}/KestrelGoogleTest.cmake)
else()
  find_package(GTest REQUIRED)
endif()

# Windows test programs run under wine, in a wine prefix of this build's own.
if(KESTREL_WINDOWS AND KESTREL_RUN_TESTS AND CMAKE_CROSSCOMPILING
   AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(KESTREL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${KESTREL_WINEPREFIX})
endif()

# Sanitized builds: a report ends the program with a failure, with its stack,
# in the test program and in every program it starts.
if(KESTREL_SANITIZE)
  set(KESTREL_SANITIZER_ENV
      "ASAN_OPTIONS=abort_on_error=0:halt_on_error=1:detect_leaks=1:exitcode=86"
      "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:exitcode=87")
endif()

function(kestrel_add_gtest)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "NAME" "SOURCES;LIBS;ENV")
  if(arg_UNPARSED_ARGUMENTS OR arg_KEYWORDS_MISSING_VALUES)
    message(FATAL_ERROR "kestrel_add_gtest: unexpected arguments "
                        "${arg_UNPARSED_ARGUMENTS} ${arg_KEYWORDS_MISSING_VALUES}")
  endif()
  if(NOT arg_NAME OR NOT arg_SOURCES)
    message(FATAL_ERROR "kestrel_add_gtest: NAME and SOURCES are required")
  endif()

  add_executable(${arg_NAME} ${arg_SOURCES})
  target_link_libraries(${arg_NAME} PRIVATE GTest::gtest_main ${arg_LIBS})

  if(KESTREL_RUN_TESTS)
    add_test(NAME ${arg_NAME} COMMAND ${arg_NAME}
             WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
    set(environment KESTREL_TIME_SCALE=0.01 ${KESTREL_SANITIZER_ENV} ${arg_ENV})
    set_tests_properties(${arg_NAME} PROPERTIES
      ENVIRONMENT "${environment}"
      TIMEOUT ${KESTREL_TEST_TIMEOUT})
  endif()
endfunction()
