#include "core/rom.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "core/errors.h"
#include "core/files.h"
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

namespace {

// Reads one image file; nullopt when it is missing or refused (with a message). Only a
// regular file is read, and opening one never waits (a FIFO is refused at once).
std::optional<RomImage> read_rom_file(const std::filesystem::path& path, std::vector<std::string>& problems) {
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return std::nullopt;
    const std::string name = "Firmware image \"" + path_text(path) + "\"";
    try {
        InputFile in(path);
        if (in.size() != ROM_IMAGE_SIZE) {
            problems.push_back(name + " is " + std::to_string(in.size()) + " bytes long, not 16384; it is ignored.");
            return std::nullopt;
        }
        RomImage img{};
        if (in.read(img.data(), img.size()) != img.size()) {
            problems.push_back(name + " became shorter while it was read; it is ignored.");
            return std::nullopt;
        }
        return img;
    } catch (const IoError& e) {
        problems.push_back(std::string(e.what()) + "; the firmware image is ignored.");
        return std::nullopt;
    }
}

}  // namespace

RomImages load_rom_images(const std::filesystem::path& program_dir) {
    return load_rom_images(std::vector<std::filesystem::path>{program_dir});
}

RomImages load_rom_images(const std::vector<std::filesystem::path>& dirs) {
    RomImages roms;
    for (int n = 1; n <= 3; ++n) {
        for (const auto& dir : dirs) {
            const auto path = dir / "firmware" / ("image" + std::to_string(n) + ".rom");
            roms.image[n - 1] = read_rom_file(path, roms.problems);
            if (roms.image[n - 1]) break;
        }
    }
    roms.image1_builtin = !roms.image[0].has_value();
    if (roms.image1_builtin) roms.image[0] = builtin_firmware();
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
