// Window properties as a hostile client may write them: every decoder stays inside the bytes it
// was given (the sanitizer build checks) and returns bounded values. Screens from RandR monitors
// and the work area, in the core's bottom-left model.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/x11/property_decoders.h"
#include "platform/linux/x11/x11_screens.h"

namespace tallowmere::x11 {
namespace {

using namespace std::string_literals;

// The bytes live in a buffer of exactly their size, so a read past them is a heap overflow.
struct Raw {
    Raw(std::uint32_t type, std::uint8_t format, const std::string& text)
        : type(type), format(format), bytes(text.begin(), text.end()) {}
    Raw(std::uint32_t type, const std::vector<std::uint32_t>& values)
        : type(type), format(32), bytes(values.size() * 4) {
        if (!values.empty()) {  // an empty vector's data() may be null
            std::memcpy(bytes.data(), values.data(), bytes.size());
        }
    }
    PropertyBytes view() const { return {type, format, bytes.data(), bytes.size()}; }
    std::uint32_t type;
    std::uint8_t format;
    std::vector<std::uint8_t> bytes;
};

TEST(PropertyDecoders, WmClassTakesTheSecondStringOrWhateverIsThere) {
    struct Case {
        std::string bytes;
        std::optional<std::string> className;
    };
    const std::vector<Case> cases = {
        {"xterm\0XTerm\0"s, "XTerm"},
        {"xterm\0XTerm"s, "XTerm"},  // the last NUL missing
        {""s, std::nullopt},         // empty: no class
        {"abc\0"s, "abc"},           // one string stands for both
        {"abcdefgh"s, "abcdefgh"},   // no NUL at all
        {"\0\0"s, std::nullopt},     // two empty strings
        {"\0Gvim\0"s, "Gvim"},       // no instance
        {std::string(9000, 'a'), std::string(9000, 'a')},
        {"caf\xe9\0Caf\xe9\0"s, "Caf\xc3\xa9"},             // Latin-1, as ICCCM's STRING is
        {"\xe6\x97\xa5\0\xe6\x97\xa5\0"s, "\xe6\x97\xa5"},  // UTF-8 stays as it is
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 20));
        const auto decoded = decodeWmClass(Raw(kAtomString, 8, c.bytes).view());
        ASSERT_EQ(decoded.has_value(), c.className.has_value());
        if (decoded) {
            EXPECT_EQ(decoded->className, *c.className);
        }
    }
    EXPECT_FALSE(decodeWmClass(Raw(kAtomString, 32, "abcd"s).view()));
}

TEST(PropertyDecoders, NumbersThatFeedGeometryAreBounded) {
    // Extents clamped to a 1920x1080 screen, whatever the sign bit says.
    const auto extents = decodeFrameExtents(
        Raw(kAtomCardinal, {0x7FFFFFFF, 0x80000000, 20, 0xFFFFFFFF}).view(), 1920, 1080);
    ASSERT_TRUE(extents);
    EXPECT_EQ(extents->left, 1920);
    EXPECT_EQ(extents->right, 1920);
    EXPECT_EQ(extents->top, 20);
    EXPECT_EQ(extents->bottom, 1080);
    EXPECT_FALSE(decodeFrameExtents(Raw(kAtomCardinal, {1, 1, 20}).view(), 1920, 1080));
    EXPECT_FALSE(decodeFrameExtents(Raw(kAtomAtom, {1, 1, 20, 5}).view(), 1920, 1080));

    struct AreaCase {
        const char* name;
        std::vector<std::uint32_t> values;
        std::uint32_t desktop;
        std::optional<std::vector<int>> area;  // x, y, width, height
    };
    const std::vector<AreaCase> areas = {
        {"a top panel", {0, 30, 1920, 1050}, 0, std::vector{0, 30, 1920, 1050}},
        {"the second desktop's",
         {0, 0, 1920, 1080, 64, 0, 1856, 1080},
         1,
         std::vector{64, 0, 1856, 1080}},
        {"fewer areas than desktops", {0, 30, 1920, 1050}, 5, std::vector{0, 30, 1920, 1050}},
        {"past INT_MAX", {0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF}, 0, std::nullopt},
        {"negative and huge",
         {0xFFFFFF9C, 0xFFFFFF9C, 0xFFFFFFFF, 0xFFFFFFFF},
         0,
         std::vector{0, 0, 1920, 1080}},
        {"half an area", {0, 0}, 0, std::nullopt},
    };
    for (const AreaCase& c : areas) {
        SCOPED_TRACE(c.name);
        const auto area =
            decodeWorkArea(Raw(kAtomCardinal, c.values).view(), c.desktop, 1920, 1080);
        ASSERT_EQ(area.has_value(), c.area.has_value());
        if (area) {
            EXPECT_EQ((std::vector{area->x, area->y, area->width, area->height}), *c.area);
        }
    }
}

