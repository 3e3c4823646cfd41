# Checks that oryx(3) shows every export of the library in its synopsis and
# describes it: a line "uint32_t NAME(" or "void NAME(" and a .B/.BR line
# naming it.
#
#   cmake -DPAGE=oryx.3 -DEXPORTS=oryx_exports.txt -P check_oryx_page.cmake
cmake_minimum_required(VERSION 3.25)

file(STRINGS ${EXPORTS} exports REGEX "^[A-Za-z_]")
file(READ ${PAGE} page)
list(LENGTH exports count)
if(count EQUAL 0)
  message(FATAL_ERROR "no exports listed in ${EXPORTS}")
endif()
set(problems "")
foreach(name IN LISTS exports)
  if(NOT page MATCHES "\"(uint32_t|void) ${name}\\(")
    string(APPEND problems "  ${name}: not in the synopsis\n")
  endif()
  if(NOT page MATCHES "\n\\.BR? [^\n]*${name}[ ,\n]")
    string(APPEND problems "  ${name}: not described\n")
  endif()
endforeach()
if(problems)
  message(FATAL_ERROR "oryx(3) and the library's exports disagree:\n${problems}")
endif()
message(STATUS "oryx(3) shows and describes all ${count} exports")
