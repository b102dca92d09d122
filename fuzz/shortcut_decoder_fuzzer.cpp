// Any bytes stored under a shortcut key: decoding never fails badly, and whatever decodes encodes
// and decodes again to the same shortcut.
#include <cstdint>
#include <cstdlib>

#include "settings/shortcut_spec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tallowmere;
    const auto decoded = decodeShortcut(PrefData(data, data + size));
    if (!decoded) {
        return 0;
    }
    // The decoder accepts only valid UTF-8, so its display string must encode.
    const auto encoded = encodeShortcut(*decoded);
    if (!encoded || decodeShortcut(*encoded) != decoded) {
        std::abort();
    }
    return 0;
}
