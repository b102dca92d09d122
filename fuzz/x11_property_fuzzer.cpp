// Window properties as any X client may write them: a type, a format and bytes go through every
// decoder, which must stay inside the bytes and return bounded values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/linux/x11/property_decoders.h"

using namespace tallowmere::x11;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    // The first bytes choose the type and format, as a property's header does.
    static constexpr std::uint32_t kTypes[] = {kAtomAtom, kAtomCardinal, kAtomString, kAtomWindow};
    static constexpr std::uint8_t kFormats[] = {8, 16, 32, 0};
    const PropertyBytes p{kTypes[data[0] % 4], kFormats[data[1] % 4], nullptr, 0};
    const std::uint32_t desktop = data[2];
    // A copy of exactly the remaining size, so that a read past it is caught.
    std::vector<std::uint8_t> bytes(data + 3, data + size);
    const PropertyBytes property{p.type, p.format, bytes.empty() ? nullptr : bytes.data(),
                                 bytes.size()};

    if (auto wmClass = decodeWmClass(property); wmClass && wmClass->className.empty()) {
        std::abort();  // a class is never empty
    }
    (void)decodeText(property);
    (void)decodeCardinal(property);
    (void)decodeWindow(property);
    (void)decodeAtoms(property);
    for (std::uint32_t window : decodeClientList(property, 0x1e6)) {
        if (window == 0 || window == 0x1e6) {
            std::abort();
        }
    }
    if (auto extents = decodeFrameExtents(property, 1920, 1080)) {
        if (extents->left < 0 || extents->left > 1920 || extents->right > 1920 ||
            extents->top < 0 || extents->top > 1080 || extents->bottom > 1080) {
            std::abort();
        }
    }
    if (auto area = decodeWorkArea(property, desktop, 1920, 1080)) {
        if (area->x < 0 || area->y < 0 || area->width <= 0 || area->height <= 0 ||
            area->x + area->width > 1920 || area->y + area->height > 1080) {
            std::abort();
        }
    }
    return 0;
}
