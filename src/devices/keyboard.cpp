// Keyboard matrix updates, table selection and the key-map layout.
#include "devices/keyboard.h"

#include <string>

#include "core/errors.h"

namespace lvov {

namespace {

// KeyCode fields. A main part is valid when bits 15 and 11 are clear (column and row
// below 8); an extra part when its column is below 4 and bit 3 is clear (row below 8).
constexpr int MAIN_MATRIX_COLUMNS = 8;
constexpr int EXTRA_MATRIX_COLUMNS = 4;
constexpr int MATRIX_ROWS = 8;

struct SharedKey {
    uint8_t vk;
    KeyCode code;
};

struct LayoutKey {
    uint8_t vk;
    KeyCode latin;
    KeyCode cyrillic;
};

// Keys with one code in both tables. Main-matrix codes are 0xCRFF (column C, row R),
// extra-matrix codes 0xFFER.
constexpr SharedKey SHARED_KEYS[] = {
    {0x08, 0x23FF},  // Backspace  main 2/3
    {0x09, 0x04FF},  // Tab        main 0/4
    {0x0D, 0x13FF},  // Enter      main 1/3
    {0x10, 0x70FF},  // Shift      main 7/0
    {0x12, 0x62FF},  // Alt        main 6/2
    {0x1B, 0x40FF},  // Esc        main 4/0
    {0x20, 0x30FF},  // Space      main 3/0
    {0x21, 0x14FF},  // Page Up    main 1/4
    {0x22, 0xFF10},  // Page Down  extra 1/0
    {0x23, 0x34FF},  // End        main 3/4
    {0x24, 0xFF20},  // Home       extra 2/0
    {0x25, 0xFF32},  // Left       extra 3/2
    {0x26, 0xFF31},  // Up         extra 3/1
    {0x27, 0xFF30},  // Right      extra 3/0
    {0x28, 0xFF33},  // Down       extra 3/3
    {0x2D, 0x03FF},  // Insert     main 0/3
    {0x30, 0x06FF},  // 0          main 0/6
    {0x31, 0x47FF},  // 1          main 4/7
    {0x32, 0x46FF},  // 2          main 4/6
    {0x33, 0x45FF},  // 3          main 4/5
    {0x34, 0x44FF},  // 4          main 4/4
    {0x35, 0x43FF},  // 5          main 4/3
    {0x36, 0x00FF},  // 6          main 0/0
    {0x37, 0x01FF},  // 7          main 0/1
    {0x38, 0x02FF},  // 8          main 0/2
    {0x39, 0x07FF},  // 9          main 0/7
    {0x70, 0xFF12},  // F1         extra 1/2
    {0x71, 0xFF13},  // F2         extra 1/3
    {0x72, 0xFF23},  // F3         extra 2/3
    {0x73, 0xFF22},  // F4         extra 2/2
    {0x74, 0xFF21},  // F5         extra 2/1
    {0x75, 0x41FF},  // F6         main 4/1
    {0x76, 0x42FF},  // F7         main 4/2
    {0x77, 0xFF03},  // F8         extra 0/3
    {0x78, 0xFF11},  // F9         extra 1/1
    {0x79, 0xFF02},  // F10        extra 0/2
    {0x7A, 0xFF01},  // F11        extra 0/1
    {0x7B, 0xFF00},  // F12        extra 0/0
    {0xBD, 0x05FF},  // -          main 0/5
    {0xBF, 0x36FF},  // /          main 3/6
    {0xC0, 0x60FF},  // `          main 6/0
};

// Keys whose position depends on the layout. The Cyrillic column follows the Russian
// host legends: host A (Ф) gets the Latin table's F, host Q (Й) the Latin J.
constexpr LayoutKey LAYOUT_KEYS[] = {
    //  vk    latin   cyrillic
    {0x11, 0x61FF, 0x35FF},  // Ctrl
    {0x41, 0x64FF, 0x67FF},  // A
    {0x42, 0x31FF, 0x75FF},  // B
    {0x43, 0x57FF, 0x77FF},  // C
    {0x44, 0x27FF, 0x65FF},  // D
    {0x45, 0x54FF, 0x56FF},  // E
    {0x46, 0x67FF, 0x64FF},  // F
    {0x47, 0x10FF, 0x63FF},  // G
    {0x48, 0x16FF, 0x20FF},  // H
    {0x49, 0x75FF, 0x11FF},  // I
    {0x4A, 0x52FF, 0x21FF},  // J
    {0x4B, 0x55FF, 0x22FF},  // K
    {0x4C, 0x22FF, 0x27FF},  // L
    {0x4D, 0x76FF, 0x73FF},  // M
    {0x4E, 0x53FF, 0x74FF},  // N
    {0x4F, 0x21FF, 0x12FF},  // O
    {0x50, 0x63FF, 0x17FF},  // P
    {0x51, 0x71FF, 0x52FF},  // Q
    {0x52, 0x20FF, 0x55FF},  // R
    {0x53, 0x77FF, 0x66FF},  // S
    {0x54, 0x74FF, 0x54FF},  // T
    {0x55, 0x56FF, 0x10FF},  // U
    {0x56, 0x26FF, 0x76FF},  // V
    {0x57, 0x65FF, 0x57FF},  // W
    {0x58, 0x73FF, 0x72FF},  // X
    {0x59, 0x66FF, 0x53FF},  // Y
    {0x5A, 0x17FF, 0x71FF},  // Z
    {0xBA, 0x15FF, 0x26FF},  // ;
    {0xBB, 0x72FF, 0x37FF},  // =
    {0xBC, 0x37FF, 0x31FF},  // ,
    {0xBE, 0x24FF, 0x32FF},  // .
    {0xDB, 0x11FF, 0x16FF},  // [
    {0xDC, 0x25FF, 0x24FF},  // backslash
    {0xDD, 0x12FF, 0x15FF},  // ]
    {0xDE, 0x32FF, 0x25FF},  // '
};

}  // namespace

KeyTables default_key_tables() {
    KeyTables t;
    t.latin.fill(NO_KEY);
    t.cyrillic.fill(NO_KEY);
    for (const SharedKey& k : SHARED_KEYS) t.latin[k.vk] = t.cyrillic[k.vk] = k.code;
    for (const LayoutKey& k : LAYOUT_KEYS) {
        t.latin[k.vk] = k.latin;
        t.cyrillic[k.vk] = k.cyrillic;
    }
    return t;
}

KeyTables key_tables_from_bytes(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < KEY_MAP_FILE_SIZE)
        throw RangeError("A key map holds " + std::to_string(KEY_MAP_FILE_SIZE) + " bytes, not " +
                         std::to_string(bytes.size()));
    KeyTables t;
    for (size_t i = 0; i < 256; ++i) {
        t.latin[i] = static_cast<KeyCode>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        t.cyrillic[i] = static_cast<KeyCode>(bytes[512 + 2 * i] | (bytes[512 + 2 * i + 1] << 8));
    }
    return t;
}

