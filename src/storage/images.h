// Tape images (".lvt", magic "LVOV/2.0/", layout in storage/tape_format.h) and memory
// dumps (".sav", magic "LVOV/DUMP").
//
// A machine-code program is copied to start..end, the return address warm_pc is pushed at
// warm_sp and PC := run; a BASIC program is copied to the address in the word at
// basic_start_ptr, the word at basic_end_ptr gets its end, and control goes to the warm
// start. The same layout behind "NevLVEmu" 03 is snapshot version 3.
//
// Dump image (82,205 bytes): magic, 8 unused bytes, memory 0000-FFFF, vram, the latches
// as they are, B C D E H L A F, SP, PC.
//
// Both write MachineState raw (the firmware area included) and reset nothing first.
// Readers take the file's bytes, exactly as many as the file holds; see snapshot.h.
#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "core/machine.h"
#include "storage/registers.h"
#include "storage/tape_format.h"

namespace lvov {

constexpr char DUMP_MAGIC[] = "LVOV/DUMP";
constexpr uint32_t DUMP_DATA = 17;
constexpr uint32_t DUMP_SIZE = DUMP_DATA + MEMORY_SIZE + VRAM_SIZE + 256 + REGISTER_BLOCK_SIZE;  // 82,205

// Takes a tape image. Refused (RangeError, nothing changed): a file without its type byte,
// a D0 image shorter than 22 + (end - start + 1) bytes, and a BASIC program that would
// run past FFFF. A BASIC image of 10 to 17 bytes is taken with no program bytes.
bool ReadTapeImage(std::span<const uint8_t> file, MachineState& m, const std::string& file_header);

// The tape steps from the type byte on, for a file whose layout is a tape image
// whatever its magic (also used by snapshot version 3).
void ReadTapeBody(std::span<const uint8_t> file, MachineState& m);

// Takes a dump image; one shorter than 82,205 bytes is refused (RangeError, nothing changed).
bool ReadDumpImage(std::span<const uint8_t> file, MachineState& m, const std::string& file_header);

}  // namespace lvov
