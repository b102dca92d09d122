#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/linux/base64.h"

namespace tallowmere {
namespace {

std::vector<std::uint8_t> bytes(std::string_view text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

TEST(Base64, MatchesTheStandardTestVectorsBothWays) {
    const std::pair<std::string_view, std::string_view> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : vectors) {
        SCOPED_TRACE(plain);
        EXPECT_EQ(encodeBase64(bytes(plain)), encoded);
        EXPECT_EQ(decodeBase64(encoded), bytes(plain));
    }
}

TEST(Base64, RoundTripsEveryByteValueAtEveryRemainder) {
    std::vector<std::uint8_t> all;
    for (int value = 255; value >= 0; --value) {
        all.push_back(static_cast<std::uint8_t>(value));
    }
    for (std::size_t size : {254u, 255u, 256u}) {
        const std::vector<std::uint8_t> input(all.begin(), all.begin() + size);
        EXPECT_EQ(decodeBase64(encodeBase64(input)), input);
    }
    EXPECT_EQ(encodeBase64(std::vector<std::uint8_t>{0xfb, 0xff}), "+/8=");
}

TEST(Base64, RejectsAnythingButTheCanonicalForm) {
    for (std::string_view text : {"Zg", "Zg=", "Zm9", "Z===", "====", "Zg==Zg==", "Zg=A", "Zm9v\n",
                                  " Zm9v", "Zm9v!A==", "Zh==", "Zm9=", "Zm-_"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(decodeBase64(text), std::nullopt);
    }
}

}  // namespace
}  // namespace tallowmere