void kbd(MachineState& m, KeyCode code, bool pressed) {
    const int main_column = code >> 12, main_row = (code >> 8) & 0x0F;
    const int extra_column = (code >> 4) & 0x0F, extra_row = code & 0x0F;
    if (main_column < MAIN_MATRIX_COLUMNS && main_row < MATRIX_ROWS) {
        const uint8_t bit = static_cast<uint8_t>(1u << main_row);
        if (pressed)
            m.kbd_matrix[main_column] |= bit;
        else
            m.kbd_matrix[main_column] &= static_cast<uint8_t>(~bit);
    }
    if (extra_column < EXTRA_MATRIX_COLUMNS && extra_row < MATRIX_ROWS) {
        const uint8_t bit = static_cast<uint8_t>(1u << extra_row);
        if (pressed)
            m.kbd_extra[extra_column] |= bit;
        else
            m.kbd_extra[extra_column] &= static_cast<uint8_t>(~bit);
    }
}

KeyCode readmask(const MachineState& m, const KeyTables& t, uint8_t vk) {
    const bool cyrillic = do_read(m, FIRMWARE_KBD_MODE) & KBD_MODE_CYRILLIC;
    return cyrillic ? t.cyrillic[vk] : t.latin[vk];
}

void press_host_key(MachineState& m, const KeyTables& t, HeldKeys& held, uint8_t vk) {
    if (held.codes[vk] == NO_KEY) held.codes[vk] = readmask(m, t, vk);
    kbd(m, held.codes[vk], true);
}

void release_host_key(MachineState& m, HeldKeys& held, uint8_t vk) {
    const KeyCode code = held.codes[vk];
    if (code == NO_KEY) return;
    held.codes[vk] = NO_KEY;
    kbd(m, code, false);
    // Two host keys may name one position (the tables overlap): it stays held while
    // either is down.
    for (const KeyCode other : held.codes) {
        if (other != NO_KEY) kbd(m, other, true);
    }
}

void release_all_keys(MachineState& m, HeldKeys& held) {
    m.kbd_matrix.fill(0);
    m.kbd_extra.fill(0);
    held.codes.fill(NO_KEY);
}

}  // namespace lvov
