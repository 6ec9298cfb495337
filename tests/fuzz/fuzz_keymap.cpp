// The key-map file NEVEmulator.key on any bytes, then the keys it maps pressed and
// released in any order while the firmware switches tables.
//
// The input is the file. Bytes from 1,024 on (which the loader ignores) are also read as
// pairs (event, host key): press, release, the firmware flipping its table bit at BE1D,
// or a pause.
//
// Properties:
//  - a file shorter than 1,024 bytes is refused with IoError; any longer file gives
//    tables equal to its first 512 little-endian words, Latin table first;
//  - a first press takes its code from the table chosen at that moment;
//  - after every event the matrices hold exactly the positions of the keys still held,
//    whatever table each went down through (no stuck key, no lost key);
//  - a pause releases both matrices completely.
#include <array>

#include "core/errors.h"
#include "devices/keyboard.h"
#include "fuzz_support.h"
#include "storage/program_files.h"

using namespace lvov;

namespace {

struct Matrices {
    std::array<uint8_t, 8> main{};
    std::array<uint8_t, 4> extra{};
    bool operator==(const Matrices&) const = default;
};

// The positions named by the held keys, pressed into empty matrices.
Matrices expected_matrices(const HeldKeys& held) {
    static MachineState* scratch = new MachineState;
    scratch->kbd_matrix.fill(0);
    scratch->kbd_extra.fill(0);
    for (const KeyCode code : held.codes)
        if (code != NO_KEY) kbd(*scratch, code, true);
    return {scratch->kbd_matrix, scratch->kbd_extra};
}

Matrices matrices_of(const MachineState& m) { return {m.kbd_matrix, m.kbd_extra}; }

bool all_released(const MachineState& m, const HeldKeys& held) {
    for (const KeyCode code : held.codes)
        if (code != NO_KEY) return false;
    return matrices_of(m) == Matrices{};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::filesystem::path dir = [] {
        const std::filesystem::path d = lvov::fuzz::scratch_dir() / "keymap";
        std::filesystem::create_directories(d);
        return d;
    }();
    static MachineState* machine = new MachineState;
    lvov::fuzz::write_file(dir / KEY_MAP_FILE_NAME, data, size);

    KeyTables tables;
    try {
        tables = load_key_map(dir);
    } catch (const IoError&) {
        FUZZ_CHECK(size < KEY_MAP_FILE_SIZE, "a key map of " + std::to_string(size) + " bytes was refused");
        return 0;
    }
    FUZZ_CHECK(size >= KEY_MAP_FILE_SIZE, "a key map of " + std::to_string(size) + " bytes was taken");
    for (size_t i = 0; i < 256; ++i) {
        FUZZ_CHECK(tables.latin[i] == (data[2 * i] | data[2 * i + 1] << 8), "Latin entry " + std::to_string(i));
        FUZZ_CHECK(tables.cyrillic[i] == (data[512 + 2 * i] | data[512 + 2 * i + 1] << 8),
                   "Cyrillic entry " + std::to_string(i));
    }

    MachineState& m = *machine;
    m.kbd_matrix.fill(0);
    m.kbd_extra.fill(0);
    m.memory[FIRMWARE_KBD_MODE] = 0;
    HeldKeys held;
    for (size_t i = KEY_MAP_FILE_SIZE; i + 1 < size; i += 2) {
        const uint8_t vk = data[i + 1];
        switch (data[i] & 3) {
        case 0: {
            const bool was_held = held.codes[vk] != NO_KEY;
            const KeyCode chosen = readmask(m, tables, vk);
            press_host_key(m, tables, held, vk);
            if (!was_held) FUZZ_CHECK(held.codes[vk] == chosen, "a press did not use the table chosen now");
            break;
        }
        case 1:
            release_host_key(m, held, vk);
            FUZZ_CHECK(held.codes[vk] == NO_KEY, "a released key is still held");
            break;
        case 2:
            m.memory[FIRMWARE_KBD_MODE] ^= KBD_MODE_CYRILLIC;  // the firmware switches tables
            break;
        case 3:
            release_all_keys(m, held);
            FUZZ_CHECK(all_released(m, held), "a pause left a key held");
            break;
        }
        FUZZ_CHECK(
            matrices_of(m) == expected_matrices(held),
            "after event " + std::to_string((i - KEY_MAP_FILE_SIZE) / 2) + " the matrices differ from the keys held");
    }
    release_all_keys(m, held);
    FUZZ_CHECK(all_released(m, held), "a pause left a key held");
    return 0;
}
