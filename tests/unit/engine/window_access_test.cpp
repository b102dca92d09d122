#include <cmath>
#include <optional>
#include <string>

#include "engine_fixture.h"

namespace tallowmere::testing {
namespace {

class WindowAccessTest : public EngineFixture {
  protected:
    bool isStandard(WindowId id, Pid pid) const {
        return engine->windowAccess().isStandardWindow(desktop.windowElement(id), pid);
    }
};

TEST_F(WindowAccessTest, StandardWindowRulesBySubroleIdentifierAndApplication) {
    struct Case {
        const char* name;
        std::optional<std::string> bundle;
        std::optional<std::string> subrole;
        std::optional<std::string> identifier;
        bool standard;
    };
    const Case cases[] = {
        {"plain standard window", "org.xterm", "AXStandardWindow", std::nullopt, true},
        {"dialog", "org.xterm", "AXDialog", std::nullopt, false},
        {"no subrole", "org.xterm", std::nullopt, std::nullopt, false},
        {"subrole differs in case", "org.xterm", "axstandardwindow", std::nullopt, false},
        {"open panel anywhere", "org.xterm", "AXStandardWindow", "open-panel", false},
        {"open panel in Finder", "com.apple.finder", "AXStandardWindow", "open-panel", false},
        {"other identifiers elsewhere", "org.xterm", "AXStandardWindow", "Preferences", true},
        {"Finder browser window", "com.apple.finder", "AXStandardWindow", "FinderWindow", true},
        {"Finder without identifier", "com.apple.finder", "AXStandardWindow", std::nullopt, false},
        {"Finder other identifier", "com.apple.finder", "AXStandardWindow", "Desktop", false},
        {"application without identifier", std::nullopt, "AXStandardWindow", std::nullopt, true},
    };
    for (const Case& c : cases) {
        const Pid pid = desktop.addRunningApplication(c.bundle);
        const WindowId id =
            desktop.openWindow(pid, {.subrole = c.subrole, .identifier = c.identifier});
        EXPECT_EQ(isStandard(id, pid), c.standard) << c.name;
    }
}

TEST_F(WindowAccessTest, WrongKindsOfValuesReadAsAbsent) {
    const Pid pid = desktop.addRunningApplication("org.xterm");
    const WindowId id = desktop.openWindow(pid, {.position = {10, 20}, .size = {300, 200}});
    const AXElement window = desktop.windowElement(id);
    const WindowAccess& access = engine->windowAccess();
    EXPECT_EQ(access.readPosition(window), (Point{10, 20}));
    EXPECT_EQ(access.readSize(window), (Size{300, 200}));
    EXPECT_EQ(access.readMinimized(window), false);

    desktop.overrideAttribute(id, "AXPosition",
                              {kAXErrorSuccess, AXValue{AXValueType::cgSize, 1, 2}});
    desktop.overrideAttribute(id, "AXSize", {kAXErrorSuccess, AXOtherValue{3}});
    desktop.overrideAttribute(id, "AXMinimized", {kAXErrorSuccess, std::string("yes")});
    desktop.overrideAttribute(id, "AXSubrole", {kAXErrorSuccess, AXOtherValue{1}});
    EXPECT_EQ(access.readPosition(window), std::nullopt);
    EXPECT_EQ(access.readSize(window), std::nullopt);
    EXPECT_EQ(access.readMinimized(window), std::nullopt);
    EXPECT_FALSE(access.isStandardWindow(window, pid));

    // Geometry that is not finite is unusable.
    desktop.overrideAttribute(id, "AXPosition",
                              {kAXErrorSuccess, AXValue{AXValueType::cgPoint, NAN, 2}});
    desktop.overrideAttribute(id, "AXSize",
                              {kAXErrorSuccess, AXValue{AXValueType::cgSize, 1, INFINITY}});
    EXPECT_EQ(access.readPosition(window), std::nullopt);
    EXPECT_EQ(access.readSize(window), std::nullopt);

    // A success code without a value, and a value behind a failure code, are both absent.
    desktop.overrideAttribute(id, "AXPosition", {kAXErrorSuccess, std::nullopt});
    desktop.overrideAttribute(id, "AXSize",
                              {kAXErrorCannotComplete, AXValue{AXValueType::cgSize, 1, 2}});
    EXPECT_EQ(access.readPosition(window), std::nullopt);
    EXPECT_EQ(access.readSize(window), std::nullopt);
}

}  // namespace
}  // namespace tallowmere::testing
