#include "core/rom.h"

#include <algorithm>
#include <cstring>

#include "core/i8080.h"

extern const uint8_t lvov_builtin_firmware_bytes[16384];

namespace lvov {

const RomImage& builtin_firmware() {
    static const RomImage image = [] {
        RomImage img{};
        std::memcpy(img.data(), lvov_builtin_firmware_bytes, img.size());
        return img;
    }();
    return image;
}

RomImages builtin_rom_images() {
    RomImages roms;
    roms.image[0] = builtin_firmware();
    roms.image1_builtin = true;
    return roms;
}

int identify_rom(const MachineState& m, const RomImages& roms) {
    const uint8_t* rom = m.memory.data() + ROM_START;
    // The built-in firmware standing in for image 1 is not image 1: a snapshot that named
    // it so would restore into whatever firmware/image1.rom holds elsewhere.
    for (int n = roms.image1_builtin ? 2 : 1; n <= 3; ++n) {
        const auto& img = roms.image[n - 1];
        if (img && std::equal(img->begin(), img->end(), rom)) return n;
    }
    return 0;
}

void LoadBios(MachineState& m, const RomImages& roms, int n) {
    if (n < 1 || n > 3 || !roms.image[n - 1]) return;
    std::copy(roms.image[n - 1]->begin(), roms.image[n - 1]->end(), m.memory.begin() + ROM_START);
}

void ResetComp(MachineState& m, const RomImages& roms) {
    m.A = m.B = m.C = m.D = m.E = m.H = m.L = m.F = 0;
    m.PC = 0;
    m.SP = 0;
    m.cycles = 0;
    m.warm_sp = 0xAFC1;
    m.warm_pc = 0x02FD;
    m.basic_start_ptr = 0x0243;
    m.basic_end_ptr = 0x0245;
    init_RAM(m);  // clears the latches and the ROM area ...
    m.port_latches.fill(0xFF);  // ... which these two steps then fill: RAM mode, palette FF
    LoadBios(m, roms, 1);
    m.PC = ROM_START;
}

void warm_start(MachineState& m) {
    m.port_latches[LATCH_SYSTEM_CONTROL] = 0xFF;
    m.SP = m.warm_sp;
    set_var(m, m.SP, m.warm_pc);
    m.PC = m.warm_pc;
}

}  // namespace lvov
