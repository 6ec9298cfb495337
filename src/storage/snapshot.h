// Snapshot files (".NevLVE") and the single entry point that loads any image file.
//
// A snapshot holds the whole machine: memory, the firmware identity (and the firmware
// bytes when they are none of the known images), video memory, the port latches and the
// registers. The current version 0x32 is written; versions 01, 02, 03, 0x31 and 0x32 are
// read. Layout of version 0x32:
//   0  "NevLVEmu"   raw
//   8  0x32         raw
//   9  zero-run stream: memory 0000-BFFF, rom_id (1..3 = known image, 255 = other;
//      a literal, so it is read raw), memory C000-FFFF only when rom_id is 255 (or 0),
//      vram, the 256 latches complemented (latch XOR FF), B C D E H L A F, SP, PC.
// The clock counter, keyboard matrices, pause state and speed settings are not stored.
//
// Readers get the file's bytes (the span holds exactly what the file holds; LoadImageFile
// reads it into buffer 1 of the bank) and file_header, the first bytes of the file (up to
// 15, never more than the file holds). Each reader tests its
// own magic first and returns false, changing nothing, when the file is not its kind.
// A file of its kind that is shorter than its own layout is refused with RangeError
// before anything in the machine changes.
#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "core/machine.h"
#include "core/rom.h"
#include "storage/buffers.h"

namespace lvov {

constexpr char SNAPSHOT_MAGIC[] = "NevLVEmu";
constexpr char SNAPSHOT_EXTENSION[] = ".NevLVE";
constexpr uint8_t SNAPSHOT_VERSION = 0x32;
constexpr uint8_t ROM_ID_OTHER = 255;  // firmware area matches none of the known images
constexpr size_t FILE_HEADER_SIZE = 15;

// path with ".NevLVE" appended unless the first occurrence of ".NevLVE" in its file name
// ends the name; the folders on the way do not count ("x.NevLVE/QuickSave.NevLVE" stays
// as it is). Letter case does not count either: "game.nevlve" stays as it is.
std::string snapshot_path_with_extension(std::string path);

// Encodes the machine into buffer 1 and writes it (atomically, see SaveBufferToFile; with
// durable, flushed to the disk) to path with the extension completed. Buffer 1 keeps the
// file's bytes with its cursor at their end, so the same bytes can be written again.
// Returns the path written. Throws IoError when the file cannot be written, and before
// anything is encoded when path names a folder ("DIR/"). The machine is never changed.
//
// rom_id: 1..3 only for an image read from a firmware file (identify_rom); a machine on
// the built-in firmware stores 255 and the firmware bytes, so the file restores the same
// machine on an installation whose firmware files differ.
std::string SaveSnapshot(ByteBufferBank& bank, const MachineState& m, const RomImages& roms, const std::string& path,
                         bool durable = true);

enum class LoadResult { Snapshot, Dump, Tape, NotRecognised };

// Reads the file whole into buffer 1 and offers its bytes to the snapshot, dump and tape
// readers in turn. NotRecognised: no reader took it and nothing changed. Throws IoError when the
// file cannot be read and RangeError when it is truncated; both name the file, and the
// machine is then unchanged.
LoadResult LoadImageFile(ByteBufferBank& bank, MachineState& m, const std::string& path);

// The same for a file's bytes already in memory (a file read once and kept, as a
// recording keeps it); name stands for the file in messages.
LoadResult LoadImageBytes(std::span<const uint8_t> file, MachineState& m, const std::string& name);

// LoadImageFile of a file asked for by name (Open, a drop, the command line, a game, a
// slot): one that no reader takes is refused like a damaged one, with RangeError naming
// it, and the machine unchanged. Never returns NotRecognised.
LoadResult LoadRecognisedImageFile(ByteBufferBank& bank, MachineState& m, const std::string& path);

// The snapshot reader (magic "NevLVEmu", versions 01, 02, 03, 0x31, 0x32). An unknown
// version is not taken. A rom_id of 1..3 is not acted upon: the firmware already in
// C000-FFFF stays.
bool ReadSnapshot(std::span<const uint8_t> file, MachineState& m, const std::string& file_header);

}  // namespace lvov
