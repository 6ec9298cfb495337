// The files the program reads from its folders at start: the firmware images and the
// key map. The machine core and the keyboard take their contents as bytes; reading the
// files (only regular files, never waiting on a FIFO) happens here.
#pragma once
#include <filesystem>
#include <vector>

#include "core/rom.h"
#include "devices/keyboard.h"

namespace lvov {

// Reads firmware/image1.rom .. image3.rom under program_dir. A missing file leaves that
// image absent; a file that is not exactly 16,384 bytes is refused (a message in
// problems) and counts as absent. Image 1 falls back to the built-in firmware.
RomImages load_rom_images(const std::filesystem::path& program_dir);
// The same over several folders: each image comes from the first folder that holds an
// acceptable file of it; a refused file is named in problems and the search goes on.
RomImages load_rom_images(const std::vector<std::filesystem::path>& dirs);

// Reads NEVEmulator.key from program_dir; absent -> the defaults. A file that exists but
// cannot be read or is shorter than 1,024 bytes throws IoError; bytes past 1,024 are
// ignored.
KeyTables load_key_map(const std::filesystem::path& program_dir);

}  // namespace lvov
