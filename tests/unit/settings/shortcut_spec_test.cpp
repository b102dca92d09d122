#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tallowmere
