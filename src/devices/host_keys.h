// Host key events to Windows virtual-key codes, the numbering the key tables use.
//
// Keys are identified by their physical position as on a US keyboard, whatever input
// language the host has switched to: the key left of S gives 0x41 (A) under a Russian
// layout too, where Qt reports it as the Cyrillic letter Ф. The position comes from:
//   - X11 and Wayland (and any Linux platform): the native scan code, an XKB keycode,
//     which is the evdev key number plus 8;
//   - Windows: the native virtual-key code;
//   - otherwise, or when the native code says nothing: Qt's key code, with the Russian
//     letters mapped back to the US keys that carry them.
// Left and right Shift, Ctrl and Alt both give 0x10, 0x11 and 0x12. 0 means no key.
#pragma once
#include <cstdint>

#include "devices/key_codes.h"

class QKeyEvent;

namespace lvov {

// XKB keycodes are evdev key numbers shifted by 8.
constexpr uint32_t XKB_EVDEV_OFFSET = 8;

// Virtual key of an evdev key number (linux/input-event-codes.h), 0 when unknown.
uint8_t vk_from_evdev(uint32_t evdev_code);

// Virtual key of a Qt::Key value, 0 when unknown. Cyrillic letters give the US key they
// share a key cap with on the Russian layout.
uint8_t vk_from_qt_key(int qt_key);

// Virtual key of a Windows virtual-key code as the host reports it: the left/right
// variants of Shift, Ctrl and Alt fold into the plain codes.
uint8_t vk_from_windows_vk(uint32_t native_vk);

// The virtual key of a key event, by the platform rules above.
uint8_t host_virtual_key(const QKeyEvent& event);

}  // namespace lvov
