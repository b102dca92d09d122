#include "ui/settings_view.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/linux/json_preferences_store.h"
#include "platform/sim/sim_hot_key_service.h"
#include "platform/sim/sim_keyboard_grab.h"
#include "platform/sim/sim_local_key_monitor.h"
#include "platform/sim/sim_preferences_store.h"
#include "ui/desktop_entry.h"

namespace tallowmere::ui {
namespace {

using Strings = std::vector<std::string>;

// A view over `settings` with simulated hot keys and keys; the test scripts the pickers.
struct ViewRig {
    explicit ViewRig(AppSettings& settings) : settings(settings) {}

    SettingsView& open() {
        view = std::make_unique<SettingsView>(
            settings,
            SettingsViewPorts{.hotKeys = center,
                              .keyMonitor = keys,
                              .keyboardGrab = keyboard,
                              .apps = {.runningWindows = [this] { return running; },
                                       .chooseDesktopEntry = [this](QWidget*) { return chosen; }}});
        return *view;
    }
    template <typename T>
    T* find(const char* name) {
        T* child = view->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    // The redraw follows the will-change signal through the event loop.
    void settle() { QCoreApplication::sendPostedEvents(); }
    Strings listed() {
        Strings rows;
        auto* list = find<QListWidget>("monitoredBundleIdentifiers");
        for (int i = 0; i < list->count(); ++i) {
            rows.push_back(
                list->itemWidget(list->item(i))->findChild<QLabel*>()->text().toStdString());
        }
        return rows;
    }

    AppSettings& settings;
    sim::SimHotKeyService service;
    HotKeyCenter center{service};
    sim::SimLocalKeyMonitor keys;
    sim::SimKeyboardGrab keyboard;
    std::vector<RunningWindow> running;
    std::optional<std::string> chosen;
    std::unique_ptr<SettingsView> view;
};

// The view over settings in a simulated store.
class SettingsViewTest : public ::testing::Test {
  protected:
    // A desktop entry file of the test's own, by its path.
    static std::string entry(const char* name, const std::string& text) {
        const auto dir = std::filesystem::path(::testing::TempDir()) / "settings_view_entries";
        std::filesystem::create_directories(dir);
        std::ofstream(dir / name) << text;
        return (dir / name).string();
    }

