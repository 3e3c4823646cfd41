# Writes the installer's File lines and the uninstaller's Delete and RMDir
# lines from one walk of the staged installation, so that the uninstaller
# removes exactly what the installer put down (and no file of the user's).
#
#   cmake -DSTAGE=dir -DFILES=files.nsh -DUNFILES=unfiles.nsh -P file_lists.cmake
cmake_minimum_required(VERSION 3.25)

file(GLOB_RECURSE staged RELATIVE ${STAGE} LIST_DIRECTORIES false ${STAGE}/*)
list(SORT staged)
if(NOT staged)
  message(FATAL_ERROR "file_lists.cmake: nothing staged in ${STAGE}")
endif()

set(install_lines "")
set(remove_lines "")
set(folders "")
set(current_folder "-")
foreach(file IN LISTS staged)
  get_filename_component(folder "${file}" DIRECTORY)
  string(REPLACE "/" "\\" windows_file "${file}")
  string(REPLACE "/" "\\" windows_folder "${folder}")
  if(NOT folder STREQUAL current_folder)
    set(current_folder "${folder}")
    if(folder STREQUAL "")
      string(APPEND install_lines "SetOutPath \"$INSTDIR\"\n")
    else()
      string(APPEND install_lines "SetOutPath \"$INSTDIR\\${windows_folder}\"\n")
    endif()
  endif()
  string(APPEND install_lines "File \"${STAGE}/${file}\"\n")
  string(APPEND remove_lines "Delete \"$INSTDIR\\${windows_file}\"\n")
  # Every folder up to the top, deepest first when removed.
  while(NOT folder STREQUAL "")
    list(APPEND folders "${folder}")
    get_filename_component(folder "${folder}" DIRECTORY)
  endwhile()
endforeach()
string(APPEND install_lines "SetOutPath \"$INSTDIR\"\n")

list(REMOVE_DUPLICATES folders)
list(SORT folders)
list(REVERSE folders)
foreach(folder IN LISTS folders)
  string(REPLACE "/" "\\" windows_folder "${folder}")
  string(APPEND remove_lines "RMDir \"$INSTDIR\\${windows_folder}\"\n")
endforeach()

file(WRITE ${FILES} "${install_lines}")
file(WRITE ${UNFILES} "${remove_lines}")
