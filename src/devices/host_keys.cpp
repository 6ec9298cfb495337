#include "devices/host_keys.h"

#include <QKeyEvent>
#include <array>

namespace lvov {

namespace {

// evdev key number -> virtual key, for the keys of a PC keyboard (0 = none).
constexpr std::array<uint8_t, 195> make_evdev_table() {
    std::array<uint8_t, 195> t{};
    t[1] = 0x1B;   // Esc
    for (int i = 0; i < 9; ++i) t[2 + i] = static_cast<uint8_t>(0x31 + i);  // 1..9
    t[11] = 0x30;  // 0
    t[12] = 0xBD;  // -
    t[13] = 0xBB;  // =
    t[14] = 0x08;  // Backspace
    t[15] = 0x09;  // Tab
    const char row1[] = "QWERTYUIOP";
    for (int i = 0; i < 10; ++i) t[16 + i] = static_cast<uint8_t>(row1[i]);
    t[26] = 0xDB;  // [
    t[27] = 0xDD;  // ]
    t[28] = 0x0D;  // Enter
    t[29] = 0x11;  // left Ctrl
    const char row2[] = "ASDFGHJKL";
    for (int i = 0; i < 9; ++i) t[30 + i] = static_cast<uint8_t>(row2[i]);
    t[39] = 0xBA;  // ;
    t[40] = 0xDE;  // '
    t[41] = 0xC0;  // `
    t[42] = 0x10;  // left Shift
    t[43] = 0xDC;  // backslash
    const char row3[] = "ZXCVBNM";
    for (int i = 0; i < 7; ++i) t[44 + i] = static_cast<uint8_t>(row3[i]);
    t[51] = 0xBC;  // ,
    t[52] = 0xBE;  // .
    t[53] = 0xBF;  // /
    t[54] = 0x10;  // right Shift
    t[55] = 0x6A;  // keypad *
    t[56] = 0x12;  // left Alt
    t[57] = 0x20;  // Space
    t[58] = 0x14;  // Caps Lock
    for (int i = 0; i < 10; ++i) t[59 + i] = static_cast<uint8_t>(0x70 + i);  // F1..F10
    t[69] = 0x90;  // Num Lock
    t[70] = 0x91;  // Scroll Lock
    t[71] = 0x67;  // keypad 7
    t[72] = 0x68;
    t[73] = 0x69;
    t[74] = 0x6D;  // keypad -
    t[75] = 0x64;  // keypad 4
    t[76] = 0x65;
    t[77] = 0x66;
    t[78] = 0x6B;  // keypad +
    t[79] = 0x61;  // keypad 1
    t[80] = 0x62;
    t[81] = 0x63;
    t[82] = 0x60;  // keypad 0
    t[83] = 0x6E;  // keypad .
    t[86] = 0xE2;  // the extra key left of Z on European keyboards
    t[87] = 0x7A;  // F11
    t[88] = 0x7B;  // F12
    t[96] = 0x0D;  // keypad Enter
    t[97] = 0x11;  // right Ctrl
    t[98] = 0x6F;  // keypad /
    t[99] = 0x2C;  // Print Screen
    t[100] = 0x12; // right Alt
    t[102] = 0x24; // Home
    t[103] = 0x26; // Up
    t[104] = 0x21; // Page Up
    t[105] = 0x25; // Left
    t[106] = 0x27; // Right
    t[107] = 0x23; // End
    t[108] = 0x28; // Down
    t[109] = 0x22; // Page Down
    t[110] = 0x2D; // Insert
    t[111] = 0x2E; // Delete
    t[119] = 0x13; // Pause
    t[125] = 0x5B; // left Windows
    t[126] = 0x5C; // right Windows
    t[127] = 0x5D; // context menu
    for (int i = 0; i < 12; ++i) t[183 + i] = static_cast<uint8_t>(0x7C + i);  // F13..F24
    return t;
}

constexpr auto kEvdevTable = make_evdev_table();

// The Russian layout's letters on the US keys, in US order: QWERTYUIOP[] ASDFGHJKL;'
// ZXCVBNM,. and `; Ukrainian І Ї Є sit on S, ] and '.
struct CyrillicKey {
    char16_t upper;
    uint8_t vk;
};
constexpr CyrillicKey kCyrillicKeys[] = {
    {u'Й', 'Q'}, {u'Ц', 'W'}, {u'У', 'E'}, {u'К', 'R'}, {u'Е', 'T'}, {u'Н', 'Y'},
    {u'Г', 'U'}, {u'Ш', 'I'}, {u'Щ', 'O'}, {u'З', 'P'}, {u'Х', 0xDB}, {u'Ъ', 0xDD},
    {u'Ф', 'A'}, {u'Ы', 'S'}, {u'В', 'D'}, {u'А', 'F'}, {u'П', 'G'}, {u'Р', 'H'},
    {u'О', 'J'}, {u'Л', 'K'}, {u'Д', 'L'}, {u'Ж', 0xBA}, {u'Э', 0xDE}, {u'Я', 'Z'},
    {u'Ч', 'X'}, {u'С', 'C'}, {u'М', 'V'}, {u'И', 'B'}, {u'Т', 'N'}, {u'Ь', 'M'},
    {u'Б', 0xBC}, {u'Ю', 0xBE}, {u'Ё', 0xC0}, {u'І', 'S'}, {u'Ї', 0xDD}, {u'Є', 0xDE},
};

}  // namespace

uint8_t vk_from_evdev(uint32_t evdev_code) {
    return evdev_code < kEvdevTable.size() ? kEvdevTable[evdev_code] : VK_NONE;
}

uint8_t vk_from_windows_vk(uint32_t native_vk) {
    switch (native_vk) {
        case 0xA0: case 0xA1: return VK_SHIFT_KEY;  // left/right Shift
        case 0xA2: case 0xA3: return VK_CONTROL;    // left/right Ctrl
        case 0xA4: case 0xA5: return VK_MENU;       // left/right Alt
        default: return native_vk <= 0xFF ? static_cast<uint8_t>(native_vk) : VK_NONE;
    }
}

uint8_t vk_from_qt_key(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<uint8_t>(key);  // same numbers
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return static_cast<uint8_t>(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return static_cast<uint8_t>(0x70 + (key - Qt::Key_F1));
    for (const auto& c : kCyrillicKeys) {
        if (key == c.upper) return c.vk;
    }
    switch (key) {
        case Qt::Key_Escape: return 0x1B;
        case Qt::Key_Tab: case Qt::Key_Backtab: return 0x09;
        case Qt::Key_Backspace: return 0x08;
        case Qt::Key_Return: case Qt::Key_Enter: return 0x0D;
        case Qt::Key_Insert: return 0x2D;
        case Qt::Key_Delete: return 0x2E;
        case Qt::Key_Pause: return 0x13;
        case Qt::Key_Print: return 0x2C;
        case Qt::Key_Home: return 0x24;
        case Qt::Key_End: return 0x23;
        case Qt::Key_Left: return 0x25;
        case Qt::Key_Up: return 0x26;
        case Qt::Key_Right: return 0x27;
        case Qt::Key_Down: return 0x28;
        case Qt::Key_PageUp: return 0x21;
        case Qt::Key_PageDown: return 0x22;
        case Qt::Key_Shift: return VK_SHIFT_KEY;
        case Qt::Key_Control: return VK_CONTROL;
        case Qt::Key_Alt: case Qt::Key_AltGr: return VK_MENU;
        case Qt::Key_Meta: return 0x5B;
        case Qt::Key_Menu: return 0x5D;
        case Qt::Key_CapsLock: return 0x14;
        case Qt::Key_NumLock: return 0x90;
        case Qt::Key_ScrollLock: return 0x91;
        case Qt::Key_Space: return 0x20;
        // Punctuation keys of a US keyboard, unshifted and shifted.
        case Qt::Key_Minus: case Qt::Key_Underscore: return 0xBD;
        case Qt::Key_Equal: case Qt::Key_Plus: return 0xBB;
        case Qt::Key_BracketLeft: case Qt::Key_BraceLeft: return 0xDB;
        case Qt::Key_BracketRight: case Qt::Key_BraceRight: return 0xDD;
        case Qt::Key_Backslash: case Qt::Key_Bar: return 0xDC;
        case Qt::Key_Semicolon: case Qt::Key_Colon: return 0xBA;
        case Qt::Key_Apostrophe: case Qt::Key_QuoteDbl: return 0xDE;
        case Qt::Key_Comma: case Qt::Key_Less: return 0xBC;
        case Qt::Key_Period: case Qt::Key_Greater: return 0xBE;
        case Qt::Key_Slash: case Qt::Key_Question: return 0xBF;
        case Qt::Key_QuoteLeft: case Qt::Key_AsciiTilde: return 0xC0;
        // Shifted digits.
        case Qt::Key_Exclam: return 0x31;
        case Qt::Key_At: return 0x32;
        case Qt::Key_NumberSign: return 0x33;
        case Qt::Key_Dollar: return 0x34;
        case Qt::Key_Percent: return 0x35;
        case Qt::Key_AsciiCircum: return 0x36;
        case Qt::Key_Ampersand: return 0x37;
        case Qt::Key_Asterisk: return 0x38;
        case Qt::Key_ParenLeft: return 0x39;
        case Qt::Key_ParenRight: return 0x30;
        default: return VK_NONE;
    }
}

uint8_t host_virtual_key(const QKeyEvent& event) {
#if defined(Q_OS_WIN)
    if (const uint8_t vk = vk_from_windows_vk(event.nativeVirtualKey())) return vk;
#elif defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    // xcb, wayland, offscreen and the Linux console platforms all report XKB keycodes.
    const uint32_t scan = event.nativeScanCode();
    if (scan > XKB_EVDEV_OFFSET) {
        if (const uint8_t vk = vk_from_evdev(scan - XKB_EVDEV_OFFSET)) return vk;
    }
#endif
    return vk_from_qt_key(event.key());
}

}  // namespace lvov