TEST(PropertyDecoders, ClientListsLoseTheRootNoneAndRepeats) {
    constexpr std::uint32_t root = 0x1e6;
    EXPECT_EQ(decodeClientList(Raw(kAtomWindow, {10, 20, 10, 20, 10}).view(), root),
              (std::vector<std::uint32_t>{10, 20}));
    EXPECT_EQ(decodeClientList(Raw(kAtomWindow, {root, 0, 30, 10, root}).view(), root),
              (std::vector<std::uint32_t>{30, 10}));
    EXPECT_TRUE(decodeClientList(Raw(kAtomCardinal, {10, 20}).view(), root).empty());
    // A length that is no multiple of four keeps the whole values only.
    Raw ragged(kAtomWindow, {10, 20});
    ragged.bytes.resize(7);
    EXPECT_EQ(decodeClientList(ragged.view(), root), (std::vector<std::uint32_t>{10}));
    EXPECT_EQ(decodeWindow(Raw(kAtomWindow, {}).view()), std::nullopt);
    EXPECT_EQ(decodeCardinal(Raw(kAtomCardinal, std::vector<std::uint32_t>{}).view()),
              std::nullopt);
    EXPECT_EQ(decodeCardinal(Raw(kAtomCardinal, {4242}).view()), 4242u);
    EXPECT_TRUE(decodeAtoms(Raw(kAtomCardinal, {1, 2}).view()).empty());
}

Rect rect(double x, double y, double w, double h) {
    return Rect{{x, y}, {w, h}};
}

struct MonitorCase {
    const char* name;
    std::vector<RootRect> monitors;
    std::optional<RootRect> workArea;
    std::vector<Screen> expected;
};

// Root rectangles are top-left based; the screens' y is measured up from the bottom of the
// primary's frame (height 1080 here), so y = 1080 - rootY - height.
TEST(ScreensFromMonitors, ClipTheDesktopWideWorkAreaToEachMonitor) {
    const std::vector<MonitorCase> cases = {
        {"one monitor, no work area",
         {{0, 0, 1920, 1080}},
         std::nullopt,
         {Screen(rect(0, 0, 1920, 1080), rect(0, 0, 1920, 1080))}},
        // A 30-px top panel across two monitors side by side (the right one 1280x1024, top
        // aligned): the work area spans both, 3200 x 1050 from y 30.
        {"top panel across two monitors",
         {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}},
         RootRect{0, 30, 3200, 1050},
         {Screen(rect(0, 0, 1920, 1080), rect(0, 0, 1920, 1050)),
          Screen(rect(1920, 56, 1280, 1024), rect(1920, 56, 1280, 994))}},
        // A second monitor below the primary lies at negative y; primary listed first.
        {"stacked below the primary",
         {{0, 0, 1920, 1080}, {0, 1080, 1920, 1080}},
         RootRect{0, 0, 1920, 2130},
         {Screen(rect(0, 0, 1920, 1080), rect(0, 0, 1920, 1080)),
          Screen(rect(0, -1080, 1920, 1080), rect(0, -1050, 1920, 1050))}},
        // Any client may write the work area: one whose edges pass INT_MAX is none at all.
        {"a work area beyond every monitor",
         {{0, 0, 1920, 1080}},
         RootRect{0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF},
         {Screen(rect(0, 0, 1920, 1080), rect(0, 0, 1920, 1080))}},
    };
    for (const MonitorCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(screensFromMonitors(c.monitors, c.workArea), c.expected);
    }
    EXPECT_TRUE(screensFromMonitors({}, RootRect{0, 0, 10, 10}).empty());
}

}  // namespace
}  // namespace tallowmere::x11
