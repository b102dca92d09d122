// Base64 (RFC 4648, standard alphabet, padded) for the byte blobs of the preferences file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tallowmere {

std::string encodeBase64(std::span<const std::uint8_t> bytes);

// Accepts only the canonical form encodeBase64 writes: no whitespace, padding to a multiple of
// four, no stray bits in the last character. Anything else gives none.
std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text);

}  // namespace tallowmere
