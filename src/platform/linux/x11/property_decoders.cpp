// Bounded decoders for window properties: nothing is read past `length`, and numbers that feed
// geometry are clamped before anyone sums them.
#include "platform/linux/x11/property_decoders.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace tallowmere::x11 {
namespace {

std::vector<std::uint32_t> values32(const PropertyBytes& p) {
    std::vector<std::uint32_t> values;
    if (p.format != 32 || !p.data) {
        return values;
    }
    values.resize(p.length / 4);
    if (!values.empty()) {
        std::memcpy(values.data(), p.data, values.size() * 4);
    }
    return values;
}

bool validUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra = 0;
        std::uint32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= s.size()) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (d & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode are not UTF-8.
        static constexpr std::uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (code < kMinimum[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

// Settings files and Qt take UTF-8 only: anything else is taken as ICCCM's Latin-1.
std::string toUtf8(std::string s) {
    if (validUtf8(s)) {
        return s;
    }
    std::string out;
    out.reserve(s.size() * 2);
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(ch);
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

}  // namespace

std::optional<WmClass> decodeWmClass(const PropertyBytes& p) {
    if (p.format != 8 || !p.data || p.length == 0) {
        return std::nullopt;
    }
    const char* begin = reinterpret_cast<const char*>(p.data);
    const char* end = begin + p.length;
    const char* nul = std::find(begin, end, '\0');
    std::string instance(begin, nul);
    std::string className;
    if (nul != end && nul + 1 != end) {
        const char* second = nul + 1;
        className.assign(second, std::find(second, end, '\0'));
    }
    if (className.empty()) {
        className = instance;
    }
    if (className.empty()) {
        return std::nullopt;
    }
    return WmClass{toUtf8(std::move(instance)), toUtf8(std::move(className))};
}

std::optional<std::string> decodeText(const PropertyBytes& p) {
    if (p.format != 8 || !p.data || p.type == 0) {
        return std::nullopt;
    }
    const char* begin = reinterpret_cast<const char*>(p.data);
    return toUtf8(std::string(begin, std::find(begin, begin + p.length, '\0')));
}

std::optional<std::uint32_t> decodeCardinal(const PropertyBytes& p) {
    if (p.type != kAtomCardinal) {
        return std::nullopt;
    }
    auto values = values32(p);
    return values.empty() ? std::nullopt : std::optional(values.front());
}

std::optional<std::uint32_t> decodeWindow(const PropertyBytes& p) {
    if (p.type != kAtomWindow) {
        return std::nullopt;
    }
    auto values = values32(p);
    return values.empty() ? std::nullopt : std::optional(values.front());
}

std::vector<std::uint32_t> decodeAtoms(const PropertyBytes& p) {
    return p.type == kAtomAtom ? values32(p) : std::vector<std::uint32_t>{};
}

std::vector<std::uint32_t> decodeClientList(const PropertyBytes& p, std::uint32_t root) {
    std::vector<std::uint32_t> result;
    if (p.type != kAtomWindow) {
        return result;
    }
    std::vector<std::uint32_t> values = values32(p);
    std::unordered_set<std::uint32_t> seen;
    seen.reserve(values.size());
    for (std::uint32_t window : values) {
        if (window != 0 && window != root && seen.insert(window).second) {
            result.push_back(window);
        }
    }
    return result;
}

std::optional<FrameExtents> decodeFrameExtents(const PropertyBytes& p, int screenWidth,
                                               int screenHeight) {
    if (p.type != kAtomCardinal) {
        return std::nullopt;
    }
    auto values = values32(p);
    if (values.size() < 4) {
        return std::nullopt;
    }
    auto clampTo = [](std::uint32_t v, int limit) {
        return static_cast<int>(
            std::min<std::uint32_t>(v, static_cast<std::uint32_t>(std::max(limit, 0))));
    };
    return FrameExtents{clampTo(values[0], screenWidth), clampTo(values[1], screenWidth),
                        clampTo(values[2], screenHeight), clampTo(values[3], screenHeight)};
}

std::optional<RootRect> decodeWorkArea(const PropertyBytes& p, std::uint32_t desktop, int rootWidth,
                                       int rootHeight) {
    if (p.type != kAtomCardinal) {
        return std::nullopt;
    }
    auto values = values32(p);
    const std::size_t areas = values.size() / 4;
    if (areas == 0) {
        return std::nullopt;
    }
    const std::size_t at = (desktop < areas ? desktop : 0) * 4;
    // Signed 32-bit on the wire; anything out of the root's range is cut by the intersection.
    auto coordinate = [](std::uint32_t v) {
        return std::clamp<std::int64_t>(static_cast<std::int32_t>(v), -(1 << 20), 1 << 20);
    };
    auto extent = [](std::uint32_t v) { return std::min<std::int64_t>(v, 1 << 21); };
    RootRect area{
        static_cast<int>(coordinate(values[at])), static_cast<int>(coordinate(values[at + 1])),
        static_cast<int>(extent(values[at + 2])), static_cast<int>(extent(values[at + 3]))};
    return intersect(area, RootRect{0, 0, rootWidth, rootHeight});
}

std::optional<RootRect> intersect(const RootRect& a, const RootRect& b) {
    const std::int64_t left = std::max<std::int64_t>(a.x, b.x);
    const std::int64_t top = std::max<std::int64_t>(a.y, b.y);
    const std::int64_t right =
        std::min<std::int64_t>(std::int64_t{a.x} + a.width, std::int64_t{b.x} + b.width);
    const std::int64_t bottom =
        std::min<std::int64_t>(std::int64_t{a.y} + a.height, std::int64_t{b.y} + b.height);
    if (right <= left || bottom <= top) {
        return std::nullopt;
    }
    return RootRect{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                    static_cast<int>(bottom - top)};
}

}  // namespace tallowmere::x11
