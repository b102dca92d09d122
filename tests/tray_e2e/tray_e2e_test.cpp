// The installed program as a user meets it on a desktop with a tray: the icon, the menu, pausing,
// the settings window, the global shortcuts and quitting.
#include <gtest/gtest.h>
#include <xcb/xcb_keysyms.h>

#include <cmath>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>

#include "display_session.h"
#include "program_under_test.h"

namespace tallowmere::e2e {
namespace {

// {"keyCode":15,"carbonModifiers":6144,"displayString":"⌃⌥R"}.
const char* const kControlOptionR =
    "eyJrZXlDb2RlIjoxNSwiY2FyYm9uTW9kaWZpZXJzIjo2MTQ0LCJkaXNwbGF5U3RyaW5nIjoi4oyD4oylUiJ9";

// The lock variants a grab must cover; Mod2 is NumLock in the X server's default keymap.
constexpr std::uint16_t kLockVariants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                           XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
constexpr std::uint16_t kControlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;

// The tray desktop as the test's own client sees and stirs it: our icon in the tray host, clicks,
// and keyboard grabs that show who holds a key.
class TrayDesktop : public kit::Probe {
  public:
    TrayDesktop() : kit::Probe(std::getenv("DISPLAY")) {}

    // The program's icon: a window below trayer's whose WM_CLASS instance is tallowmere.
    std::optional<xcb_window_t> icon() {
        for (xcb_window_t host : clientsOfClass("trayer")) {
            for (std::vector<xcb_window_t> pending = children(host); !pending.empty();) {
                const xcb_window_t window = pending.back();
                pending.pop_back();
                if (wmClass(window, true) == "tallowmere") {
                    return window;
                }
                const auto below = children(window);
                pending.insert(pending.end(), below.begin(), below.end());
            }
        }
        return std::nullopt;
    }

    // No --sync: it waits 15 s for a motion that never comes when the pointer already rests on
    // the spot. The server takes the move before the click anyway.
    bool click(xcb_window_t window) {
        const auto box = geometry(window);
        const kit::FramePosition origin = clientOrigin(window);
        return box && kit::run({"xdotool", "mousemove", std::to_string(origin.x + box->width / 2),
                                std::to_string(origin.y + box->height / 2), "click", "1"}) == 0;
    }