    sim::SimPreferencesStore store;
    AppSettings settings{store};
    ViewRig rig{settings};
};

TEST_F(SettingsViewTest, ShowsStoredValuesClampedOnlyByTheControls) {
    struct Case {
        double spacing;
        const char* spacingText;
        int spacingSteps;
        double duration;
        const char* durationText;
        int durationSteps;
    };
    const Case cases[] = {
        {33.9, "33 pt", 3390, 0.5, "0.50秒", 5000},
        {250, "250 pt", 10000, 0, "0.00秒", 500},
        {-0.5, "0 pt", 0, 3, "3.00秒", 10000},
    };
    rig.open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spacingText);
        settings.setWindowSpacingMargin(c.spacing);
        settings.setAnimationDuration(c.duration);
        store.clearLog();
        rig.settle();
        EXPECT_EQ(rig.find<QLabel>("windowSpacingMarginText")->text(), c.spacingText);
        EXPECT_EQ(rig.find<QSlider>("windowSpacingMargin")->value(), c.spacingSteps);
        EXPECT_EQ(rig.find<QLabel>("animationDurationText")->text(), c.durationText);
        EXPECT_EQ(rig.find<QSlider>("animationDuration")->value(), c.durationSteps);
        // Showing a value never stores it.
        EXPECT_TRUE(store.log().empty());
        EXPECT_EQ(settings.windowSpacingMargin(), c.spacing);
    }
}

TEST_F(SettingsViewTest, DurationRowIsHiddenOnlyForNone) {
    rig.open();
    auto* easing = rig.find<QComboBox>("animationEasing");
    ASSERT_EQ(easing->count(), 10);
    EXPECT_EQ(easing->itemText(0), "なし（瞬間移動）");
    EXPECT_EQ(easing->itemText(9), "Random（毎回ランダム）");
    for (int i = 9; i >= 0; --i) {
        easing->setCurrentIndex(i);
        rig.settle();
        EXPECT_EQ(settings.animationEasing(), kAllEasingFunctions[static_cast<std::size_t>(i)]);
        EXPECT_EQ(rig.find<QWidget>("animationDurationRow")->isHidden(), i == 0) << i;
    }
}

TEST_F(SettingsViewTest, AddsOnlyNewIdentifiersAndRemovesEveryCopy) {
    settings.setMonitoredBundleIdentifiers({"XTerm", "Gvim", "XTerm"});
    rig.open();
    EXPECT_EQ(rig.listed(), (Strings{"XTerm", "Gvim", "XTerm"}));

    const std::string listedEntry = entry("gvim.desktop", "[Desktop Entry]\nStartupWMClass=Gvim\n");
    const std::string noClass = entry("plain.desktop", "[Desktop Entry]\nName=Plain\n");
    store.clearLog();
    for (const auto& chosen :
         {std::optional<std::string>(), std::optional(listedEntry), std::optional(noClass),
          std::optional(std::filesystem::path(noClass).parent_path().string())}) {
        rig.chosen = chosen;
        rig.find<QPushButton>("addApplication")->click();
    }
    EXPECT_TRUE(store.log().empty());

    rig.chosen = entry("emacs.desktop", "[Desktop Entry]\nStartupWMClass = Emacs\n");
    rig.find<QPushButton>("addApplication")->click();
    // The tray host's panel and the file manager's desktop are never arranged.
    rig.running = {{"XTerm", 10, true},   {"org.gnome.Nautilus", 11, true},
                   {"Emacs", 12, true},   {"Firefox", 13, true},
                   {"trayer", 14, false}, {"Xfdesktop", 15, false}};
    QMenu* menu = rig.find<QPushButton>("addRunningApplication")->menu();
    ASSERT_NE(menu, nullptr);
    emit menu->aboutToShow();
    const auto actions = menu->actions();
    ASSERT_EQ(actions.size(), 4);
    Strings offered;
    for (QAction* action : actions) {
        offered.push_back(action->text().toStdString() + (action->isEnabled() ? "" : " (listed)"));
    }
    EXPECT_EQ(offered,
              (Strings{"Emacs (listed)", "Firefox", "XTerm (listed)", "org.gnome.Nautilus"}));
    actions[1]->trigger();
    rig.settle();
    EXPECT_EQ(rig.listed(), (Strings{"XTerm", "Gvim", "XTerm", "Emacs", "Firefox"}));

    auto* list = rig.find<QListWidget>("monitoredBundleIdentifiers");
    list->itemWidget(list->item(2))->findChild<QToolButton*>("remove")->click();
    rig.settle();
    EXPECT_EQ(settings.monitoredBundleIdentifiers(), (Strings{"Gvim", "Emacs", "Firefox"}));
    EXPECT_EQ(rig.listed(), (Strings{"Gvim", "Emacs", "Firefox"}));
}

TEST(SettingsViewFile, EveryControlWritesThroughToThePreferencesFile) {
    const auto file = std::filesystem::path(::testing::TempDir()) / "settings_view_prefs.json";
    std::filesystem::remove(file);
    {
        JsonPreferencesStore store(file);
        AppSettings settings(store);
        settings.setMonitoredBundleIdentifiers({"XTerm", "Gvim"});
        ViewRig rig(settings);
        rig.open();
        rig.find<QSlider>("windowSpacingMargin")->setValue(3390);
        rig.find<QCheckBox>("alwaysOpenNewWindowOnRight")->click();
        rig.find<QComboBox>("alignmentAnchor")->setCurrentIndex(1);
        rig.find<QComboBox>("animationEasing")->setCurrentIndex(6);
        rig.find<QSlider>("animationDuration")->setValue(2500);
        rig.find<QCheckBox>("showFlashOverlay")->click();
        auto* list = rig.find<QListWidget>("monitoredBundleIdentifiers");
        list->itemWidget(list->item(0))->findChild<QToolButton*>("remove")->click();
        rig.find<QWidget>("manualCenterRealignShortcut")
            ->findChild<QPushButton*>("recordButton")
            ->click();
        rig.keys.type(KeyEvent{17, kEventModifierFlagControl | kEventModifierFlagOption, "t"});
    }
    JsonPreferencesStore reread(file);
    AppSettings settings(reread);
    EXPECT_EQ(settings.monitoredBundleIdentifiers(), Strings{"Gvim"});
    EXPECT_EQ(settings.windowSpacingMargin(), 33.9);
    EXPECT_FALSE(settings.alwaysOpenNewWindowOnRight());
    EXPECT_EQ(settings.alignmentAnchor(), AlignmentAnchor::screenCenter);
    EXPECT_EQ(settings.animationEasing(), EasingFunction::snappy);
    EXPECT_EQ(settings.animationDuration(), 0.25);
    EXPECT_TRUE(settings.showFlashOverlay());
    EXPECT_EQ(settings.manualCenterRealignShortcut(), (ShortcutSpec{17, 0x1800, "⌃⌥T"}));
}

// With a widget per row, a list of 100 000 took half a minute to open.
TEST_F(SettingsViewTest, AHugeWatchListOpensAtOnceAndEveryRowCanBeReachedAndRemoved) {
    Strings monitored;
    for (int i = 0; i < 100000; ++i) {
        monitored.push_back("App" + std::to_string(i));
    }
    settings.setMonitoredBundleIdentifiers(monitored);
    const auto start = std::chrono::steady_clock::now();
    rig.open().show();
    QCoreApplication::processEvents();
    std::printf(
        "settings with 100000 watched applications opened in %.1f ms\n",
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() * 1000);

    auto* list = rig.find<QListWidget>("monitoredBundleIdentifiers");
    const auto label = [list](int row) {
        QWidget* widget = list->itemWidget(list->item(row));
        return widget ? widget->findChild<QLabel*>()->text().toStdString() : "(not built)";
    };
    const auto removeButtons = [list] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return list->findChildren<QToolButton*>("remove").size();
    };
    ASSERT_EQ(list->count(), 100000);
    EXPECT_EQ(label(0), "App0");
    // Rows as tall as what they show, so that none overlaps the next.
    EXPECT_EQ(list->visualItemRect(list->item(1)).height(),
              list->itemWidget(list->item(1))->sizeHint().height());
    EXPECT_LE(removeButtons(), 60);

