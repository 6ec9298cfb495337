#include "storage/program_files.h"

#include <optional>
#include <string>
#include <system_error>

#include "core/errors.h"
#include "host/files.h"

namespace lvov {

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

KeyTables load_key_map(const std::filesystem::path& program_dir) {
    const std::filesystem::path file = program_dir / KEY_MAP_FILE_NAME;
    std::error_code ec;
    const bool present = std::filesystem::exists(file, ec);
    if (ec) throw IoError("Cannot read the key map file \"" + file.string() + "\": " + ec.message());
    if (!present) return default_key_tables();

    // Only a regular file is read, and opening one never waits: a folder, FIFO or device
    // is refused at once.
    const std::vector<uint8_t> bytes = read_regular_file(file, KEY_MAP_FILE_SIZE);
    const size_t got = bytes.size();
    if (got < KEY_MAP_FILE_SIZE)
        throw IoError("The key map file \"" + file.string() + "\" is too short: " + std::to_string(got) +
                      " bytes read, " + std::to_string(KEY_MAP_FILE_SIZE) + " needed");
    return key_tables_from_bytes(bytes);
}

}  // namespace lvov
