// The whole program on a headless KWin with real Wayland clients, checked by KWin's own account of
// the frames (a probe script of the test's, not our bridge).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <map>

#include "kwin_session.h"
#include "program_under_test.h"

namespace tallowmere::kwintest {
namespace {

using kit::KWinFrame;
using kit::waitUntil;
using kit::WaylandWindow;

// Without a decoration plugin KWin's frame is the client's size.
constexpr int kWidth = 300;
constexpr int kHeight = 200;

// A glide rather than a jump: the row's places are where the animation's last batch must land.
// The border flashes are on; 再整頓 is ⌃⌥R and 中央に再整頓 ⌃⌥C (base64 of
// {"keyCode":15,"carbonModifiers":6144,"displayString":"⌃⌥R"} and of keyCode 8 for C).
const char* const kPreferences =
    R"({"monitoredBundleIdentifiers": ["row"], "windowSpacingMargin": 20,)"
    R"( "animationEasing": "easeInOut", "animationDuration": 0.25, "showFlashOverlay": true,)"
    R"( "alignmentAnchor": "windowCentroid", "alwaysOpenNewWindowOnRight": true,)"
    R"( "manualRealignShortcut": {"$data":)"
    R"( "eyJrZXlDb2RlIjoxNSwiY2FyYm9uTW9kaWZpZXJzIjo2MTQ0LCJkaXNwbGF5U3RyaW5nIjoi4oyD4oylUiJ9"},)"
    R"( "manualCenterRealignShortcut": {"$data":)"
    R"( "eyJrZXlDb2RlIjo4LCJjYXJib25Nb2RpZmllcnMiOjYxNDQsImRpc3BsYXlTdHJpbmciOiLijIPijKVDIn0="}})";

// KDE's global-shortcut service, as another program or the user's keyboard reaches it.
int globalShortcuts(const std::string& path, const std::string& call) {
    return kit::run({"sh", "-c",
                     "dbus-send --session --print-reply --dest=org.kde.kglobalaccel " + path + " " +
                         call + " >/dev/null"});
}

// Later starts hand their command over and never read preferences; should one run by mistake, it
// finds none of the user's.
const char* const kNoPreferences = "XDG_CONFIG_HOME=/nonexistent/tallowmere-kwin-test";

// The tray icon's menu as Plasma's panel reads and drives it over com.canonical.dbusmenu, for the
// item that the watcher saw register as `service`.
class TrayMenu {
  public:
    explicit TrayMenu(const std::string& service) : service_(QString::fromStdString(service)) {
        const QVariant menu = call("/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get",
                                   {"org.kde.StatusNotifierItem", "Menu"});
        path_ = qvariant_cast<QDBusObjectPath>(menu.value<QDBusVariant>().variant()).path();
    }
    // The menu as it opens: visible entries by label, "---" for separators, "✓" before a checked
    // one and a submenu's entries in brackets after its own.
    std::string open() {
        call(path_, kMenu, "AboutToShow", {0});
        std::string text;
        flatten(qvariant_cast<QDBusArgument>(
                    call(path_, kMenu, "GetLayout", {0, -1, QStringList()}, 1)),
                text);
        return text;
    }
    // The entry chosen, then the menu closed.
    void choose(const std::string& label) {
        ASSERT_TRUE(ids_.count(label)) << label;
        for (auto [id, event] : {std::pair{ids_[label], "clicked"}, std::pair{0, "closed"}}) {
            call(path_, kMenu, "Event", {id, event, QVariant::fromValue(QDBusVariant(0)), 0u});
        }
    }