    // Whether another client holds the keyboard grab, as an open menu does. A grab taken here,
    // even for an instant, could make the menu's own fail; the server answers AlreadyGrabbed
    // before it checks the time, so a time in the future asks without ever taking the grab.
    bool keyboardHeldByAnother() {
        constexpr xcb_timestamp_t kOneHour = 3'600'000;
        auto reply = kit::own(
            xcb_grab_keyboard_reply(conn(),
                                    xcb_grab_keyboard(conn(), 0, root(), serverTime() + kOneHour,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                    nullptr));
        if (reply && reply->status == XCB_GRAB_STATUS_SUCCESS) {
            xcb_ungrab_keyboard(conn(), XCB_CURRENT_TIME);
            xcb_flush(conn());
        }
        return reply && reply->status == XCB_GRAB_STATUS_ALREADY_GRABBED;
    }

    // Grabs Control+Alt+<letter> on the root in each lock state: how many were granted (a state
    // another client holds is refused).
    int grabControlAlt(char letter) {
        int granted = 0;
        for (std::uint16_t lock : kLockVariants) {
            granted += !kit::own(xcb_request_check(
                conn(), xcb_grab_key_checked(conn(), 1, root(), kControlAlt | lock, keycode(letter),
                                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
        }
        return granted;
    }
    void ungrabControlAlt(char letter) {
        for (std::uint16_t lock : kLockVariants) {
            xcb_ungrab_key(conn(), keycode(letter), root(), kControlAlt | lock);
        }
        sync();
    }

    // How many key presses our grabs have brought us so far.
    int keyPressesReceived() {
        sync();  // every event sent before this call has arrived
        while (auto event = kit::own(xcb_poll_for_event(conn()))) {
            keyPresses_ += (event->response_type & 0x7f) == XCB_KEY_PRESS;
        }
        return keyPresses_;
    }

  private:
    xcb_keycode_t keycode(char letter) {
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(conn());
        auto codes = kit::own(xcb_key_symbols_get_keycode(symbols, xcb_keysym_t(letter)));
        xcb_key_symbols_free(symbols);
        return codes ? codes.get()[0] : xcb_keycode_t{XCB_NO_SYMBOL};
    }

    // Touching a property of a window of our own brings the server's time back.
    xcb_timestamp_t serverTime() {
        if (clock_ == XCB_NONE) {
            clock_ = xcb_generate_id(conn());
            const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_create_window(conn(), 0, clock_, root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                              XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
        }
        xcb_change_property(conn(), XCB_PROP_MODE_APPEND, clock_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING,
                            8, 0, nullptr);
        xcb_flush(conn());
        while (auto event = kit::own(xcb_wait_for_event(conn()))) {
            const auto type = event->response_type & 0x7f;
            keyPresses_ += type == XCB_KEY_PRESS;
            const auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event.get());
            if (type == XCB_PROPERTY_NOTIFY && notify->window == clock_) {
                return notify->time;
            }
        }
        return XCB_CURRENT_TIME;
    }

    xcb_window_t clock_ = XCB_NONE;
    int keyPresses_ = 0;
};

// The session buses on our display (other tests' desktops start and stop their own meanwhile).
std::set<pid_t> ourBuses() {
    const std::string ours = std::string("DISPLAY=") + std::getenv("DISPLAY");
    std::set<pid_t> found;
    for (const auto& process : std::filesystem::directory_iterator("/proc")) {
        std::ifstream comm(process.path() / "comm");
        std::ifstream environ(process.path() / "environ", std::ios::binary);
        std::string name, variable;
        std::getline(comm, name);
        while ((name == "dbus-daemon" || name == "dbus-launch") &&
               std::getline(environ, variable, '\0')) {
            if (variable == ours) {
                found.insert(std::stoi(process.path().filename()));
            }
        }
    }
    return found;
}

bool eventually(const std::function<bool()>& condition) {
    return kit::waitUntil(condition, 20);
}

class Tray : public ::testing::Test {
  protected:
    // Starts the program; true once its icon is in the tray and it has started.
    bool start(const nlohmann::json& preferences) {
        const auto before = desktop.icon();  // a program that just quit may leave it a moment
        std::vector<std::string> env;
        // In the sanitizer build, fontconfig's and Qt's process-long caches would be reported as
        // leaks at exit and turn a clean quit into a failure; memory errors still abort.
        if (const char* asan = std::getenv("ASAN_OPTIONS")) {
            env.push_back("ASAN_OPTIONS=" + std::string(asan) + ":detect_leaks=0");
        }
        tallowmere = std::make_unique<kit::Tallowmere>(preferences.dump(), desktop.display(), env);
        return eventually([&] {
                   return desktop.icon().value_or(XCB_NONE) != before.value_or(XCB_NONE);
               }) &&
               tallowmere->waitForLine("tallowmere: started");
    }
    nlohmann::json readPreferences() {
        return nlohmann::json::parse(tallowmere->preferencesBytes(), nullptr, false);
    }

    void openXTerm() {
        xterms.push_back(kit::openXterm(desktop, 100 * int(xterms.size()), 300));
        ASSERT_NE(xterms.back().window, XCB_WINDOW_NONE) << "XTerm " << xterms.size();
    }

    // Opens the status menu by clicking the tray icon; returns what it shows.
    std::string openMenu() {
        // A click while the last menu still closes would be taken as part of that.
        EXPECT_TRUE(eventually([&] { return !desktop.keyboardHeldByAnother(); }));
        const std::size_t shown = tallowmere->linesWith("tallowmere: menu: ").size();
        const auto icon = desktop.icon();
        EXPECT_TRUE(icon && desktop.click(*icon));
        const auto line = tallowmere->waitForLine("tallowmere: menu: ", shown);
        // The line comes as the menu is about to show; keys work once it holds the keyboard.
        EXPECT_TRUE(eventually([&] { return desktop.keyboardHeldByAnother(); }));
        return line ? line->substr(line->find(": menu: ") + 8) : "";
    }

    static void keys(std::vector<std::string> names) {
        names.insert(names.begin(), {"xdotool", "key", "--delay", "50"});
        ASSERT_EQ(kit::run(names), 0);
    }

    TrayDesktop desktop;
    const std::set<pid_t> busesBefore = ourBuses();
    std::unique_ptr<kit::Tallowmere> tallowmere;
    std::deque<kit::Xterm> xterms;
};

// A user pauses XTerm from the menu and resumes it, realigns with the shortcut, then records
// another in the settings window, which refuses a combination another client holds and our own,
// the key reaching neither meanwhile. The settings outlive a restart, the recorded shortcut lines
// up the XTerms, and Quit leaves nothing behind.
TEST_F(Tray, AUserDrivesTheMenuTheSettingsAndTheShortcutsAcrossARestart) {
    ASSERT_EQ(desktop.grabControlAlt('t'), 4);
    openXTerm();
    ASSERT_TRUE(start({{"monitoredBundleIdentifiers", {"XTerm"}},
                       {"manualRealignShortcut", {{"$data", kControlOptionR}}}}))
        << "the icon never reached the tray";
    ASSERT_TRUE(tallowmere->waitForLine("監視開始 pid="));
    EXPECT_EQ(desktop.grabControlAlt('r'), 0) << "⌃⌥R was not grabbed in every state";

    // A second window joins the first in a row; the shortcut lines them up again.
    openXTerm();
    ASSERT_TRUE(tallowmere->waitForLine("整列実行 "));
    keys({"ctrl+alt+r"});
    ASSERT_TRUE(tallowmere->waitForLine("手動再整理を実行"));
    ASSERT_TRUE(tallowmere->waitForLine("整列実行 ", 1));

    EXPECT_EQ(openMenu(),
              "監視対象アプリ|---|再整頓（⌃⌥R）|中央に再整頓|---|設定...|---|"
              "Tallowmereについて|---|終了");
    keys({"Escape"});

    // Pause XTerm: a third window is left where the window manager put it.
    openMenu();
    keys({"Down", "Right"});
    ASSERT_TRUE(tallowmere->waitForLine("tallowmere: submenu: ✓XTerm"));
    keys({"Return"});
    ASSERT_TRUE(eventually([&] {
        return readPreferences().value("pausedBundleIdentifiers", nlohmann::json()) ==
               nlohmann::json{"XTerm"};
    }));
    openXTerm();

    // Resume: following starts again and a fourth window lines up with all the others.
    openMenu();
    keys({"Down", "Right"});
    ASSERT_TRUE(tallowmere->waitForLine("tallowmere: submenu: XTerm"));
    keys({"Return"});
    ASSERT_TRUE(tallowmere->waitForLine("監視開始 pid=", 1));
    openXTerm();
    ASSERT_TRUE(tallowmere->waitForLine("count=4"));
    for (const std::string& line : tallowmere->linesWith("整列実行 ")) {
        EXPECT_EQ(line.find("count=3"), std::string::npos) << "arranged while paused: " << line;
    }

    // 設定... then, from アプリを追加..., past 実行中のアプリから追加... and XTerm's remove button
    // to the spacing slider: Home, then three pages of ten points.
    openMenu();
    keys({"Down", "Down", "Down", "Down", "Return"});
    ASSERT_TRUE(tallowmere->waitForLine("tallowmere: shortcut field: ⌃⌥R"));
    ASSERT_TRUE(eventually([&] { return desktop.clientsOfClass("tallowmere").size() == 1; }));
    keys({"Tab", "Tab", "Tab", "Home", "Prior", "Prior", "Prior"});
    ASSERT_TRUE(
        eventually([&] { return readPreferences().value("windowSpacingMargin", 0) == 30; }));
    // The toggle, the anchor picker, the easing picker: its first case, then one down (linear).
    keys({"Tab", "Tab", "Tab", "Home", "Down"});
    ASSERT_TRUE(eventually(
        [&] { return readPreferences().value("animationEasing", "") == std::string("linear"); }));

    // The duration slider, the overlay toggle, then 記録... of 再整頓. The button acts on the
    // space's release, which the server delivers before the keys that follow.
    keys({"Tab", "Tab", "Tab"});
    const std::size_t realigns = tallowmere->countLines("手動再整理");
    for (const std::size_t i : {0, 1}) {
        keys({"space"});
        ASSERT_TRUE(tallowmere->waitForLine("tallowmere: shortcut field: キーを入力…", i))
            << "recording never started";
        keys({i == 0 ? "ctrl+alt+t" : "ctrl+alt+r"});
        EXPECT_TRUE(tallowmere->waitForLine(
            "tallowmere: shortcut field: ⌃⌥R / "
            "このキーの組み合わせは他のアプリと衝突しているため使用できません",
            i));
        EXPECT_EQ(readPreferences()["manualRealignShortcut"]["$data"], kControlOptionR);
    }
    EXPECT_EQ(desktop.keyPressesReceived(), 0) << "the key reached the client that grabbed it";
    EXPECT_EQ(tallowmere->countLines("手動再整理"), realigns) << "realigned while recording";
    desktop.ungrabControlAlt('t');
    keys({"space", "ctrl+alt+t"});
    ASSERT_TRUE(tallowmere->waitForLine("tallowmere: shortcut field: ⌃⌥T"));
    ASSERT_TRUE(eventually(
        [&] { return readPreferences()["manualRealignShortcut"]["$data"] != kControlOptionR; }));

    // Started again from the file it wrote.
    const nlohmann::json saved = readPreferences();
    tallowmere->expectCleanQuit();
    ASSERT_TRUE(start(saved));
    EXPECT_EQ(readPreferences().value("windowSpacingMargin", 0), 30);
    EXPECT_EQ(readPreferences().value("animationEasing", ""), "linear");
    EXPECT_NE(openMenu().find("再整頓（⌃⌥T）"), std::string::npos);
    keys({"Escape"});

    // Two XTerms closed, the other two close up 30 apart; one moved away comes back on ⌃⌥T.
    xterms.resize(2);
    const xcb_window_t a = xterms[0].window, b = xterms[1].window;
    const auto inRow = [&] {
        const auto at = desktop.frame(a), bt = desktop.frame(b);
        const auto size = desktop.frameSize(a);
        return at && bt && size && at->y == bt->y && std::abs(bt->x - at->x) == size->first + 30;
    };
    ASSERT_TRUE(eventually(inRow));
    desktop.moveFrame(b, 900, 600);
    ASSERT_TRUE(eventually([&] { return desktop.frame(b) == kit::FramePosition{900, 600}; }));
    ASSERT_EQ(kit::run({"xdotool", "windowactivate", "--sync", std::to_string(a)}), 0);
    keys({"ctrl+alt+t"});
    EXPECT_TRUE(eventually(inRow));

    // Quit is the sixth item that can be chosen.
    openMenu();
    keys({"Down", "Down", "Down", "Down", "Down", "Down", "Return"});
    EXPECT_EQ(tallowmere->waitExit(20), 0);
    EXPECT_EQ(desktop.grabControlAlt('t'), 4) << "⌃⌥T still held after quitting";
    EXPECT_EQ(ourBuses(), busesBefore) << "a session bus was started for us";
}

}  // namespace
}  // namespace tallowmere::e2e

int main(int argc, char** argv) {
    return tallowmere::kit::runOnPrivateDesktop(argc, argv);
}
