// Host key codes: Windows virtual-key numbers under their Windows names.
//
// Every layer that speaks of host keys uses this numbering: the host key layer produces
// it, the key tables and the key-map file are indexed by it, and typed text becomes it.
// Letters are their upper-case ASCII codes ('A' = 0x41 .. 'Z' = 0x5A) and have no
// names here. Left and right Shift, Ctrl and Alt have codes of their own (VK_LSHIFT ...);
// the host key layer folds them into VK_SHIFT, VK_CONTROL and VK_MENU before the tables
// see them. VK_NONE (0) means no key.
#pragma once
#include <cstdint>

namespace lvov {

constexpr uint8_t VK_NONE = 0x00;
constexpr uint8_t VK_BACK = 0x08;  // Backspace
constexpr uint8_t VK_TAB = 0x09;
constexpr uint8_t VK_RETURN = 0x0D;  // Enter, the main one and the keypad's
constexpr uint8_t VK_SHIFT = 0x10;
constexpr uint8_t VK_CONTROL = 0x11;
constexpr uint8_t VK_MENU = 0x12;  // Alt
constexpr uint8_t VK_PAUSE = 0x13;
constexpr uint8_t VK_CAPITAL = 0x14;  // Caps Lock
constexpr uint8_t VK_ESCAPE = 0x1B;
constexpr uint8_t VK_SPACE = 0x20;
constexpr uint8_t VK_PRIOR = 0x21;  // Page Up
constexpr uint8_t VK_NEXT = 0x22;  // Page Down
constexpr uint8_t VK_END = 0x23;
constexpr uint8_t VK_HOME = 0x24;
constexpr uint8_t VK_LEFT = 0x25;
constexpr uint8_t VK_UP = 0x26;
constexpr uint8_t VK_RIGHT = 0x27;
constexpr uint8_t VK_DOWN = 0x28;
constexpr uint8_t VK_SNAPSHOT = 0x2C;  // Print Screen
constexpr uint8_t VK_INSERT = 0x2D;
constexpr uint8_t VK_DELETE = 0x2E;

// The digit row: VK_0 + d is digit d.
constexpr uint8_t VK_0 = 0x30;
constexpr uint8_t VK_1 = 0x31;
constexpr uint8_t VK_2 = 0x32;
constexpr uint8_t VK_3 = 0x33;
constexpr uint8_t VK_4 = 0x34;
constexpr uint8_t VK_5 = 0x35;
constexpr uint8_t VK_6 = 0x36;
constexpr uint8_t VK_7 = 0x37;
constexpr uint8_t VK_8 = 0x38;
constexpr uint8_t VK_9 = 0x39;

constexpr uint8_t VK_LWIN = 0x5B;
constexpr uint8_t VK_RWIN = 0x5C;
constexpr uint8_t VK_APPS = 0x5D;  // the context-menu key

// The keypad: VK_NUMPAD0 + d is keypad digit d.
constexpr uint8_t VK_NUMPAD0 = 0x60;
constexpr uint8_t VK_NUMPAD1 = 0x61;
constexpr uint8_t VK_NUMPAD2 = 0x62;
constexpr uint8_t VK_NUMPAD3 = 0x63;
constexpr uint8_t VK_NUMPAD4 = 0x64;
constexpr uint8_t VK_NUMPAD5 = 0x65;
constexpr uint8_t VK_NUMPAD6 = 0x66;
constexpr uint8_t VK_NUMPAD7 = 0x67;
constexpr uint8_t VK_NUMPAD8 = 0x68;
constexpr uint8_t VK_NUMPAD9 = 0x69;
constexpr uint8_t VK_MULTIPLY = 0x6A;
constexpr uint8_t VK_ADD = 0x6B;
constexpr uint8_t VK_SUBTRACT = 0x6D;
constexpr uint8_t VK_DECIMAL = 0x6E;
constexpr uint8_t VK_DIVIDE = 0x6F;

// Function keys: VK_F1 + (n - 1) is Fn, for n = 1..24.
constexpr uint8_t VK_F1 = 0x70;
constexpr uint8_t VK_F2 = 0x71;
constexpr uint8_t VK_F3 = 0x72;
constexpr uint8_t VK_F4 = 0x73;
constexpr uint8_t VK_F5 = 0x74;
constexpr uint8_t VK_F6 = 0x75;
constexpr uint8_t VK_F7 = 0x76;
constexpr uint8_t VK_F8 = 0x77;
constexpr uint8_t VK_F9 = 0x78;
constexpr uint8_t VK_F10 = 0x79;
constexpr uint8_t VK_F11 = 0x7A;
constexpr uint8_t VK_F12 = 0x7B;
constexpr uint8_t VK_F13 = 0x7C;
constexpr uint8_t VK_F24 = 0x87;

constexpr uint8_t VK_NUMLOCK = 0x90;
constexpr uint8_t VK_SCROLL = 0x91;  // Scroll Lock

// Left and right variants, as a Windows host reports them.
constexpr uint8_t VK_LSHIFT = 0xA0;
constexpr uint8_t VK_RSHIFT = 0xA1;
constexpr uint8_t VK_LCONTROL = 0xA2;
constexpr uint8_t VK_RCONTROL = 0xA3;
constexpr uint8_t VK_LMENU = 0xA4;
constexpr uint8_t VK_RMENU = 0xA5;

// Punctuation keys, by their US legends.
constexpr uint8_t VK_OEM_1 = 0xBA;  // ; :
constexpr uint8_t VK_OEM_PLUS = 0xBB;  // = +
constexpr uint8_t VK_OEM_COMMA = 0xBC;  // , <
constexpr uint8_t VK_OEM_MINUS = 0xBD;  // - _
constexpr uint8_t VK_OEM_PERIOD = 0xBE;  // . >
constexpr uint8_t VK_OEM_2 = 0xBF;  // / ?
constexpr uint8_t VK_OEM_3 = 0xC0;  // ` ~
constexpr uint8_t VK_OEM_4 = 0xDB;  // [ {
constexpr uint8_t VK_OEM_5 = 0xDC;  // \ |
constexpr uint8_t VK_OEM_6 = 0xDD;  // ] }
constexpr uint8_t VK_OEM_7 = 0xDE;  // ' "
constexpr uint8_t VK_OEM_102 = 0xE2;  // the extra key left of Z on European keyboards

}  // namespace lvov
