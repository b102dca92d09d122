#include <cmath>
#include <optional>
#include <string>

#include "engine_fixture.h"

namespace tallowmere::testing {
namespace {

class WindowAccessTest : public EngineFixture {
  protected:
    Pid pid = desktop.addRunningApplication("org.xterm");
};

TEST_F(WindowAccessTest, StandardWindowRulesBySubroleIdentifierAndApplication) {
    struct Case {
        const char* name;
        std::optional<std::string> bundle, subrole, identifier;
        bool standard;
    };
    // clang-format off
    const Case cases[] = {
        {"plain standard window", "org.xterm", "AXStandardWindow", std::nullopt, true},
        {"dialog", "org.xterm", "AXDialog", std::nullopt, false},
        {"no subrole", "org.xterm", std::nullopt, std::nullopt, false},
        {"open panel anywhere", "org.xterm", "AXStandardWindow", "open-panel", false},
        {"other identifiers elsewhere", "org.xterm", "AXStandardWindow", "Preferences", true},
        {"Finder browser window", "com.apple.finder", "AXStandardWindow", "FinderWindow", true},
        {"Finder without identifier", "com.apple.finder", "AXStandardWindow", std::nullopt, false},
        {"Finder other identifier", "com.apple.finder", "AXStandardWindow", "Desktop", false},
        {"application without identifier", std::nullopt, "AXStandardWindow", std::nullopt, true},
    };
    // clang-format on
    for (const Case& c : cases) {
        const Pid owner = desktop.addRunningApplication(c.bundle);
        const WindowId id =
            desktop.openWindow(owner, {.subrole = c.subrole, .identifier = c.identifier});
        EXPECT_EQ(engine->windowAccess().isStandardWindow(desktop.windowElement(id), owner),
                  c.standard)
            << c.name;
    }
}

TEST_F(WindowAccessTest, WrongKindsNonFiniteValuesAndFailedReadsAreAbsent) {
    const WindowId id = desktop.openWindow(pid, {.position = {10, 20}, .size = {300, 200}});
    const AXElement window = desktop.windowElement(id);
    const WindowAccess& access = engine->windowAccess();
    EXPECT_EQ(access.readMinimized(window), false);
    desktop.overrideAttribute(id, "AXMinimized", {kAXErrorSuccess, std::string("yes")});
    desktop.overrideAttribute(id, "AXSubrole", {kAXErrorSuccess, AXOtherValue{1}});
    EXPECT_EQ(access.readMinimized(window), std::nullopt);
    EXPECT_FALSE(access.isStandardWindow(window, pid));

    // Position and size readings: of the wrong kind; not finite; a success code without a value
    // and a value behind a failure code.
    const std::pair<AXReadResult, AXReadResult> unreadable[] = {
        {{kAXErrorSuccess, AXValue{AXValueType::cgSize, 1, 2}}, {kAXErrorSuccess, AXOtherValue{3}}},
        {{kAXErrorSuccess, AXValue{AXValueType::cgPoint, NAN, 2}},
         {kAXErrorSuccess, AXValue{AXValueType::cgSize, 1, INFINITY}}},
        {{kAXErrorSuccess, std::nullopt},
         {kAXErrorCannotComplete, AXValue{AXValueType::cgSize, 1, 2}}},
    };
    for (const auto& [position, size] : unreadable) {
        desktop.overrideAttribute(id, "AXPosition", position);
        desktop.overrideAttribute(id, "AXSize", size);
        EXPECT_EQ(access.readPosition(window), std::nullopt);
        EXPECT_EQ(access.readSize(window), std::nullopt);
    }
}

}  // namespace
}  // namespace tallowmere::testing
