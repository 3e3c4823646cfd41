# Checks that every layer includes only from itself and the layers below it.
#   cmake -DROOT=DIR -DLAYERS="platform;usblink;media;fatfs" -P check_layers.cmake
# LAYERS is ordered from the bottom up. An include names a layer when its
# first path component is a folder of ROOT ("usblink/link.h"); the library's
# public header by its bare name (<oryx.h>) counts as the folder oryx/.
# Includes of folders that are not ROOT's (<sys/types.h>, <gtest/gtest.h>)
# are not the project's and are left alone.
cmake_minimum_required(VERSION 3.25)

if(NOT ROOT OR NOT LAYERS)
  message(FATAL_ERROR "check_layers: ROOT and LAYERS are required")
endif()

set(allowed "")
set(violations "")
foreach(layer IN LISTS LAYERS)
  list(APPEND allowed ${layer})
  file(GLOB_RECURSE sources LIST_DIRECTORIES false
       ${ROOT}/${layer}/*.h ${ROOT}/${layer}/*.hpp ${ROOT}/${layer}/*.c ${ROOT}/${layer}/*.cpp)
  if(NOT sources)
    # A layer without sources means a wrong ROOT or a renamed folder: the
    # check would then prove nothing.
    message(FATAL_ERROR "check_layers: no sources under ${ROOT}/${layer}")
  endif()
  foreach(source IN LISTS sources)
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]*)[\">].*$" "\\1" named "${line}")
      if(named STREQUAL "oryx.h")
        set(folder oryx)
      elseif(named MATCHES "^([A-Za-z0-9_.-]+)/")
        set(folder ${CMAKE_MATCH_1})
        if(NOT IS_DIRECTORY ${ROOT}/${folder})
          continue()
        endif()
      else()
        continue()
      endif()
      if(NOT folder IN_LIST allowed)
        file(RELATIVE_PATH shown ${ROOT} ${source})
        string(APPEND violations "  ${shown}: ${named} (${layer} is below ${folder})\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "check_layers: includes from a higher layer:\n${violations}")
endif()
list(JOIN LAYERS " < " shown_layers)
message(STATUS "check_layers: ${shown_layers}: no include reaches up")
