# Turns the assembled firmware image (IN) into a C++ source (OUT) that defines
# lvov_builtin_firmware_bytes. Run with cmake -P.
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" digits)
if(NOT digits EQUAL 32768)
  message(FATAL_ERROR "${IN}: the firmware image must be 16384 bytes, not ${digits}/2")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "    \\1\n" bytes "${bytes}")
file(WRITE ${OUT} "// Generated from firmware/*.asm by the build; do not edit.\n"
  "#include <cstdint>\n"
  "extern const uint8_t lvov_builtin_firmware_bytes[16384];\n"
  "const uint8_t lvov_builtin_firmware_bytes[16384] = {\n${bytes}};\n")
