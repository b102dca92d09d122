#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "settings/shortcut_spec.h"

namespace tallowmere {
namespace {

const ShortcutSpec kControlCommandR{15, 0x1000 | 0x0100, "⌃⌘R"};

TEST(ShortcutJson, DecodesOnlyCompleteWellTypedObjectsThatFitTheWidths) {
    const std::pair<std::string_view, std::optional<ShortcutSpec>> cases[] = {
        {R"({"keyCode":15,"carbonModifiers":4352,"displayString":"⌃⌘R"})", kControlCommandR},
        {R"( {"displayString":"⌃⌘R", "x":[1], "carbonModifiers":4352, "keyCode":15} )",
         kControlCommandR},
        {R"({"keyCode":65535,"carbonModifiers":4294967295,"displayString":""})",
         ShortcutSpec{65535, 4294967295u, ""}},
        {R"({"keyCode":15,"carbonModifiers":4352})", std::nullopt},
        {R"({"keyCode":65536,"carbonModifiers":0,"displayString":"R"})", std::nullopt},
        {R"({"keyCode":-1,"carbonModifiers":0,"displayString":"R"})", std::nullopt},
        {R"({"keyCode":15.0,"carbonModifiers":0,"displayString":"R"})", std::nullopt},
        {R"({"keyCode":"15","carbonModifiers":0,"displayString":"R"})", std::nullopt},
        {R"({"keyCode":15,"carbonModifiers":0,"displayString":"R")", std::nullopt},
        {"{\"keyCode\":15,\"carbonModifiers\":0,\"displayString\":\"\xff\"}", std::nullopt},
    };
    for (const auto& [json, expected] : cases) {
        SCOPED_TRACE(json);
        EXPECT_EQ(decodeShortcut(PrefData(json.begin(), json.end())), expected);
    }
}

TEST(ShortcutJson, EncodesCompactlyAndReadsBackEqualButRefusesTextThatIsNotUtf8) {
    for (const ShortcutSpec& shortcut :
         {kControlCommandR, ShortcutSpec{53, 0, "quote\"back\\tab\t⇧ space"}}) {
        const auto data = encodeShortcut(shortcut);
        ASSERT_TRUE(data.has_value());
        const std::string text(data->begin(), data->end());
        SCOPED_TRACE(text);
        EXPECT_EQ(text.find_first_of("\n\t"), std::string::npos);
        EXPECT_EQ(text.find(" "), text.find(" space"));  // only inside the display string
        EXPECT_EQ(decodeShortcut(*data), shortcut);
    }
    EXPECT_EQ(encodeShortcut(ShortcutSpec{15, 0, "\xff"}), std::nullopt);
}

}  // namespace
}  // namespace tallowmere
