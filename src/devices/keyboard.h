// The keyboard matrix and the host key tables.
//
// A KeyCode names up to two matrix positions:
//   bits 15-12 main column c, bits 11-8 main row r  (valid when c < 8 and r < 8)
//   bits  7-4  extra column e, bits 3-0 extra row s (valid when e < 4 and s < 8)
// 0xFFFF is no key; FF in one byte leaves that matrix alone. A code naming a key in each
// matrix presses and releases both together.
//
// Two tables map host virtual-key codes (Windows numbering) to KeyCodes: one by the
// Latin legends, one by the Cyrillic legends of the Russian host layout. Bit 7 of the
// firmware's keyboard-mode byte at BE1D chooses between them at every key event.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/machine.h"

namespace lvov {

using KeyCode = uint16_t;

constexpr uint16_t FIRMWARE_KBD_MODE = 0xBE1D;  // firmware RAM byte, bit 7 = Cyrillic
constexpr uint8_t KBD_MODE_CYRILLIC = 0x80;
constexpr KeyCode NO_KEY = 0xFFFF;

constexpr const char* KEY_MAP_FILE_NAME = "NEVEmulator.key";
constexpr std::size_t KEY_MAP_FILE_SIZE = 1024;  // 512 little-endian words: Latin, then Cyrillic

struct KeyTables {
    std::array<KeyCode, 256> latin;
    std::array<KeyCode, 256> cyrillic;
};

// The built-in tables, used when there is no key-map file.
KeyTables default_key_tables();

// The tables the bytes of a key-map file spell: 512 little-endian words, the Latin table
// first. Bytes past 1,024 are ignored; fewer than 1,024 throw RangeError.
KeyTables key_tables_from_bytes(const std::vector<uint8_t>& bytes);

// Presses or releases the valid parts of a code; other matrix bits are untouched.
void kbd(MachineState& m, KeyCode code, bool pressed);

// The code of host key vk in the table chosen by bit 7 of the byte at BE1D, read
// through the memory map.
KeyCode readmask(const MachineState& m, const KeyTables& t, uint8_t vk);

// The matrix code each host key went down with; NO_KEY for keys not held. The firmware
// may switch tables while a key is held (Ctrl does exactly that), so a key is released
// at the code it was pressed with, never at what its table says by then.
struct HeldKeys {
    HeldKeys() { codes.fill(NO_KEY); }
    std::array<KeyCode, 256> codes;
};

// Key-down of host key vk. The first press takes its code from the table chosen now and
// keeps it; auto-repeats press that same code again.
void press_host_key(MachineState& m, const KeyTables& t, HeldKeys& held, uint8_t vk);

// Key-up of host key vk: releases the code it went down with, except the positions that
// another held key names too. A key that is not held does nothing.
void release_host_key(MachineState& m, HeldKeys& held, uint8_t vk);

// Clears both matrices completely, whatever pressed their keys, and forgets every held key.
void release_all_keys(MachineState& m, HeldKeys& held);

}  // namespace lvov
