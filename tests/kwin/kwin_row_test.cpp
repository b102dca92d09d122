// The whole program on a headless KWin with real Wayland clients, checked by KWin's own account of
// the frames (a probe script of the test's, not our bridge).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <algorithm>
#include <csignal>
#include <list>
#include <map>
#include <tuple>

#include "kwin_session.h"
#include "program_under_test.h"

namespace tallowmere::kwintest {
namespace {

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

// A method call on the session bus, as another program or Plasma's panel makes it: the reply.
QVariantList call(const QString& service, const QString& path, const QString& interface,
                  const QString& member, const QVariantList& arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, member);
    message.setArguments(arguments);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(message);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    return reply.arguments();
}

// A com.canonical.dbusmenu layout: each entry's id and whether it is checked, by label.
void readMenu(const QDBusArgument& node, std::map<std::string, std::pair<int, bool>>& entries) {
    int id = 0;
    QVariantMap properties;
    node.beginStructure();
    node >> id >> properties;
    entries[properties.value("label").toString().toStdString()] = {
        id, properties.value("toggle-state").toInt() == 1};
    node.beginArray();
    while (!node.atEnd()) {
        QDBusVariant child;
        node >> child;
        readMenu(qvariant_cast<QDBusArgument>(child.variant()), entries);
    }
    node.endArray();
    node.endStructure();
}

class KWinRow : public ::testing::Test {
  protected:
    kit::WaylandWindow& open(const std::string& title, const std::string& appId = "row",
                             const std::string& mode = "") {
        windows_.emplace_back(TALLOWMERE_WAYLAND_WINDOW, appId, title, mode);
        EXPECT_TRUE(waitUntil([&] { return probe_.frames().count(title) == 1; }));
        return windows_.back();
    }

    // Waits until every window stands at its place.
    void expectAt(const Places& places) {
        Places seen;
        EXPECT_TRUE(waitUntil([&] {
            seen.clear();
            for (const auto& [title, f] : probe_.frames()) {
                if (places.count(title)) {
                    seen[title] = {f.x, f.y};
                }
            }
            return seen == places;
        })) << "at "
            << testing::PrintToString(seen) << ", expected " << testing::PrintToString(places)
            << '\n'
            << app_->errorOutput();
    }

