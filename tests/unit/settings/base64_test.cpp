#include <gtest/gtest.h>

#include <string_view>

#include "platform/linux/base64.h"

namespace tallowmere {
namespace {

TEST(Base64, RoundTripsTheStandardVectorsAndRejectsAnythingButTheCanonicalForm) {
    const std::pair<std::string_view, std::string_view> vectors[] = {{"", ""},
                                                                     {"f", "Zg=="},
                                                                     {"fo", "Zm8="},
                                                                     {"foo", "Zm9v"},
                                                                     {"foob", "Zm9vYg=="},
                                                                     {"foobar", "Zm9vYmFy"},
                                                                     {"\xfb\xff", "+/8="}};
    for (const auto& [plain, encoded] : vectors) {
        const std::vector<std::uint8_t> raw(plain.begin(), plain.end());
        EXPECT_EQ(encodeBase64(raw), encoded);
        EXPECT_EQ(decodeBase64(encoded), raw);
    }
    for (std::string_view text :
         {"Zg", "Zg=", "Z===", "Zg==Zg==", "Zg=A", " Zm9v", "Zm9v\n", "Zm9v!A==", "Zh==", "Zm9="}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(decodeBase64(text), std::nullopt);
    }
}

}  // namespace
}  // namespace tallowmere
