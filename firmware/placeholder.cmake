# Writes a 16,384-byte image whose only code is JMP C000 at C000.
set(bytes "0xC3, 0x00, 0xC0")
foreach(i RANGE 3 16383)
  string(APPEND bytes ", 0x00")
endforeach()
file(WRITE ${OUT} "#include <cstdint>\nextern const uint8_t lvov_builtin_firmware_bytes[16384];\nconst uint8_t lvov_builtin_firmware_bytes[16384] = {${bytes}};\n")