    kit::KWinProbe probe_;
    std::unique_ptr<kit::Tallowmere> app_;
    std::list<kit::WaylandWindow> windows_;
};

// Frames are 300 by 200 (no decoration plugin), spacing 20, the work area all of 1920x1080. A (with
// a dialog) opens where KWin puts it, at (ax, ay), and stays: it is alone. B and C centre on A's
// centre, ax + 150, tops at ay: [A, B] is 620 wide from ax - 160; [A, B, C] 940 from ax - 320.
// C is an X11 client of XWayland. Closing B leaves A, C and B's place spanning ax - 320 .. ax + 620
// (centre ax + 150): [A, C] stands as [A, B] did. C minimised: A and C's place centre on ax + 150,
// A alone at ax. C restored joins on the right as B did. Dragged 100 up and down, A and C keep
// their centre (ax + 150, ay + 100); ⌃⌥R puts them back. ⌃⌥C is another program's and refused.
// The dialog and another application's window never move.
TEST_F(KWinRow, ARowFormsClosesUpAndFollowsTheUser) {
    // Ctrl+Alt+C, in Qt's numbers: 0x04000000 | 0x08000000 | 'C'.
    const QString accel = "org.kde.kglobalaccel";
    const QStringList other{"other", "center", "Other", "Center"};
    call(accel, "/kglobalaccel", "org.kde.KGlobalAccel", "doRegister", {other});
    call(accel, "/kglobalaccel", "org.kde.KGlobalAccel", "setShortcut",
         {other, QVariant::fromValue(QList<int>{0x0C000043}), 6u});
    kit::ChildProcess watcher({TALLOWMERE_SNI_WATCHER});
    ASSERT_TRUE(watcher.waitForLine("ready"));
    const std::string preferences = kit::rowPreferences("row", "easeInOut", 0.25, true);
    app_ = std::make_unique<kit::Tallowmere>(
        preferences.substr(0, preferences.size() - 1) + kShortcuts, "");
    EXPECT_TRUE(app_->waitForLine("グローバルショートカットの登録に失敗しました: ⌃⌥C"))
        << app_->errorOutput();
    ASSERT_TRUE(app_->waitForLine("tallowmere: started")) << app_->errorOutput();

    open("A", "row", "dialog");
    ASSERT_TRUE(app_->waitForLine("既存の標準ウィンドウがないため整列不要")) << app_->errorOutput();
    ASSERT_TRUE(app_->waitForLine("非標準ウィンドウの生成通知のため無視")) << app_->errorOutput();
    open("other", "Other");
    auto before = probe_.frames();
    const int ax = before["A"].x;
    const int ay = before["A"].y;
    ASSERT_EQ(std::pair(before["A"].width, before["A"].height), std::pair(300, 200));
    // The row of three must fit on the screen for the places above to hold.
    ASSERT_TRUE(ax - 320 >= 0 && ax + 620 <= 1920) << ax;

    // KWin's own record of where our feedback windows went: a border flash at each destination,
    // kept above; the focus stays with B, and the flashes go.
    const std::string feedback = probe_.watch(
        "function seen(w) { var g = w.frameGeometry; report(g.x + ' ' + g.y + ' ' + g.width +"
        " ' ' + g.height + ' ' + (w.keepAbove ? 1 : 0)); }\n"
        "function follow(w) { if (String(w.caption).indexOf('tallowmere-feedback-') !== 0) return;"
        " seen(w); w.frameGeometryChanged.connect(function () { seen(w); }); }\n"
        "(workspace.windowAdded || workspace.clientAdded).connect(follow);");
    kit::WaylandWindow& b = open("B");
    expectAt({{"A", {ax - 160, ay}}, {"B", {ax + 160, ay}}});
    auto flashed = [&](int x) {
        const auto lines = probe_.reported(feedback);
        const std::string at = std::to_string(x) + " " + std::to_string(ay) + " 300 200 1";
        return std::find(lines.begin(), lines.end(), at) != lines.end();
    };
    EXPECT_TRUE(waitUntil([&] { return flashed(ax - 160) && flashed(ax + 160); }))
        << testing::PrintToString(probe_.reported(feedback));
    // A, its dialog, other and B: the flashes went.
    EXPECT_TRUE(waitUntil([&] { return probe_.frames().size() == 4; }));
    EXPECT_TRUE(probe_.frames()["B"].active);
    open("C", "row", "x11");
    expectAt({{"A", {ax - 320, ay}}, {"B", {ax, ay}}, {"C", {ax + 320, ay}}});

    b.signal(SIGTERM);
    expectAt({{"A", {ax - 160, ay}}, {"C", {ax + 160, ay}}});
    probe_.act("C", "w.minimized = true");
    expectAt({{"A", {ax, ay}}});
    probe_.act("C", "w.minimized = false; activate(w)");
    expectAt({{"A", {ax - 160, ay}}, {"C", {ax + 160, ay}}});

    for (auto [title, x, y] :
         {std::tuple{"A", ax - 160, ay - 100}, std::tuple{"C", ax + 160, ay + 100}}) {
        probe_.act(title, "w.frameGeometry = {x: " + std::to_string(x) +
                              ", y: " + std::to_string(y) + ", width: 300, height: 200}");
    }
    expectAt({{"A", {ax - 160, ay - 100}}, {"C", {ax + 160, ay + 100}}});
    // Our one shortcut is pressed (the service's own way of pressing it, as no keyboard exists).
    call(accel, "/component/tallowmere", "org.kde.kglobalaccel.Component", "invokeShortcut",
         {"shortcut-1"});
    EXPECT_TRUE(app_->waitForLine("手動再整理を実行")) << app_->errorOutput();
    expectAt({{"A", {ax - 160, ay}},
              {"C", {ax + 160, ay}},
              {"A-dialog", {before["A-dialog"].x, before["A-dialog"].y}},
              {"other", {before["other"].x, before["other"].y}}});

    // Paused from the tray's submenu as Plasma's panel drives it over com.canonical.dbusmenu, a new
    // window D is left alone; resumed, the next one lines up with all four, D included.
    const auto item = watcher.waitForLine("registered ");
    ASSERT_TRUE(item);
    const QString sni = QString::fromStdString(item->substr(item->find(' ') + 1));
    const QString dbusmenu = "com.canonical.dbusmenu";
    const QString menu = QDBusInterface(sni, "/StatusNotifierItem", "org.kde.StatusNotifierItem")
                             .property("Menu")
                             .value<QDBusObjectPath>()
                             .path();
    auto entries = [&] {
        std::map<std::string, std::pair<int, bool>> found;
        call(sni, menu, dbusmenu, "AboutToShow", {0});
        readMenu(qvariant_cast<QDBusArgument>(
                     call(sni, menu, dbusmenu, "GetLayout", {0, -1, QStringList()}).value(1)),
                 found);
        return found;
    };
    auto toggle = [&](bool checked) {
        const auto row = entries()["row"];
        EXPECT_EQ(row.second, checked);
        // Then closed, as by the panel: the program holds back while its menu is open.
        for (auto [id, event] : {std::pair{row.first, "clicked"}, std::pair{0, "closed"}}) {
            call(sni, menu, dbusmenu, "Event",
                 {id, event, QVariant::fromValue(QDBusVariant(0)), 0u});
        }
    };
    toggle(true);
    const std::size_t arranged = app_->countLines("整列実行");
    const std::size_t watched = app_->countLines("監視開始");
    open("D");
    toggle(false);
    ASSERT_TRUE(app_->waitForLine("監視開始", watched)) << app_->errorOutput();
    open("E");
    EXPECT_TRUE(app_->waitForLine("count=4")) << app_->errorOutput();
    EXPECT_EQ(app_->countLines("整列実行"), arranged + 1) << app_->errorOutput();

    // One program per session, commanded over the session bus; quitting unloads the script.
    EXPECT_EQ(kit::runTallowmere({}, {kNoPreferences}).status, 0);
    EXPECT_TRUE(app_->waitForLine("tallowmere: command: settings"));
    EXPECT_EQ(kit::runTallowmere({"--quit"}, {kNoPreferences}).status, 0);
    EXPECT_EQ(app_->waitExit(10), 0) << app_->errorOutput();
    EXPECT_EQ(kit::runTallowmere({"--quit"}, {kNoPreferences}).status, 1);
    // An error reply fails in call().
    EXPECT_FALSE(call("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", "isScriptLoaded",
                      {"tallowmere"})
                     .value(0)
                     .toBool());
}

// Every easing, the springy and bouncing ones included, ends exactly where B's arrival puts the
// pair (worked out above): A at ax - 160, B at ax + 160, tops at ay.
TEST_F(KWinRow, EveryEasingEndsExactlyOnItsTargets) {
    for (const std::string easing : {"linear", "easeIn", "easeOut", "easeInOut", "bouncy", "snappy",
                                     "billiards", "gravity", "random"}) {
        SCOPED_TRACE(easing);
        app_ = std::make_unique<kit::Tallowmere>(kit::rowPreferences("row", easing, 0.15), "");
        ASSERT_TRUE(app_->waitForLine("tallowmere: started")) << app_->errorOutput();
        open(easing + "-A");
        ASSERT_TRUE(app_->waitForLine("整列不要")) << app_->errorOutput();
        const kit::KWinFrame a = probe_.frames()[easing + "-A"];
        open(easing + "-B");
        expectAt({{easing + "-A", {a.x - 160, a.y}}, {easing + "-B", {a.x + 160, a.y}}});
        app_->expectCleanQuit();
        windows_.clear();
    }
}

}  // namespace
}  // namespace tallowmere::kwintest

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    return tallowmere::kit::runOnPrivateKWin(argc, argv);
}
