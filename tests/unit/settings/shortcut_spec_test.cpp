#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "settings/shortcut_spec.h"

namespace tallowmere {
namespace {

PrefData bytes(std::string_view text) {
    return PrefData(text.begin(), text.end());
}

const ShortcutSpec kControlCommandR{15, 0x1000 | 0x0100, "⌃⌘R"};

TEST(ShortcutSpec, DecodesOnlyCompleteWellTypedObjectsThatFitTheWidths) {
    struct Case {
        std::string_view json;
        std::optional<ShortcutSpec> expected;
    };
    const Case cases[] = {
        {R"({"keyCode":15,"carbonModifiers":4352,"displayString":"⌃⌘R"})", kControlCommandR},
        {R"({"displayString":"⌃⌘R","carbonModifiers":4352,"keyCode":15})", kControlCommandR},
        {R"( { "x" : [1], "keyCode" : 15, "carbonModifiers" : 4352,
               "displayString" : "⌃⌘R", "y" : null } )",
         kControlCommandR},
        {R"({"keyCode":65535,"carbonModifiers":4294967295,"displayString":""})",
         ShortcutSpec{65535, 4294967295u, ""}},
        {R"({"keyCode":15,"carbonModifiers":4352})", std::nullopt},
        {R"({"carbonModifiers":4352,"displayString":"R"})", std::nullopt},
        {R"({"keyCode":15,"displayString":"R"})", std::nullopt},
        {R"({"keyCode":65536,"carbonModifiers":0,"displayString":"R"})", std::nullopt},
        {R"({"keyCode":-1,"carbonModifiers":0,"displayString":"R"})", std::nullopt},
        {R"({"keyCode":15,"carbonModifiers":4294967296,"displayString":"R"})", std::nullopt},
        {R"({"keyCode":15,"carbonModifiers":-256,"displayString":"R"})", std::nullopt},
        {R"({"keyCode":15.0,"carbonModifiers":0,"displayString":"R"})", std::nullopt},
        {R"({"keyCode":1e1,"carbonModifiers":0,"displayString":"R"})", std::nullopt},
        {R"({"keyCode":"15","carbonModifiers":0,"displayString":"R"})", std::nullopt},
        {R"({"keyCode":true,"carbonModifiers":0,"displayString":"R"})", std::nullopt},
        {R"({"keyCode":15,"carbonModifiers":0,"displayString":null})", std::nullopt},
        {R"({"keyCode":15,"carbonModifiers":0,"displayString":["R"]})", std::nullopt},
        {R"([15,4352,"R"])", std::nullopt},
        {R"({"keyCode":15,"carbonModifiers":0,"displayString":"R"} trailing)", std::nullopt},
        {R"({"keyCode":15,"carbonModifiers":0,"displayString":"R")", std::nullopt},
        {"", std::nullopt},
        {"{\"keyCode\":15,\"carbonModifiers\":0,\"displayString\":\"\xff\xfe\"}", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_EQ(decodeShortcut(bytes(c.json)), c.expected);
    }
}

TEST(ShortcutSpec, EncodesCompactlyAndReadsBackEqual) {
    for (const ShortcutSpec& spec : {kControlCommandR, ShortcutSpec{65535, 0xffffffffu, ""},
                                     ShortcutSpec{53, 0, "quote\"back\\tab\t⇧"}}) {
        const auto data = encodeShortcut(spec);
        ASSERT_TRUE(data.has_value());
        const std::string text(data->begin(), data->end());
        SCOPED_TRACE(text);
        EXPECT_EQ(text.find_first_of(" \n\t"), std::string::npos);
        EXPECT_NE(text.find(R"("keyCode":)" + std::to_string(spec.keyCode)), std::string::npos);
        EXPECT_EQ(decodeShortcut(*data), spec);
    }
}

TEST(ShortcutSpec, RefusesToEncodeADisplayStringThatIsNotUtf8) {
    EXPECT_EQ(encodeShortcut(ShortcutSpec{15, 0, "\xff"}), std::nullopt);
}

}  // namespace
}  // namespace tallowmere
