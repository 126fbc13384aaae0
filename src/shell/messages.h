#pragma once

// The window messages the main window procedure handles, with their Windows numbers, and the
// packing of their two parameters. The Qt window packs each event into one of these; the window
// procedure unpacks it exactly as a Windows window procedure would, so its rules can be read and
// tested message by message.

#include <cstdint>

namespace shell {

using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
// Another start of the program hands over its command line: lParam points to a HandedOverFiles
// (window_host.h) for the length of the message. Handled, it returns TRUE (1).
constexpr UINT WM_COPYDATA = 0x004A;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_VSCROLL = 0x0115;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_DROPFILES = 0x0233;

// Key-state flags of the mouse messages.
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;

// Scroll-bar request codes of WM_VSCROLL.
constexpr std::uint16_t SB_LINEUP = 0;
constexpr std::uint16_t SB_LINEDOWN = 1;
constexpr std::uint16_t SB_PAGEUP = 2;
constexpr std::uint16_t SB_PAGEDOWN = 3;
constexpr std::uint16_t SB_THUMBPOSITION = 4;
constexpr std::uint16_t SB_THUMBTRACK = 5;
constexpr std::uint16_t SB_TOP = 6;
constexpr std::uint16_t SB_BOTTOM = 7;
constexpr std::uint16_t SB_ENDSCROLL = 8;

// WM_SIZE's wParam for a plain resize.
constexpr WPARAM SIZE_RESTORED = 0;
// A wheel notch.
constexpr int WHEEL_DELTA = 120;

constexpr std::uint16_t loWord(std::uintptr_t value) {
    return static_cast<std::uint16_t>(value & 0xFFFF);
}
constexpr std::uint16_t hiWord(std::uintptr_t value) {
    return static_cast<std::uint16_t>((value >> 16) & 0xFFFF);
}
// The two words of a coordinate pair or a wheel delta, read as signed 16-bit values.
constexpr std::int16_t signedLoWord(std::uintptr_t value) {
    return static_cast<std::int16_t>(loWord(value));
}
constexpr std::int16_t signedHiWord(std::uintptr_t value) {
    return static_cast<std::int16_t>(hiWord(value));
}
// Two values cut to 16 bits each, `low` in the low word.
constexpr WPARAM makeWParam(int low, int high) {
    return static_cast<WPARAM>((static_cast<std::uint32_t>(high) & 0xFFFF) << 16 |
                               (static_cast<std::uint32_t>(low) & 0xFFFF));
}
constexpr LPARAM makeLParam(int low, int high) {
    return static_cast<LPARAM>(makeWParam(low, high));
}

}  // namespace shell