  private:
    static constexpr const char* kMenu = "com.canonical.dbusmenu";
    // The reply's argument `at`.
    QVariant call(const QString& path, const char* interface, const char* member,
                  const QVariantList& arguments, int at = 0) {
        QDBusMessage message = QDBusMessage::createMethodCall(service_, path, interface, member);
        message.setArguments(arguments);
        const QDBusMessage reply = QDBusConnection::sessionBus().call(message);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return reply.arguments().value(at);
    }
    void flatten(const QDBusArgument& node, std::string& text) {
        int id = 0;
        QVariantMap properties;
        node.beginStructure();
        node >> id >> properties;
        const bool shown = id != 0 && properties.value("visible", true).toBool();
        if (shown) {
            const std::string label = properties.value("label").toString().toStdString();
            ids_[label] = id;
            text += std::string(text.empty() || text.back() == '[' ? "" : "|") +
                    (properties.value("type").toString() == "separator" ? "---"
                     : properties.value("toggle-state").toInt() == 1    ? "✓" + label
                                                                        : label);
        }
        node.beginArray();
        const bool children = shown && !node.atEnd();
        text += children ? "[" : "";
        while (!node.atEnd()) {
            QDBusVariant child;
            node >> child;
            flatten(qvariant_cast<QDBusArgument>(child.variant()), text);
        }
        text += children ? "]" : "";
        node.endArray();
        node.endStructure();
    }
    QString service_;
    QString path_;
    std::map<std::string, int> ids_;
};

class KWinRow : public ::testing::Test {
  protected:
    WaylandWindow& open(const std::string& title, const std::string& appId = "row",
                        kit::WindowOptions options = {}) {
        windows_.emplace_back(TALLOWMERE_WAYLAND_WINDOW, appId, title, kWidth, kHeight, options);
        EXPECT_TRUE(waitUntil([&] { return probe_.frameOf(title).has_value(); }));
        return windows_.back();
    }

