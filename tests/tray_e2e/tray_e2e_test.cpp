// The installed program as a user meets it on a desktop with a tray: the icon in the tray, the
// menu's items, pausing XTerm from the submenu, the global shortcuts and quitting.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "child_process.h"
#include "display_session.h"
#include "tray_desktop.h"

namespace tallowmere::e2e {
namespace {

// {"keyCode":15,"carbonModifiers":6144,"displayString":"⌃⌥R"} and the same for C (key code 8).
const char* const kControlOptionR =
    "eyJrZXlDb2RlIjoxNSwiY2FyYm9uTW9kaWZpZXJzIjo2MTQ0LCJkaXNwbGF5U3RyaW5nIjoi4oyD4oylUiJ9";
const char* const kControlOptionC =
    "eyJrZXlDb2RlIjo4LCJjYXJib25Nb2RpZmllcnMiOjYxNDQsImRpc3BsYXlTdHJpbmciOiLijIPijKVDIn0=";

// Processes of the user named dbus-launch or dbus-daemon, and the children of `parent`.
std::set<pid_t> processes(const std::function<bool(const std::string& name, pid_t ppid)>& keep) {
    std::set<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) {
            continue;
        }
        // pid (comm) state ppid ...
        const auto open = line.find('('), shut = line.rfind(')');
        if (open == std::string::npos || shut == std::string::npos) {
            continue;
        }
        std::istringstream rest(line.substr(shut + 2));
        char state;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (keep(line.substr(open + 1, shut - open - 1), ppid)) {
            found.insert(std::stoi(name));
        }
    }
    return found;
}

using kit::ChildProcess;

bool eventually(const std::function<bool()>& condition) {
    return kit::waitUntil(condition, 20);
}

int run(const std::vector<std::string>& argv) {
    return kit::run(argv);
}

