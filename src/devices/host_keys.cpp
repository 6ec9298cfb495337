#include "devices/host_keys.h"

#include <QKeyEvent>
#include <array>

namespace lvov {

namespace {

// evdev key number -> virtual key, for the keys of a PC keyboard (0 = none).
constexpr std::array<uint8_t, 195> make_evdev_table() {
    std::array<uint8_t, 195> t{};
    t[1] = VK_ESCAPE;
    for (int i = 0; i < 9; ++i) t[2 + i] = static_cast<uint8_t>(VK_1 + i);  // 1..9
    t[11] = VK_0;
    t[12] = VK_OEM_MINUS;
    t[13] = VK_OEM_PLUS;
    t[14] = VK_BACK;
    t[15] = VK_TAB;
    const char row1[] = "QWERTYUIOP";
    for (int i = 0; i < 10; ++i) t[16 + i] = static_cast<uint8_t>(row1[i]);
    t[26] = VK_OEM_4;  // [
    t[27] = VK_OEM_6;  // ]
    t[28] = VK_RETURN;
    t[29] = VK_CONTROL;  // left Ctrl
    const char row2[] = "ASDFGHJKL";
    for (int i = 0; i < 9; ++i) t[30 + i] = static_cast<uint8_t>(row2[i]);
    t[39] = VK_OEM_1;  // ;
    t[40] = VK_OEM_7;  // '
    t[41] = VK_OEM_3;  // `
    t[42] = VK_SHIFT;  // left Shift
    t[43] = VK_OEM_5;  // backslash
    const char row3[] = "ZXCVBNM";
    for (int i = 0; i < 7; ++i) t[44 + i] = static_cast<uint8_t>(row3[i]);
    t[51] = VK_OEM_COMMA;
    t[52] = VK_OEM_PERIOD;
    t[53] = VK_OEM_2;  // /
    t[54] = VK_SHIFT;  // right Shift
    t[55] = VK_MULTIPLY;
    t[56] = VK_MENU;  // left Alt
    t[57] = VK_SPACE;
    t[58] = VK_CAPITAL;
    for (int i = 0; i < 10; ++i) t[59 + i] = static_cast<uint8_t>(VK_F1 + i);  // F1..F10
    t[69] = VK_NUMLOCK;
    t[70] = VK_SCROLL;
    t[71] = VK_NUMPAD7;
    t[72] = VK_NUMPAD8;
    t[73] = VK_NUMPAD9;
    t[74] = VK_SUBTRACT;
    t[75] = VK_NUMPAD4;
    t[76] = VK_NUMPAD5;
    t[77] = VK_NUMPAD6;
    t[78] = VK_ADD;
    t[79] = VK_NUMPAD1;
    t[80] = VK_NUMPAD2;
    t[81] = VK_NUMPAD3;
    t[82] = VK_NUMPAD0;
    t[83] = VK_DECIMAL;
    t[86] = VK_OEM_102;
    t[87] = VK_F11;
    t[88] = VK_F12;
    t[96] = VK_RETURN;  // keypad Enter
    t[97] = VK_CONTROL;  // right Ctrl
    t[98] = VK_DIVIDE;
    t[99] = VK_SNAPSHOT;
    t[100] = VK_MENU;  // right Alt
    t[102] = VK_HOME;
    t[103] = VK_UP;
    t[104] = VK_PRIOR;
    t[105] = VK_LEFT;
    t[106] = VK_RIGHT;
    t[107] = VK_END;
    t[108] = VK_DOWN;
    t[109] = VK_NEXT;
    t[110] = VK_INSERT;
    t[111] = VK_DELETE;
    t[119] = VK_PAUSE;
    t[125] = VK_LWIN;
    t[126] = VK_RWIN;
    t[127] = VK_APPS;
    for (int i = 0; i < 12; ++i) t[183 + i] = static_cast<uint8_t>(VK_F13 + i);  // F13..F24
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
    {u'Й', 'Q'},          {u'Ц', 'W'},           {u'У', 'E'},      {u'К', 'R'},      {u'Е', 'T'},      {u'Н', 'Y'},
    {u'Г', 'U'},          {u'Ш', 'I'},           {u'Щ', 'O'},      {u'З', 'P'},      {u'Х', VK_OEM_4}, {u'Ъ', VK_OEM_6},
    {u'Ф', 'A'},          {u'Ы', 'S'},           {u'В', 'D'},      {u'А', 'F'},      {u'П', 'G'},      {u'Р', 'H'},
    {u'О', 'J'},          {u'Л', 'K'},           {u'Д', 'L'},      {u'Ж', VK_OEM_1}, {u'Э', VK_OEM_7}, {u'Я', 'Z'},
    {u'Ч', 'X'},          {u'С', 'C'},           {u'М', 'V'},      {u'И', 'B'},      {u'Т', 'N'},      {u'Ь', 'M'},
    {u'Б', VK_OEM_COMMA}, {u'Ю', VK_OEM_PERIOD}, {u'Ё', VK_OEM_3}, {u'І', 'S'},      {u'Ї', VK_OEM_6}, {u'Є', VK_OEM_7},
};

}  // namespace

uint8_t vk_from_evdev(uint32_t evdev_code) {
    return evdev_code < kEvdevTable.size() ? kEvdevTable[evdev_code] : VK_NONE;
}

uint8_t vk_from_windows_vk(uint32_t native_vk) {
    switch (native_vk) {
    case VK_LSHIFT:
    case VK_RSHIFT: return VK_SHIFT;
    case VK_LCONTROL:
    case VK_RCONTROL: return VK_CONTROL;
    case VK_LMENU:
    case VK_RMENU: return VK_MENU;
    default: return native_vk <= 0xFF ? static_cast<uint8_t>(native_vk) : VK_NONE;
    }
}

uint8_t vk_from_qt_key(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<uint8_t>(key);  // same numbers
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return static_cast<uint8_t>(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return static_cast<uint8_t>(VK_F1 + (key - Qt::Key_F1));
    for (const auto& c : kCyrillicKeys) {
        if (key == c.upper) return c.vk;
    }
    switch (key) {
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Pause: return VK_PAUSE;
    case Qt::Key_Print: return VK_SNAPSHOT;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt:
    case Qt::Key_AltGr: return VK_MENU;
    case Qt::Key_Meta: return VK_LWIN;
    case Qt::Key_Menu: return VK_APPS;
    case Qt::Key_CapsLock: return VK_CAPITAL;
    case Qt::Key_NumLock: return VK_NUMLOCK;
    case Qt::Key_ScrollLock: return VK_SCROLL;
    case Qt::Key_Space: return VK_SPACE;
    // Punctuation keys of a US keyboard, unshifted and shifted.
    case Qt::Key_Minus:
    case Qt::Key_Underscore: return VK_OEM_MINUS;
    case Qt::Key_Equal:
    case Qt::Key_Plus: return VK_OEM_PLUS;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft: return VK_OEM_4;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight: return VK_OEM_6;
    case Qt::Key_Backslash:
    case Qt::Key_Bar: return VK_OEM_5;
    case Qt::Key_Semicolon:
    case Qt::Key_Colon: return VK_OEM_1;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl: return VK_OEM_7;
    case Qt::Key_Comma:
    case Qt::Key_Less: return VK_OEM_COMMA;
    case Qt::Key_Period:
    case Qt::Key_Greater: return VK_OEM_PERIOD;
    case Qt::Key_Slash:
    case Qt::Key_Question: return VK_OEM_2;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde: return VK_OEM_3;
    // Shifted digits.
    case Qt::Key_Exclam: return VK_1;
    case Qt::Key_At: return VK_2;
    case Qt::Key_NumberSign: return VK_3;
    case Qt::Key_Dollar: return VK_4;
    case Qt::Key_Percent: return VK_5;
    case Qt::Key_AsciiCircum: return VK_6;
    case Qt::Key_Ampersand: return VK_7;
    case Qt::Key_Asterisk: return VK_8;
    case Qt::Key_ParenLeft: return VK_9;
    case Qt::Key_ParenRight: return VK_0;
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