    // Waits until every window stands at its place.
    void expectAt(const std::map<std::string, std::pair<int, int>>& places) {
        std::map<std::string, std::pair<int, int>> seen;
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
    std::list<WaylandWindow> windows_;
};

// A and B are Wayland clients, C an X11 client of XWayland: one application, one row.
// A opens where KWin puts it, at (ax, ay), and stays: it is alone. Frames are w = 300 by 200,
// spacing 20, the work area the whole 1920x1080 screen.
// B: the reference is A's centre, ax + 150; the row [A, B] is 620 wide and starts at
// ax + 150 - 310 = ax - 160, B at ax - 160 + 320 = ax + 160; tops stay at ay (equal heights).
// C: the reference is the centre of [A, B], (ax - 160 + ax + 460) / 2 = ax + 150 again; the row is
// 940 wide and starts at ax + 150 - 470 = ax - 320: A at ax - 320, B at ax, C at ax + 320.
// B closes: A, C and B's last place span ax - 320 .. ax + 620, centre ax + 150: [A, C] stands as
// [A, B] did, at ax - 160 and ax + 160.
// C is minimised: A and C's place span ax - 160 .. ax + 460, centre ax + 150: A alone at ax.
// ⌃⌥R with A alone: no move, and the banner (its size is the text's) centred on the 1920x1080
// work area, its centre a third of the way down: at (960, 360).
// C is restored: it joins on the right of A as B did: ax - 160 and ax + 160.
// A's dialog and another application's window never move.
// ⌃⌥C is another program's: that shortcut is refused. With A moved up by 100 and C down by 100,
// the centre of the pair stays at (ax + 150, ay + 100): ⌃⌥R puts them back at ax - 160 and
// ax + 160, tops at ay.
// When B joins, a border flashes at each destination, (ax - 160, ay) and (ax + 160, ay), 300 by
// 200, kept above; the focus stays with B, and the flashes go.
TEST_F(KWinRow, SecondAndThirdWindowsFormARowThatClosesUp) {
    // Ctrl+Alt+C, in Qt's numbers: 0x04000000 | 0x08000000 | 'C'.
    const std::string other = "array:string:other,center,Other,Center";
    ASSERT_EQ(globalShortcuts("/kglobalaccel", "org.kde.KGlobalAccel.doRegister " + other), 0);
    ASSERT_EQ(globalShortcuts("/kglobalaccel", "org.kde.KGlobalAccel.setShortcut " + other +
                                                   " array:int32:201326659 uint32:6"),
              0);
    kit::ChildProcess watcher({TALLOWMERE_SNI_WATCHER});
    ASSERT_TRUE(watcher.waitForLine("ready"));
    app_ = std::make_unique<kit::Tallowmere>(kPreferences, "");
    EXPECT_TRUE(app_->waitForLine("グローバルショートカットの登録に失敗しました: ⌃⌥C"))
        << app_->errorOutput();
    ASSERT_TRUE(app_->waitForLine("tallowmere: started")) << app_->errorOutput();

    open("A", "row", {.dialog = true});
    ASSERT_TRUE(app_->waitForLine("既存の標準ウィンドウがないため整列不要")) << app_->errorOutput();
    ASSERT_TRUE(waitUntil([&] { return probe_.frameOf("A-dialog").has_value(); }));
    ASSERT_TRUE(app_->waitForLine("非標準ウィンドウの生成通知のため無視")) << app_->errorOutput();
    const KWinFrame a0 = probe_.frameOf("A").value();
    ASSERT_EQ(a0.width, kWidth);
    ASSERT_EQ(a0.height, kHeight);
    const int ax = a0.x;
    const int ay = a0.y;
    // The row of three must fit on the screen for the places above to hold.
    ASSERT_GE(ax - 320, 0);
    ASSERT_LE(ax + 320 + kWidth, 1920);
    auto placeOf = [&](const std::string& title) {
        const auto f = probe_.frameOf(title);
        return f ? std::optional<std::pair<int, int>>({f->x, f->y}) : std::nullopt;
    };
    const auto dialogAt = placeOf("A-dialog");
    open("other", "Other");
    const auto otherAt = placeOf("other");

    // KWin's own record of where our feedback windows went, kept whenever the flash is.
    const std::string feedback = probe_.watch(
        "function seen(w) { var g = w.frameGeometry; report(g.x + ' ' + g.y + ' ' + g.width +"
        " ' ' + g.height + ' ' + (w.keepAbove ? 1 : 0)); }\n"
        "function follow(w) { if (String(w.caption).indexOf('tallowmere-feedback-') !== 0) return;"
        " seen(w); w.frameGeometryChanged.connect(function () { seen(w); }); }\n"
        "(workspace.windowAdded || workspace.clientAdded).connect(follow);");
    WaylandWindow& b = open("B");
    expectAt({{"A", {ax - 160, ay}}, {"B", {ax + 160, ay}}});
    auto flashed = [&](int x) {
        const auto lines = probe_.reported(feedback);
        const std::string at = std::to_string(x) + " " + std::to_string(ay) + " 300 200 1";
        return std::find(lines.begin(), lines.end(), at) != lines.end();
    };
    EXPECT_TRUE(waitUntil([&] { return flashed(ax - 160) && flashed(ax + 160); }))
        << testing::PrintToString(probe_.reported(feedback));
    EXPECT_TRUE(waitUntil([&] {
        const auto frames = probe_.frames();
        return std::none_of(frames.begin(), frames.end(), [](const auto& f) {
            return f.first.rfind("tallowmere-feedback-", 0) == 0;
        });
    }));
    EXPECT_TRUE(probe_.frameOf("B").value_or(KWinFrame{}).active);
    open("C", "row", {.x11 = true});
    expectAt({{"A", {ax - 320, ay}}, {"B", {ax, ay}}, {"C", {ax + 320, ay}}});

    b.close();
    expectAt({{"A", {ax - 160, ay}}, {"C", {ax + 160, ay}}});

    probe_.setMinimized("C", true);
    expectAt({{"A", {ax, ay}}});
    probe_.activate("A");
    ASSERT_TRUE(waitUntil([&] { return probe_.frameOf("A").value_or(KWinFrame{}).active; }));
    EXPECT_EQ(globalShortcuts("/component/tallowmere",
                              "org.kde.kglobalaccel.Component.invokeShortcut string:shortcut-1"),
              0);
    EXPECT_TRUE(app_->waitForLine("手動再整理: 対象ウィンドウが足りないため不要"))
        << app_->errorOutput();
    EXPECT_TRUE(waitUntil([&] {
        for (const std::string& line : probe_.reported(feedback)) {
            int x = 0, y = 0, w = 0, h = 0, above = 0;
            if (std::sscanf(line.c_str(), "%d %d %d %d %d", &x, &y, &w, &h, &above) == 5 &&
                w != kWidth && std::abs(2 * x + w - 1920) <= 1 && std::abs(2 * y + h - 720) <= 1 &&
                above == 1) {
                return true;
            }
        }
        return false;
    })) << testing::PrintToString(probe_.reported(feedback));
    EXPECT_TRUE(waitUntil([&] { return probe_.frameOf("A").value_or(KWinFrame{}).active; }));
    probe_.setMinimized("C", false);
    expectAt({{"A", {ax - 160, ay}}, {"C", {ax + 160, ay}}});

    probe_.moveTo("A", ax - 160, ay - 100);
    probe_.moveTo("C", ax + 160, ay + 100);
    expectAt({{"A", {ax - 160, ay - 100}}, {"C", {ax + 160, ay + 100}}});
    // Our one shortcut is pressed (the service's own way of pressing it, as no keyboard exists).
    EXPECT_EQ(globalShortcuts("/component/tallowmere",
                              "org.kde.kglobalaccel.Component.invokeShortcut string:shortcut-1"),
              0);
    EXPECT_TRUE(app_->waitForLine("手動再整理を実行")) << app_->errorOutput();
    expectAt({{"A", {ax - 160, ay}}, {"C", {ax + 160, ay}}});

    EXPECT_EQ(placeOf("A-dialog"), dialogAt);
    EXPECT_EQ(placeOf("other"), otherAt);

    // Paused from the tray's submenu, a new window D is left alone; resumed, the next one lines
    // up with all four, D included.
    const auto item = watcher.waitForLine("registered ");
    ASSERT_TRUE(item);
    TrayMenu menu(item->substr(item->find(' ') + 1));
    EXPECT_EQ(menu.open(),
              "監視対象アプリ[✓row]|---|再整頓（⌃⌥R）|中央に再整頓（⌃⌥C）|---|設定...|---|"
              "Tallowmereについて|---|終了");
    menu.choose("row");
    const std::size_t arranged = app_->countLines("整列実行");
    const std::size_t watched = app_->countLines("監視開始");
    open("D");
    EXPECT_EQ(menu.open().find("監視対象アプリ[row]|"), 0u);
    menu.choose("row");
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
    EXPECT_NE(kit::run({"sh", "-c",
                        "dbus-send --session --print-reply --dest=org.kde.KWin /Scripting "
                        "org.kde.kwin.Scripting.isScriptLoaded string:tallowmere | "
                        "grep -q 'boolean true'"}),
              0);
}

// Every easing, the springy and bouncing ones included, ends exactly where B's arrival puts the
// pair (worked out above): A at ax - 160, B at ax + 160, tops at ay.
TEST_F(KWinRow, EveryEasingEndsExactlyOnItsTargets) {
    for (const char* easing : {"linear", "easeIn", "easeOut", "easeInOut", "bouncy", "snappy",
                               "billiards", "gravity", "random"}) {
        SCOPED_TRACE(easing);
        app_ = std::make_unique<kit::Tallowmere>(kit::rowPreferences("row", easing, 0.15), "");
        ASSERT_TRUE(app_->waitForLine("tallowmere: started")) << app_->errorOutput();
        const std::string a = std::string(easing) + "-A";
        open(a);
        ASSERT_TRUE(app_->waitForLine("整列不要")) << app_->errorOutput();
        const KWinFrame a0 = probe_.frameOf(a).value();
        open(std::string(easing) + "-B");
        expectAt({{a, {a0.x - 160, a0.y}}, {std::string(easing) + "-B", {a0.x + 160, a0.y}}});
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
