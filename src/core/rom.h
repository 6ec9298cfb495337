// Firmware images, identification and reset.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/machine.h"

namespace lvov {

constexpr int32_t boot_cycles = 11'000'000;
constexpr size_t ROM_IMAGE_SIZE = 16384;

using RomImage = std::array<uint8_t, ROM_IMAGE_SIZE>;

// The three firmware images. Image 1 is always present (the built-in firmware stands
// in when no image1.rom is given); an absent image 2 or 3 is never identified.
struct RomImages {
    std::array<std::optional<RomImage>, 3> image;
    bool image1_builtin = true;  // image 1 is the built-in firmware
    std::vector<std::string> problems;  // files refused while loading, one message each
};

// The built-in firmware image (16,384 bytes for C000-FFFF).
const RomImage& builtin_firmware();

// Images with only the built-in firmware as image 1.
RomImages builtin_rom_images();

// 1, 2 or 3 when memory C000-FFFF equals that image exactly, else 0. Only images read
// from firmware files count: the built-in firmware is never image 1 (0 for it).
int identify_rom(const MachineState& m, const RomImages& roms);

// Copies image n (1..3) into C000-FFFF raw; any other n, or an absent image, changes nothing.
void LoadBios(MachineState& m, const RomImages& roms, int n);

// Full reset to the power-on state: registers 0, warm-start constants, init_RAM, every
// latch FF, flag table, image 1 at C000, PC = C000. Runs nothing and paints nothing; the
// window re-reads its speed settings and picture rectangle afterwards.
void ResetComp(MachineState& m, const RomImages& roms);

// Hands control to a BASIC program in memory: RAM mode, SP = warm_sp, the word at SP =
// warm_pc, PC = warm_pc.
void warm_start(MachineState& m);

}  // namespace lvov