// Buses on our display only: other tests' desktops start and stop buses of their own meanwhile.
std::set<pid_t> sessionBuses() {
    const std::string ours = std::string("DISPLAY=") + std::getenv("DISPLAY");
    std::set<pid_t> buses = processes([](const std::string& name, pid_t) {
        return name == "dbus-launch" || name == "dbus-daemon";
    });
    std::erase_if(buses, [&](pid_t pid) {
        std::ifstream environ("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
        for (std::string entry; std::getline(environ, entry, '\0');) {
            if (entry == ours) {
                return false;
            }
        }
        return true;
    });
    return buses;
}

class Tray : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(desktop.root(), XCB_WINDOW_NONE);
        config = std::filesystem::temp_directory_path() /
                 ("tallowmere-tray-e2e-" + std::to_string(getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(config / "tallowmere");
        busesBefore = sessionBuses();
    }
    void TearDown() override { std::filesystem::remove_all(config); }

    void writePreferences(const nlohmann::json& preferences) {
        std::ofstream(config / "tallowmere" / "preferences.json") << preferences.dump();
    }
    nlohmann::json readPreferences() {
        std::ifstream in(config / "tallowmere" / "preferences.json");
        return nlohmann::json::parse(in, nullptr, false);
    }

    void start() {
        std::vector<std::string> env{"XDG_CONFIG_HOME=" + config.string()};
        // In the sanitizer build, fontconfig's and Qt's process-long caches would be reported as
        // leaks at exit and turn a clean quit into a failure; memory errors still abort.
        if (const char* asan = std::getenv("ASAN_OPTIONS")) {
            env.push_back("ASAN_OPTIONS=" + std::string(asan) + ":detect_leaks=0");
        }
        tallowmere = std::make_unique<ChildProcess>(
            std::vector<std::string>{TALLOWMERE_BINARY, "--verbose"}, env);
    }

    // Opens an XTerm and waits until the window manager lists `expected` of them.
    void openXTerm(std::size_t expected) {
        xterms.push_back(std::make_unique<ChildProcess>(
            std::vector<std::string>{"xterm", "-geometry", "60x10"}));
        ASSERT_TRUE(eventually([&] { return desktop.clientsOfClass("XTerm").size() == expected; }))
            << "XTerm number " << expected << " never appeared";
    }

    // Opens the status menu by clicking the tray icon; returns what it shows.
    std::string openMenu() {
        // A click while the last menu still closes would be taken as part of that.
        EXPECT_TRUE(eventually([&] { return !desktop.keyboardHeldByAnother(); }));
        const std::size_t shown = tallowmere->linesWith("tallowmere: menu: ").size();
        const auto icon = desktop.embeddedIn("trayer", "tallowmere");
        EXPECT_TRUE(icon && desktop.click(*icon));
        const auto line = tallowmere->waitForLine("tallowmere: menu: ", shown);
        // The line comes as the menu is about to show; keys work once it holds the keyboard.
        EXPECT_TRUE(eventually([&] { return desktop.keyboardHeldByAnother(); }));
        return line ? line->substr(line->find(": menu: ") + 8) : "";
    }

    static void keys(std::vector<std::string> names) {
        names.insert(names.begin(), {"xdotool", "key", "--delay", "50"});
        ASSERT_EQ(run(names), 0);
    }

    TrayDesktop desktop;
    std::filesystem::path config;
    std::set<pid_t> busesBefore;
    std::unique_ptr<ChildProcess> tallowmere;
    std::vector<std::unique_ptr<ChildProcess>> xterms;
};

TEST_F(Tray, AUserPausesXTermFromTheMenuRealignsWithTheShortcutAndQuits) {
    writePreferences({{"monitoredBundleIdentifiers", {"XTerm"}},
                      {"manualRealignShortcut", {{"$data", kControlOptionR}}}});
    openXTerm(1);
    start();
    ASSERT_TRUE(eventually([&] { return desktop.embeddedIn("trayer", "tallowmere").has_value(); }))
        << "the icon never reached the tray";
    ASSERT_TRUE(tallowmere->waitForLine("監視開始 pid="));
    ASSERT_TRUE(tallowmere->waitForLine("tallowmere: started"));
    EXPECT_FALSE(desktop.grabControlAlt('r')) << "⌃⌥R was not grabbed at start";

    // A second window joins the first in a row; the shortcut lines them up again.
    openXTerm(2);
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
    openXTerm(3);

    // Resume: following starts again and a fourth window lines up with all the others.
    openMenu();
    keys({"Down", "Right"});
    ASSERT_TRUE(tallowmere->waitForLine("tallowmere: submenu: XTerm"));
    keys({"Return"});
    ASSERT_TRUE(tallowmere->waitForLine("監視開始 pid=", 1));
    openXTerm(4);
    ASSERT_TRUE(tallowmere->waitForLine("count=4"));
    for (const std::string& line : tallowmere->linesWith("整列実行 ")) {
        EXPECT_EQ(line.find("count=3"), std::string::npos) << "arranged while paused: " << line;
    }

    // Nothing runs on our behalf; Quit is the sixth item that can be chosen.
    const pid_t pid = tallowmere->pid();
    EXPECT_TRUE(processes([pid](const std::string&, pid_t ppid) { return ppid == pid; }).empty());
    openMenu();
    keys({"Down", "Down", "Down", "Down", "Down", "Down", "Return"});
    EXPECT_EQ(tallowmere->waitExit(20), 0);
    EXPECT_TRUE(desktop.grabControlAlt('r')) << "⌃⌥R still held after quitting";
    desktop.ungrabControlAlt('r');
    // Other tests' desktops may stop their buses meanwhile: only a new one would be ours.
    for (const pid_t bus : sessionBuses()) {
        EXPECT_TRUE(busesBefore.count(bus)) << "a session bus was started for us: " << bus;
    }
}

TEST_F(Tray, AShortcutHeldByAnotherClientIsRefusedAndTheRestWorks) {
    ASSERT_TRUE(desktop.grabControlAlt('r'));
    writePreferences({{"monitoredBundleIdentifiers", {"XTerm"}},
                      {"manualRealignShortcut", {{"$data", kControlOptionR}}},
                      {"manualCenterRealignShortcut", {{"$data", kControlOptionC}}}});
    start();
    EXPECT_TRUE(tallowmere->waitForLine("グローバルショートカットの登録に失敗しました: ⌃⌥R"));
    ASSERT_TRUE(eventually([&] { return desktop.embeddedIn("trayer", "tallowmere").has_value(); }));
    ASSERT_TRUE(tallowmere->waitForLine("tallowmere: started"));
    EXPECT_FALSE(desktop.grabControlAlt('c')) << "⌃⌥C was not grabbed at start";

    // The setting keeps its value, so the menu still names it.
    EXPECT_EQ(openMenu(),
              "監視対象アプリ|---|再整頓（⌃⌥R）|中央に再整頓（⌃⌥C）|---|設定...|---|"
              "Tallowmereについて|---|終了");
    keys({"Escape"});
    openXTerm(1);
    openXTerm(2);
    ASSERT_TRUE(tallowmere->waitForLine("整列実行 "));
    keys({"ctrl+alt+c"});
    EXPECT_TRUE(tallowmere->waitForLine("anchor=screenCenter"));

    kill(tallowmere->pid(), SIGTERM);
    EXPECT_EQ(tallowmere->waitExit(20), 0);
    EXPECT_TRUE(desktop.grabControlAlt('c'));
    desktop.ungrabControlAlt('c');
    desktop.ungrabControlAlt('r');
    EXPECT_TRUE(tallowmere->linesWith("しました: ⌃⌥C").empty()) << "⌃⌥C was refused too";
}

TEST_F(Tray, TheRecorderSeesCombinationsThatOtherClientsAndOurOwnShortcutHold) {
    ASSERT_TRUE(desktop.grabControlAlt('t'));
    writePreferences({{"monitoredBundleIdentifiers", {"XTerm"}},
                      {"manualRealignShortcut", {{"$data", kControlOptionR}}}});
    openXTerm(1);
    start();
    ASSERT_TRUE(eventually([&] { return desktop.embeddedIn("trayer", "tallowmere").has_value(); }));
    ASSERT_TRUE(tallowmere->waitForLine("tallowmere: started"));

    // 設定... is the fourth item; the window opens with the focus on its first button, and the
    // realign field's 記録... is three back from there (before the clear button and the centre
    // field's 記録...).
    openMenu();
    keys({"Down", "Down", "Down", "Down", "Return"});
    ASSERT_TRUE(tallowmere->waitForLine("tallowmere: shortcut field: ⌃⌥R"));
    ASSERT_TRUE(eventually([&] { return desktop.clientsOfClass("tallowmere").size() == 1; }));
    keys({"shift+Tab", "shift+Tab", "shift+Tab", "space"});
    ASSERT_TRUE(tallowmere->waitForLine("tallowmere: shortcut field: キーを入力…"))
        << "recording never started";

    // Another client's combination comes to the recorder, which refuses it.
    keys({"ctrl+alt+t"});
    EXPECT_TRUE(tallowmere->waitForLine(
        "tallowmere: shortcut field: ⌃⌥R / "
        "このキーの組み合わせは他のアプリと衝突しているため使用できません"));
    EXPECT_EQ(desktop.keyPressesReceived(), 0) << "the key reached the client that grabbed it";
    EXPECT_EQ(readPreferences()["manualRealignShortcut"]["$data"], kControlOptionR);

    // Our own combination is probed as well, and does not realign meanwhile.
    keys({"space"});
    ASSERT_TRUE(tallowmere->waitForLine("tallowmere: shortcut field: キーを入力…", 1));
    keys({"ctrl+alt+r"});
    EXPECT_TRUE(
        tallowmere->waitForLine("tallowmere: shortcut field: ⌃⌥R / "
                                "このキーの組み合わせは他のアプリと衝突しているため使用できません",
                                1));
    EXPECT_TRUE(tallowmere->linesWith("手動再整理").empty()) << "realigned while recording";
    EXPECT_EQ(readPreferences()["manualRealignShortcut"]["$data"], kControlOptionR);

    // The probe left our registration alone, and the keyboard is free again.
    EXPECT_FALSE(desktop.keyboardHeldByAnother());
    const auto xterm = desktop.clientsOfClass("XTerm");
    ASSERT_EQ(xterm.size(), 1u);
    ASSERT_EQ(run({"xdotool", "windowactivate", "--sync", std::to_string(xterm[0])}), 0);
    keys({"ctrl+alt+r"});
    // One window: the realign finds nothing to line up, and says so.
    EXPECT_TRUE(tallowmere->waitForLine("手動再整理"));

    kill(tallowmere->pid(), SIGTERM);
    EXPECT_EQ(tallowmere->waitExit(20), 0);
    desktop.ungrabControlAlt('t');
}

TEST_F(Tray, ThePickersOfferWhatCanBeArrangedAndFindAnEntrysClassFromItsProgram) {
    writePreferences({{"monitoredBundleIdentifiers", {"XTerm"}}});
    openXTerm(1);
    // A program whose desktop entry, like most, names no window class.
    xterms.push_back(std::make_unique<ChildProcess>(
        std::vector<std::string>{"xmessage", "-center", "Tallowmere"}));
    ASSERT_TRUE(eventually([&] { return desktop.clientsOfClass("Xmessage").size() == 1; }));
    const auto entry = config / "message.desktop";
    std::ofstream(entry) << "[Desktop Entry]\nType=Application\nName=Message\nExec=xmessage %U\n";
    start();
    ASSERT_TRUE(eventually([&] { return desktop.embeddedIn("trayer", "tallowmere").has_value(); }));
    ASSERT_TRUE(tallowmere->waitForLine("tallowmere: started"));
    openMenu();
    keys({"Down", "Down", "Down", "Down", "Return"});
    ASSERT_TRUE(eventually([&] { return desktop.clientsOfClass("tallowmere").size() == 1; }));

    // アプリを追加... has the focus; the file dialog takes a typed path.
    keys({"space"});
    ASSERT_TRUE(eventually([&] { return desktop.clientsOfClass("tallowmere").size() == 2; }));
    ASSERT_EQ(run({"xdotool", "type", "--delay", "20", entry.string()}), 0);
    keys({"Return"});
    const nlohmann::json both = {"XTerm", "Xmessage"};
    EXPECT_TRUE(eventually([&] {
        return readPreferences().value("monitoredBundleIdentifiers", nlohmann::json()) == both;
    })) << "the entry's program runs the Xmessage window";

    // 実行中のアプリから追加... offers the two, both listed already, and not the tray's panel.
    keys({"Tab", "space"});
    ASSERT_TRUE(eventually([&] { return desktop.keyboardHeldByAnother(); }));
    keys({"Down", "Return", "Escape"});
    ASSERT_TRUE(eventually([&] { return !desktop.keyboardHeldByAnother(); }));
    EXPECT_EQ(readPreferences().value("monitoredBundleIdentifiers", nlohmann::json()), both);

    kill(tallowmere->pid(), SIGTERM);
    EXPECT_EQ(tallowmere->waitExit(20), 0);
}

}  // namespace
}  // namespace tallowmere::e2e

int main(int argc, char** argv) {
    return tallowmere::kit::runOnPrivateDesktop(argc, argv);
}
