# Writes sample update files into OUT_DIR, for the tests and the demo:
#   vxb_main.iic  boot EEPROM image     7,842 bytes
#   L1_1.BIN      L1 boot code         24,320 bytes
#   L2_1.MI       L2 code             412,416 bytes
#   FPGA.BIR      FPGA bitstream      166,980 bytes
# Run as  cmake -DOUT_DIR=<dir> -P make_update_samples.cmake
#
# The contents are filler that differs from file to file and from block to
# block within a file (a block of pseudo-random bytes, rotated by a
# different amount for each block). The EEPROM image begins like a serial
# boot image: 0xC2, then vendor, product and device ID and a configuration
# byte. CMake strings cannot hold a zero byte, so no byte is zero (and none
# is a semicolon, which CMake would take for a list separator).

cmake_minimum_required(VERSION 3.25)

if(NOT OUT_DIR)
  message(FATAL_ERROR "OUT_DIR not set")
endif()

set(BLOCK 1021)   # a prime, so rotations by different amounts never repeat

# `out` = BLOCK pseudo-random bytes in 1..255 (no 59) from `seed`.
function(random_block out seed)
  set(state ${seed})
  set(text "")
  foreach(i RANGE 1 ${BLOCK})
    math(EXPR state "(${state} * 1103515245 + 12345) % 2147483648")
    math(EXPR byte "(${state} >> 16) % 255 + 1")
    if(byte EQUAL 59)
      set(byte 58)
    endif()
    string(ASCII ${byte} c)
    string(APPEND text "${c}")
  endforeach()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Writes `size` bytes: `head` followed by rotated copies of a random block.
function(make_sample file size seed head)
  random_block(block ${seed})
  set(content "${head}")
  set(k 0)
  string(LENGTH "${content}" length)
  while(length LESS size)
    math(EXPR shift "(${k} * 37) % ${BLOCK}")
    string(SUBSTRING "${block}" ${shift} -1 front)
    string(SUBSTRING "${block}" 0 ${shift} back)
    string(APPEND content "${front}${back}")
    math(EXPR k "${k} + 1")
    string(LENGTH "${content}" length)
  endwhile()
  string(SUBSTRING "${content}" 0 ${size} content)
  file(WRITE "${OUT_DIR}/${file}.new" "${content}")
  file(RENAME "${OUT_DIR}/${file}.new" "${OUT_DIR}/${file}")
endfunction()

file(MAKE_DIRECTORY "${OUT_DIR}")

# 0xC2, vendor 0x1234, product 0x5678, device 0x0101, configuration 0x01
set(iic_head "")
foreach(byte 194 52 18 120 86 1 1 1)
  string(ASCII ${byte} c)
  string(APPEND iic_head "${c}")
endforeach()

make_sample(vxb_main.iic 7842 11 "${iic_head}")
make_sample(L1_1.BIN 24320 23 "")
make_sample(L2_1.MI 412416 37 "")
make_sample(FPGA.BIR 166980 53 "")
