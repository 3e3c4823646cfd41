# Writes the sample controller images vxb_ffs.bix (file-system firmware) and
# vxb_main.bix (main firmware) into OUT_DIR. Run as
#   cmake -DOUT_DIR=<dir> -P make_firmware_images.cmake
#
# An image is a raw x51 memory image of 4096 bytes: a reset vector, the tag
# text by which the simulated controller recognises the program, a few
# instructions, and 0xFF filler. CMake strings cannot hold a zero byte, so
# the code is chosen without one.

cmake_minimum_required(VERSION 3.25)

if(NOT OUT_DIR)
  message(FATAL_ERROR "OUT_DIR not set")
endif()

set(IMAGE_SIZE 4096)
set(TAG_OFFSET 64)     # 0x0040
set(ENTRY_OFFSET 320)  # 0x0140

function(bytes_to_string out)
  set(text "")
  foreach(byte IN LISTS ARGN)
    string(ASCII ${byte} c)
    string(APPEND text "${c}")
  endforeach()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Appends 0xFF to `var` until it is `size` bytes long.
function(pad_to var size)
  string(ASCII 255 ff)
  string(LENGTH "${${var}}" length)
  math(EXPR missing "${size} - ${length}")
  if(missing LESS 0)
    message(FATAL_ERROR "image part overflows offset ${size}")
  endif()
  string(REPEAT "${ff}" ${missing} filler)
  set(${var} "${${var}}${filler}" PARENT_SCOPE)
endfunction()

function(make_image file tag code)
  # 0x0000: LJMP 0x0140
  bytes_to_string(image 2 1 64)
  pad_to(image ${TAG_OFFSET})
  string(APPEND image "${tag}")
  pad_to(image ${ENTRY_OFFSET})
  bytes_to_string(entry ${code})
  string(APPEND image "${entry}")
  pad_to(image ${IMAGE_SIZE})
  file(WRITE "${OUT_DIR}/${file}.new" "${image}")
  file(RENAME "${OUT_DIR}/${file}.new" "${OUT_DIR}/${file}")
endfunction()

# MOV SP,#5Fh; MOV DPTR,#7F92h; MOV A,#1; MOVX @DPTR,A; SJMP $
make_image(vxb_ffs.bix "KESTREL-FFS 1.0 file-system firmware (simulated)"
           "117;129;95;144;127;146;116;1;240;128;254")
# MOV SP,#5Fh; MOV DPTR,#7E00h; MOV A,#2; MOVX @DPTR,A; SJMP $
make_image(vxb_main.bix "KESTREL-MAIN 1.0 main firmware (simulated)"
           "117;129;95;144;126;1;116;2;240;128;254")