    list->scrollToBottom();
    EXPECT_EQ(label(99999), "App99999");
    EXPECT_EQ(label(0), "(not built)");
    EXPECT_LE(removeButtons(), 60);
    list->itemWidget(list->item(99998))->findChild<QToolButton*>("remove")->click();
    rig.settle();
    ASSERT_EQ(settings.monitoredBundleIdentifiers().size(), 99999u);
    EXPECT_EQ(settings.monitoredBundleIdentifiers().back(), "App99999");
    EXPECT_EQ(settings.monitoredBundleIdentifiers()[99997], "App99997");
    EXPECT_EQ(list->count(), 99999);
}

TEST_F(SettingsViewTest, AnEntryWithoutWindowClassTakesTheClassOfItsRunningProgram) {
    rig.open();
    // This test's own process stands for the running program.
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const Pid me = getpid();
    rig.running = {{"UiTests", me, true},
                   {"UiTests", me, true},
                   {"UiTestsTray", me, false},
                   {"XTerm", 1, true},
                   {"Unknown", std::nullopt, true}};
    const std::pair<std::string, Strings> cases[] = {
        {"Exec=\"" + self + "\" --flag %U\n", {"UiTests"}},
        {"Exec=" + self + "\n", {"UiTests"}},
        {"Exec=/usr/bin/no-such-program-here\n", {}},
        {"Exec=\n", {}},
        {"Name=No Exec\n", {}},
    };
    for (const auto& [exec, expected] : cases) {
        SCOPED_TRACE(exec);
        settings.setMonitoredBundleIdentifiers({});
        rig.chosen = entry("exec.desktop", "[Desktop Entry]\nType=Application\n" + exec);
        rig.find<QPushButton>("addApplication")->click();
        EXPECT_EQ(settings.monitoredBundleIdentifiers(), expected);
    }
}

TEST(DesktopEntry, ReadsTheWindowClassAndProgramOfTheMainGroupOnly) {
    using Expected = std::pair<std::optional<std::string>, std::optional<std::string>>;
    const std::pair<const char*, Expected> cases[] = {
        {"[Desktop Entry]\nName=X\nStartupWMClass=XTerm\nExec=xterm -e top\n", {"XTerm", "xterm"}},
        {"# c\n[Desktop Entry]\n  StartupWMClass  =  Foo\\sBar \n", {"Foo Bar", std::nullopt}},
        {"[Desktop Entry]\nStartupWMClass[de]=Nein\n", {}},
        {"[Desktop Entry]\nName=X\n[Desktop Action new]\nStartupWMClass=Other\nExec=b\n", {}},
        {"StartupWMClass=Outside\nExec=a\n[Desktop Entry]\n", {}},
        {"[Desktop Entry]\nStartupWMClass=\nExec=\n", {}},
        {"[Desktop Entry]\nExec=\"/opt/My App/run\" %F\n", {std::nullopt, "/opt/My App/run"}},
        {"[Desktop Entry]\nExec=\"/opt/a\\\\\"b\"\n", {std::nullopt, "/opt/a\"b"}},
        {"[Desktop Entry]\n#Exec=commented\nExec=  gvim\t-f %F\n", {std::nullopt, "gvim"}},
    };
    for (const auto& [text, expected] : cases) {
        std::istringstream in(text);
        const DesktopEntry entry = readDesktopEntry(in);
        EXPECT_EQ(entry.startupWMClass, expected.first) << text;
        EXPECT_EQ(entry.execProgram, expected.second) << text;
    }
}

}  // namespace
}  // namespace tallowmere::ui
