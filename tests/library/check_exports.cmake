# Compares the export table of a built shared library with a list of names.
#
#   cmake -DTOOL=<nm|objdump> -DFORMAT=<elf|pe> -DLIBRARY=<file>
#         -DEXPECTED=<list file> -P check_exports.cmake
#
# elf: TOOL is nm. The exports are the dynamic symbols the library defines
#      (nm -D --defined-only); each must be a function (type T).
# pe:  TOOL is the toolchain's objdump. The exports are the names of the
#      export table (objdump -p); the table must name the library's own file
#      and every entry must have a name (no export by ordinal only).
#
# The list file holds one name a line; lines starting with # are comments.
# The names must match exactly: a decorated name (_usbcInit, usbcInit@0, a
# C++ mangled name) counts as both a missing and an unexpected export. Every
# difference is printed on a line of its own ("check_exports: missing NAME",
# "check_exports: unexpected NAME", ...), then the script ends with an error.
cmake_minimum_required(VERSION 3.25)

foreach(var IN ITEMS TOOL FORMAT LIBRARY EXPECTED)
  if(NOT ${var})
    message(FATAL_ERROR "check_exports: ${var} is not set")
  endif()
endforeach()
if(NOT EXISTS "${LIBRARY}")
  message(FATAL_ERROR "check_exports: no library ${LIBRARY}")
endif()

set(problems "")

# run(OUT ARGS...): the tool's standard output, split into lines. Square
# brackets become angle brackets so that CMake's list splitting ignores them.
function(run out)
  execute_process(COMMAND "${TOOL}" ${ARGN} "${LIBRARY}"
                  OUTPUT_VARIABLE text ERROR_VARIABLE errors RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "check_exports: ${TOOL} failed (${result}): ${errors}")
  endif()
  string(REPLACE "[" "<" text "${text}")
  string(REPLACE "]" ">" text "${text}")
  string(REPLACE ";" "," text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

macro(problem text)
  list(APPEND problems "${text}")
endmacro()

set(found "")
if(FORMAT STREQUAL "elf")
  run(lines -D --defined-only)
  foreach(line IN LISTS lines)
    if(line STREQUAL "")
      continue()
    endif()
    if(NOT line MATCHES "^[0-9a-fA-F]+ ([A-Za-z]) ([^ @]+)(@.*)?$")
      problem("unreadable nm line '${line}'")
      continue()
    endif()
    list(APPEND found "${CMAKE_MATCH_2}")
    if(NOT CMAKE_MATCH_1 STREQUAL "T")
      problem("${CMAKE_MATCH_2} is not a function (type ${CMAKE_MATCH_1})")
    endif()
  endforeach()
elseif(FORMAT STREQUAL "pe")
  run(lines -p)
  set(in_names FALSE)
  set(seen_table FALSE)
  set(address_entries "")
  set(named_entries "")
  foreach(line IN LISTS lines)
    if(in_names)
      if(line MATCHES "^[ \t]*<[ 0-9]+> (.*)$")
        # The name is the last word (newer objdumps put more before it).
        string(REGEX MATCH "[^ \t]+$" name "${CMAKE_MATCH_1}")
        list(APPEND found "${name}")
        continue()
      endif()
      set(in_names FALSE)
    endif()
    if(line MATCHES "^Name[ \t]+[0-9a-fA-F]+ (.+)$")
      get_filename_component(file "${LIBRARY}" NAME)
      string(TOLOWER "${CMAKE_MATCH_1}" named)
      string(TOLOWER "${file}" file)
      if(NOT named STREQUAL file)
        problem("the export table names ${CMAKE_MATCH_1}, not ${file}")
      endif()
    elseif(line MATCHES "^[ \t]*Export Address Table[ \t]+([0-9a-fA-F]+)$" AND address_entries STREQUAL "")
      set(address_entries "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^[ \t]*<Name Pointer/Ordinal> Table[ \t]+([0-9a-fA-F]+)$")
      set(named_entries "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^[ \t]*<Ordinal/Name Pointer> Table")
      set(in_names TRUE)
      set(seen_table TRUE)
    endif()
  endforeach()
  if(NOT seen_table)
    problem("no export table")
  elseif(NOT address_entries STREQUAL named_entries)
    problem("${address_entries} (hex) exports, of which ${named_entries} have a name")
  endif()
else()
  message(FATAL_ERROR "check_exports: FORMAT must be elf or pe, not ${FORMAT}")
endif()

file(STRINGS "${EXPECTED}" expected REGEX "^[^#]")
list(REMOVE_DUPLICATES expected)
set(missing ${expected})
list(REMOVE_ITEM missing ${found})
set(unexpected ${found})
list(REMOVE_ITEM unexpected ${expected})
list(LENGTH found found_count)
list(REMOVE_DUPLICATES found)
list(LENGTH found distinct_count)
if(NOT found_count EQUAL distinct_count)
  problem("a name is exported more than once")
endif()
foreach(name IN LISTS missing)
  problem("missing ${name}")
endforeach()
foreach(name IN LISTS unexpected)
  problem("unexpected ${name}")
endforeach()

if(problems)
  foreach(text IN LISTS problems)
    message(NOTICE "check_exports: ${text}")
  endforeach()
  message(FATAL_ERROR "the exports of ${LIBRARY} are not the expected ones")
endif()
list(SORT found)
list(JOIN found " " text)
message(STATUS "${found_count} exports as expected: ${text}")
