# KESTREL_FUZZ: the libFuzzer targets of fuzz/ (the fuzz preset, clang only).
#
# Every target of the build gets AddressSanitizer and UndefinedBehaviorSanitizer
# with no recovery, and the coverage instrumentation libFuzzer reads
# (-fsanitize=fuzzer-no-link); only the fuzz targets themselves link
# libFuzzer's driver (-fsanitize=fuzzer), through kestrel_add_fuzzer():
#
#   kestrel_add_fuzzer(NAME <name> SOURCES <files...> LIBS <targets...>)
#
# builds ${CMAKE_BINARY_DIR}/bin/fuzz_<name> and makes it part of the
# kestrel_fuzzers target, which the fuzz build preset builds.

include_guard(GLOBAL)

option(KESTREL_FUZZ "Build the libFuzzer targets in fuzz/ (clang)" OFF)

if(KESTREL_FUZZ)
  if(KESTREL_WINDOWS)
    message(FATAL_ERROR "KESTREL_FUZZ is for native builds")
  endif()
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang" OR NOT CMAKE_C_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KESTREL_FUZZ needs clang (libFuzzer): use the fuzz preset")
  endif()
  if(KESTREL_SANITIZE)
    message(FATAL_ERROR "KESTREL_FUZZ brings its own sanitizers; leave KESTREL_SANITIZE off")
  endif()
  set(kestrel_fuzz_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all
      -fno-omit-frame-pointer)
  add_compile_options(-fsanitize=fuzzer-no-link ${kestrel_fuzz_sanitizers})
  add_link_options(${kestrel_fuzz_sanitizers})
  add_custom_target(kestrel_fuzzers)
  # The warning gate is the g++ builds'; clang's own extra diagnostics
  # (unused private fields, ...) do not stop a fuzz build.
  set(KESTREL_WARNINGS_AS_ERRORS OFF)
endif()

function(kestrel_add_fuzzer)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "NAME" "SOURCES;LIBS")
  if(arg_UNPARSED_ARGUMENTS OR NOT arg_NAME OR NOT arg_SOURCES)
    message(FATAL_ERROR "kestrel_add_fuzzer: NAME and SOURCES are required "
                        "(unexpected: ${arg_UNPARSED_ARGUMENTS})")
  endif()
  add_executable(fuzz_${arg_NAME} ${arg_SOURCES})
  target_link_libraries(fuzz_${arg_NAME} PRIVATE ${arg_LIBS})
  target_link_options(fuzz_${arg_NAME} PRIVATE -fsanitize=fuzzer)
  add_dependencies(kestrel_fuzzers fuzz_${arg_NAME})
endfunction()
