// The tape image (".lvt") header: the layout the storage reader takes and the assembler's
// tape writer produces. Plain constants, free of Qt and of the machine, so any part of
// the project can include it.
//
//   0   magic "LVOV/2.0/" (9 bytes, no terminator)
//   9   type: D0 machine code, anything else BASIC
//   10  name: 6 characters, padded with spaces (the reader ignores it)
//   D0:    16 start, 18 end (inclusive), 20 run address (words, low byte first),
//          22 the bytes start..end
//   BASIC: 16 .. size-2 the program; the file's last byte is not part of it
#pragma once
#include <cstddef>
#include <cstdint>

namespace lvov {

constexpr char TAPE_MAGIC[] = "LVOV/2.0/";
constexpr uint32_t TAPE_MAGIC_SIZE = sizeof TAPE_MAGIC - 1;  // the file holds no terminator
constexpr uint32_t TAPE_TYPE_OFFSET = 9;
constexpr uint8_t TAPE_TYPE_BINARY = 0xD0;
constexpr uint32_t TAPE_NAME_OFFSET = 10;
constexpr uint32_t TAPE_NAME_SIZE = 6;
constexpr uint32_t TAPE_HEADER_SIZE = 16;  // magic, type, name
constexpr uint32_t TAPE_START_OFFSET = 16;  // D0: first address loaded
constexpr uint32_t TAPE_END_OFFSET = 18;  // D0: last address loaded
constexpr uint32_t TAPE_RUN_OFFSET = 20;  // D0: where the program starts
constexpr uint32_t TAPE_BINARY_DATA = 22;  // D0: first program byte
constexpr uint32_t TAPE_BASIC_TRAILER = 1;  // BASIC: the last byte, not loaded

static_assert(TAPE_MAGIC_SIZE == TAPE_TYPE_OFFSET);
static_assert(TAPE_NAME_OFFSET + TAPE_NAME_SIZE == TAPE_HEADER_SIZE);
static_assert(TAPE_RUN_OFFSET + 2 == TAPE_BINARY_DATA);

}  // namespace lvov
