// On a private headless KWin with real Wayland clients: the backend keeps the observer contract
// every desktop keeps, and the whole program lines windows up as KWin's own account of the frames
// (a probe script of the test's, not our bridge) shows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <algorithm>
#include <csignal>
#include <deque>
#include <list>
#include <map>
#include <optional>
#include <utility>

#include "kwin_session.h"
#include "observer_contract.h"
#include "platform/linux/kwin/batched_moves.h"
#include "platform/linux/kwin/kwin_desktop.h"
#include "platform/linux/kwin/script_bridge.h"
#include "program_under_test.h"

namespace tallowmere::kwintest {
namespace {

class KWinObserverContract : public ::testing::TestWithParam<contract::Case>,
                             public contract::ContractDesktop {
  protected:
    void SetUp() override {
        // A window there before the script is taken in silently: only Contract's launch is news.
        windows_.emplace_back(TALLOWMERE_WAYLAND_WINDOW, "Before", "before");
        ASSERT_TRUE(kit::waitUntil([] { return kit::KWinProbe().frames().count("before") == 1; }));
        desktop_ = std::make_unique<kwin::KWinDesktop>(
            [this](RunLoopMode, std::function<void()> work) { posted_.push_back(std::move(work)); },
            Pid(getpid()));
        desktop_->addObserver(
            this, WorkspaceEvent::didLaunchApplication,
            [this](const WorkspaceNotification& n) { launched_ = n.application; });
        bridge_ = std::make_unique<kwin::ScriptBridge>(*desktop_, QDBusConnection::sessionBus(),
                                                       TALLOWMERE_KWIN_SCRIPT_SOURCE);
        std::string whyNot;
        ASSERT_TRUE(bridge_->start(whyNot)) << whyNot;
        ASSERT_TRUE(settleUntil([this] { return desktop_->connected(); }));
        openWindow();
        ASSERT_TRUE(settleUntil([this] { return launched_.has_value(); }));
        ASSERT_EQ(launched_->bundleIdentifier, "Contract");
        pid_ = launched_->processIdentifier;
    }

    Accessibility& ax() override { return *desktop_; }
    Pid application() override { return pid_; }
    void openWindow() override {
        windows_.emplace_back(TALLOWMERE_WAYLAND_WINDOW, "Contract", "window");
    }
    void closeWindow(const AXElement& window) override {
        const auto reported = desktop_->reportedWindowOf(window);
        ASSERT_TRUE(reported && reported->pid);
        windows_.remove_if([&](const kit::WaylandWindow& w) { return w.pid() == *reported->pid; });
    }
    // The Qt loop and the desktop's posted work, until the condition holds or the time is up.
    bool settleUntil(const std::function<bool()>& condition) override {
        return kit::waitUntil([&] {
            QCoreApplication::processEvents();
            for (auto& work : std::exchange(posted_, {})) {
                work();
            }
            return condition();
        });
    }
    void settle() override {
        kit::waitUntil([&] { return !settleUntil([] { return true; }); }, 0.3);
    }

    std::deque<std::function<void()>> posted_;
    std::unique_ptr<kwin::KWinDesktop> desktop_;
    std::list<kit::WaylandWindow> windows_;
    // Unloads the script before the windows close and while the desktop it reports to exists.
    std::unique_ptr<kwin::ScriptBridge> bridge_;
    std::optional<RunningApplication> launched_;
    Pid pid_ = 0;
};

TEST_P(KWinObserverContract, Holds) {
    GetParam()(*this);
}

INSTANTIATE_TEST_SUITE_P(Cases, KWinObserverContract, ::testing::ValuesIn(contract::kCases));

// One batch after the engine's writes of a frame: each window's newest target once, in the order
// first asked, nothing for a window already there or gone.
TEST(BatchedMoves, OneBatchHoldsEachWindowsNewestTarget) {
    kwin::BatchedMoves moves;
    moves.request("b", 1, 1, 0, 0);
    moves.request("a", 0, 2, 0, 0);
    moves.request("b", 3, 3, 0, 0);
    moves.request("there", 7, 9, 7, 9);
    moves.request("gone", 5, 5, 0, 0);
    moves.forget("gone");
    EXPECT_EQ(moves.take(), (std::vector<kwin::Move>{{"b", 3, 3}, {"a", 0, 2}}));
    EXPECT_FALSE(moves.pending());
    EXPECT_TRUE(moves.take().empty());
}

using kit::waitUntil;
using Places = std::map<std::string, std::pair<int, int>>;

// 再整頓 on ⌃⌥R, 中央に再整頓 on ⌃⌥C: base64 of
// {"keyCode":15,"carbonModifiers":6144,"displayString":"⌃⌥R"} and of keyCode 8 for C.
const char* const kShortcuts =
    R"(, "manualRealignShortcut": {"$data":)"
    R"( "eyJrZXlDb2RlIjoxNSwiY2FyYm9uTW9kaWZpZXJzIjo2MTQ0LCJkaXNwbGF5U3RyaW5nIjoi4oyD4oylUiJ9"},)"
    R"( "manualCenterRealignShortcut": {"$data":)"
    R"( "eyJrZXlDb2RlIjo4LCJjYXJib25Nb2RpZmllcnMiOjYxNDQsImRpc3BsYXlTdHJpbmciOiLijIPijKVDIn0="}})";

// Later starts hand their command over and never read preferences; should one run by mistake, it
// finds none of the user's.
const char* const kNoPreferences = "XDG_CONFIG_HOME=/nonexistent/tallowmere-kwin-test";

// A method call on the session bus, as another program makes it: the reply.
QVariantList call(const QString& service, const QString& path, const QString& interface,
                  const QString& member, const QVariantList& arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, member);
    message.setArguments(arguments);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(message);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    return reply.arguments();
}

// Frames are 300 by 200 (no decoration plugin), spacing 20, the work area all of 1920x1080. A (with
// a dialog) opens where KWin puts it, at (ax, ay), and stays: it is alone. B and C centre on A's
// centre, ax + 150, tops at ay: [A, B] is 620 wide from ax - 160; [A, B, C] 940 from ax - 320.
// C is an X11 client of XWayland. Closing B leaves A, C and B's place spanning ax - 320 .. ax + 620
// (centre ax + 150): [A, C] stands as [A, B] did. C minimised: A and C's place centre on ax + 150,
// A alone at ax. C restored joins on the right as B did. Dragged 100 up and down, A and C keep
// their centre (ax + 150, ay + 100); ⌃⌥R puts them back. ⌃⌥C is another program's and refused.
// The dialog and another application's window never move.
TEST(KWinRow, ARowFormsClosesUpAndFollowsTheUser) {
    // Ctrl+Alt+C, in Qt's numbers: 0x04000000 | 0x08000000 | 'C'.
    const QString accel = "org.kde.kglobalaccel";
    const QStringList other{"other", "center", "Other", "Center"};
    call(accel, "/kglobalaccel", "org.kde.KGlobalAccel", "doRegister", {other});
    call(accel, "/kglobalaccel", "org.kde.KGlobalAccel", "setShortcut",
         {other, QVariant::fromValue(QList<int>{0x0C000043}), 6u});
    kit::ChildProcess panel({TALLOWMERE_SNI_WATCHER});
    ASSERT_TRUE(panel.waitForLine("ready"));
    const std::string preferences = kit::rowPreferences("row", "easeInOut", 0.25, true);
    kit::Tallowmere app(preferences.substr(0, preferences.size() - 1) + kShortcuts, "");
    EXPECT_TRUE(app.waitForLine("グローバルショートカットの登録に失敗しました: ⌃⌥C"))
        << app.errorOutput();
    ASSERT_TRUE(app.waitForLine("tallowmere: started")) << app.errorOutput();
    // Its tray icon reaches the panel.
    EXPECT_TRUE(panel.waitForLine("registered "));

    kit::KWinProbe probe;
    std::list<kit::WaylandWindow> windows;
    auto open = [&](const std::string& title, const std::string& appId = "row",
                    const std::string& mode = "") -> kit::WaylandWindow& {
        windows.emplace_back(TALLOWMERE_WAYLAND_WINDOW, appId, title, mode);
        EXPECT_TRUE(waitUntil([&] { return probe.frames().count(title) == 1; }));
        return windows.back();
    };
    // Waits until every window stands at its place.
    auto expectAt = [&](const Places& places) {
        Places seen;
        waitUntil([&] {
            seen.clear();
            for (const auto& [title, f] : probe.frames()) {
                if (places.count(title)) {
                    seen[title] = {f.x, f.y};
                }
            }
            return seen == places;
        });
        EXPECT_EQ(seen, places) << app.errorOutput();
    };

    open("A", "row", "dialog");
    ASSERT_TRUE(app.waitForLine("既存の標準ウィンドウがないため整列不要")) << app.errorOutput();
    ASSERT_TRUE(app.waitForLine("非標準ウィンドウの生成通知のため無視")) << app.errorOutput();
    open("other", "Other");
    auto before = probe.frames();
    const int ax = before["A"].x;
    const int ay = before["A"].y;
    ASSERT_EQ(std::pair(before["A"].width, before["A"].height), std::pair(300, 200));
    // The row of three must fit on the screen for the places above to hold.
    ASSERT_TRUE(ax - 320 >= 0 && ax + 620 <= 1920) << ax;

    // KWin's own record of where our feedback windows went: a border flash at each destination,
    // kept above; the focus stays with B, and the flashes go.
    const std::string feedback = probe.watch(
        "(workspace.windowAdded || workspace.clientAdded).connect(function (w) {"
        " if (String(w.caption).indexOf('tallowmere-feedback-') !== 0) return;"
        " function seen() { var g = w.frameGeometry; report(g.x + ' ' + g.y + ' ' + g.width + ' '"
        " + g.height + ' ' + (w.keepAbove ? 1 : 0)); }"
        " seen(); w.frameGeometryChanged.connect(seen); });");
    kit::WaylandWindow& b = open("B");
    expectAt({{"A", {ax - 160, ay}}, {"B", {ax + 160, ay}}});
    auto flashed = [&](int x) {
        const auto lines = probe.reported(feedback);
        const std::string at = std::to_string(x) + " " + std::to_string(ay) + " 300 200 1";
        return std::find(lines.begin(), lines.end(), at) != lines.end();
    };
    EXPECT_TRUE(waitUntil([&] { return flashed(ax - 160) && flashed(ax + 160); }))
        << testing::PrintToString(probe.reported(feedback));
    // A, its dialog, other and B: the flashes went.
    EXPECT_TRUE(waitUntil([&] { return probe.frames().size() == 4; }));
    EXPECT_TRUE(probe.frames()["B"].active);
    open("C", "row", "x11");
    expectAt({{"A", {ax - 320, ay}}, {"B", {ax, ay}}, {"C", {ax + 320, ay}}});

    b.signal(SIGTERM);
    expectAt({{"A", {ax - 160, ay}}, {"C", {ax + 160, ay}}});
    probe.act("C", "w.minimized = true");
    expectAt({{"A", {ax, ay}}});
    probe.act("C", "w.minimized = false; activate(w)");
    expectAt({{"A", {ax - 160, ay}}, {"C", {ax + 160, ay}}});

    probe.act("A", "var g = w.frameGeometry; g.y -= 100; w.frameGeometry = g");
    probe.act("C", "var g = w.frameGeometry; g.y += 100; w.frameGeometry = g");
    expectAt({{"A", {ax - 160, ay - 100}}, {"C", {ax + 160, ay + 100}}});
    // Our one shortcut is pressed (the service's own way of pressing it, as no keyboard exists).
    call(accel, "/component/tallowmere", "org.kde.kglobalaccel.Component", "invokeShortcut",
         {"shortcut-1"});
    EXPECT_TRUE(app.waitForLine("手動再整理を実行")) << app.errorOutput();
    expectAt({{"A", {ax - 160, ay}},
              {"C", {ax + 160, ay}},
              {"A-dialog", {before["A-dialog"].x, before["A-dialog"].y}},
              {"other", {before["other"].x, before["other"].y}}});
    // C on a second desktop is out of the row: A alone is too few for ⌃⌥R.
    call("org.kde.KWin", "/VirtualDesktopManager", "org.kde.KWin.VirtualDesktopManager",
         "createDesktop", {1u, "second"});
    probe.act("C",
              "if (Array.isArray(w.desktops)) w.desktops = [workspace.desktops[1]];"
              " else w.desktop = 2");
    probe.act("A", "activate(w)");
    call(accel, "/component/tallowmere", "org.kde.kglobalaccel.Component", "invokeShortcut",
         {"shortcut-1"});
    EXPECT_TRUE(app.waitForLine("対象ウィンドウが足りないため不要")) << app.errorOutput();

    // One program per session, commanded over the session bus; quitting unloads the script.
    EXPECT_EQ(kit::runTallowmere({}, {kNoPreferences}).status, 0);
    EXPECT_TRUE(app.waitForLine("tallowmere: command: settings"));
    EXPECT_EQ(kit::runTallowmere({"--quit"}, {kNoPreferences}).status, 0);
    EXPECT_EQ(app.waitExit(10), 0) << app.errorOutput();
    EXPECT_EQ(kit::runTallowmere({"--quit"}, {kNoPreferences}).status, 1);
    // An error reply fails in call().
    const QVariantList loaded = call("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting",
                                     "isScriptLoaded", {"tallowmere"});
    EXPECT_FALSE(loaded.value(0).toBool());
}

}  // namespace
}  // namespace tallowmere::kwintest

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    return tallowmere::kit::runOnPrivateKWin(argc, argv);
}
