# Turns the assembled CP/M harness (BIN, raw bytes from its lowest address to BFFF) and
# its listing (LST) into a C++ header (OUT): the bytes, and every plain symbol of the
# source as a constant, so the host code and the 8080 code cannot disagree on an address.
# Run with cmake -P.
file(STRINGS ${LST} lines)
set(in_symbols FALSE)
set(constants "")
set(base "")
foreach(line IN LISTS lines)
  if(line STREQUAL "; symbols")
    set(in_symbols TRUE)
  elseif(in_symbols AND line MATCHES "^([A-Z_][A-Z0-9_]*) +([0-9A-F]+)H +(-?[0-9]+)$")
    string(APPEND constants "inline constexpr int32_t ${CMAKE_MATCH_1} = ${CMAKE_MATCH_3};\n")
    if(CMAKE_MATCH_1 STREQUAL "BDOS")
      set(base ${CMAKE_MATCH_3})
    endif()
  endif()
endforeach()
if(base STREQUAL "")
  message(FATAL_ERROR "${LST}: no BDOS symbol")
endif()
file(READ ${BIN} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
math(EXPR top "${base} + ${size}")
if(NOT top EQUAL 49152)
  message(FATAL_ERROR "${BIN}: the harness must end at BFFF (it runs from ${base} for ${size} bytes)")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "    \\1\n" bytes "${bytes}")
file(WRITE ${OUT} "// Generated from tools/cpm_harness.asm by the build; do not edit.\n"
  "#pragma once\n#include <cstdint>\n\nnamespace lvov::harness {\n\n"
  "${constants}\n"
  "// The bytes from BDOS to BFFF.\n"
  "inline constexpr uint8_t image[${size}] = {\n${bytes}};\n\n}  // namespace lvov::harness\n")
