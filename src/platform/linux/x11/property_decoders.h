// Decoding of the window properties the program reads. Any client can write any of them, so every
// decoder takes the raw reply (type, format, bytes) and bounds what it returns; nothing here
// touches the X server, which keeps the decoders fuzzable on their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tallowmere::x11 {

// Predefined atoms of the core protocol.
inline constexpr std::uint32_t kAtomAtom = 4;
inline constexpr std::uint32_t kAtomCardinal = 6;
inline constexpr std::uint32_t kAtomString = 31;
inline constexpr std::uint32_t kAtomWindow = 33;

// A rectangle in root coordinates (top-left origin, y down).
struct RootRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct FrameExtents {
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;
};

// One property as GetProperty returned it; `length` counts bytes.
struct PropertyBytes {
    std::uint32_t type = 0;
    std::uint8_t format = 0;
    const std::uint8_t* data = nullptr;
    std::size_t length = 0;
};

struct WmClass {
    std::string instance;
    std::string className;
};

// WM_CLASS: the class is the second string. One string, or none terminated, stands for both;
// an empty property is no class. Text that is not UTF-8 is read as Latin-1 (ICCCM's STRING).
std::optional<WmClass> decodeWmClass(const PropertyBytes& p);
// The first string of a text property (WM_WINDOW_ROLE, WM_CLIENT_MACHINE).
std::optional<std::string> decodeText(const PropertyBytes& p);
// The first 32-bit value of a CARDINAL property (_NET_WM_PID, _NET_WM_DESKTOP, ...).
std::optional<std::uint32_t> decodeCardinal(const PropertyBytes& p);
// The first window of a WINDOW property (WM_TRANSIENT_FOR, _NET_ACTIVE_WINDOW, ...).
std::optional<std::uint32_t> decodeWindow(const PropertyBytes& p);
// An ATOM list (_NET_WM_WINDOW_TYPE, _NET_WM_STATE).
std::vector<std::uint32_t> decodeAtoms(const PropertyBytes& p);
// _NET_CLIENT_LIST: in order, without None, the root, or repeats.
std::vector<std::uint32_t> decodeClientList(const PropertyBytes& p, std::uint32_t root);
// _NET_FRAME_EXTENTS, each side clamped to the screen's size.
std::optional<FrameExtents> decodeFrameExtents(const PropertyBytes& p, int screenWidth,
                                               int screenHeight);
// The current desktop's _NET_WORKAREA (the first one when it lists fewer), clipped to the root;
// none when it is malformed or nothing of it is on the root.
std::optional<RootRect> decodeWorkArea(const PropertyBytes& p, std::uint32_t desktop, int rootWidth,
                                       int rootHeight);

// The overlap of two rectangles; sums in 64 bits, so any int input is safe.
std::optional<RootRect> intersect(const RootRect& a, const RootRect& b);

}  // namespace tallowmere::x11
