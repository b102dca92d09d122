// The shell on the simulated desktop, with Qt's offscreen platform standing in for a tray: what a
// user sees in the menu, the wait for a window manager, the settings window and quitting.
#include "app/app_delegate.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>
#include <tuple>

#include "platform/diagnostics.h"
#include "platform/random_source.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_feedback_windows.h"
#include "platform/sim/sim_hot_key_service.h"
#include "platform/sim/sim_main_loop.h"
#include "platform/sim/sim_preferences_store.h"
#include "settings/app_settings.h"
#include "sim_engine_ports.h"

namespace tallowmere {
namespace {

const ShortcutSpec kControlOptionR{15, kCarbonControlKey | kCarbonOptionKey, "⌃⌥R"};
const ShortcutSpec kCommandShiftC{8, kCarbonCmdKey | kCarbonShiftKey, "⌘⇧C"};

// The visible items as the user reads them, joined by " | ": separators as "---", a checked item
// with a "✓" prefix, a disabled one in brackets.
std::string shown(const QMenu& menu) {
    std::string items;
    for (const QAction* action : menu.actions()) {
        if (!action->isVisible()) {
            continue;
        }
        std::string text = action->isSeparator() ? "---" : action->text().toStdString();
        if (action->isChecked()) {
            text = "✓" + text;
        }
        if (!action->isEnabled()) {
            text = "[" + text + "]";
        }
        items += (items.empty() ? "" : " | ") + text;
    }
    return items;
}

class Shell : public ::testing::Test {
  protected:
    Shell() {
        settings.setMonitoredBundleIdentifiers({"XTerm"});
        xterm = desktop.addRunningApplication("XTerm");
    }

    void launch(bool trusted) {
        desktop.setTrusted(trusted);
        shell = std::make_unique<AppDelegate>(ShellPorts{
            .engine =
                sim::simEnginePorts(desktop, loop, feedbackWindows, random, diagnostics, settings),
            .hotKeys = hotKeys,
            .setMenuOpen = [this](bool open) { loop.setMenuOpen(open); },
            .makeSettingsView = nullptr,
        });
        shell->applicationDidFinishLaunching();
    }

    // The menu as the user opens it, and closes it again.
    std::string openMenu() {
        Q_EMIT shell->statusMenu->aboutToShow();
        const std::string items = shown(*shell->statusMenu);
        Q_EMIT shell->statusMenu->aboutToHide();
        return items;
    }

    // A message box on screen, the one of that title if one is named.
    static QMessageBox* shownMessageBox(const QString& title = {}) {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box && box->isVisible() && (title.isEmpty() || box->windowTitle() == title)) {
                return box;
            }
        }
        return nullptr;
    }

    // Quitting leaves no timer, observer or grab behind.
    void quitLeavesNothingRunning() {
        shell->quitApp();
        shell->applicationWillTerminate();
        EXPECT_EQ(loop.activeTimerCount(), 0u);
        EXPECT_EQ(desktop.liveObserverCount(xterm), 0u);
        EXPECT_TRUE(hotKeys.registrations().empty());
    }

    sim::SimMainLoop loop;
    sim::SimDesktop desktop{loop};
    sim::SimFeedbackWindows feedbackWindows{loop};
    sim::SimHotKeyService hotKeys;
    sim::SimPreferencesStore store;
    AppSettings settings{store};
    SystemRandomSource random;
    CapturingDiagnosticSink diagnostics;
    Pid xterm = 0;
    std::unique_ptr<AppDelegate> shell;
};

TEST_F(Shell, WithoutAWindowManagerItWaitsAndStartsWithinASecondOfOneArriving) {
    launch(false);

    EXPECT_EQ(
        openMenu(),
        "アクセシビリティ権限を許可... | --- | 監視対象アプリ | --- | 再整頓 | 中央に再整頓 | "
        "--- | 設定... | --- | Tallowmereについて | --- | 終了");
    EXPECT_EQ(loop.activeTimerCount(), 1u);
    EXPECT_EQ(shell->permissionPromptCount(), 1);
    EXPECT_NE(shownMessageBox(), nullptr);
    loop.advance(5.0);
    EXPECT_EQ(desktop.liveObserverCount(xterm), 0u);

    // The window manager arrives while the menu is open: the poll fires all the same.
    Q_EMIT shell->statusMenu->aboutToShow();
    ASSERT_TRUE(loop.menuOpen());
    desktop.setTrusted(true);
    loop.advance(1.0);
    EXPECT_EQ(desktop.liveObserverCount(xterm), 1u);
    EXPECT_EQ(loop.activeTimerCount(), 0u);
    EXPECT_TRUE(shown(*shell->statusMenu).starts_with("監視対象アプリ")) << "still asking";
    EXPECT_EQ(shownMessageBox(), nullptr) << "the wait is over, its message should be too";
    Q_EMIT shell->statusMenu->aboutToHide();
    EXPECT_FALSE(loop.menuOpen());

    // Asking again shows the same message, not a second one.
    shell->requestAccessibilityPermission();
    EXPECT_EQ(shell->permissionPromptCount(), 1);

    // The window manager goes away: the item comes back, the engine keeps running.
    desktop.setTrusted(false);
    EXPECT_TRUE(openMenu().starts_with("アクセシビリティ権限を許可... | ---"));
    EXPECT_EQ(desktop.liveObserverCount(xterm), 1u);
    EXPECT_EQ(loop.activeTimerCount(), 0u);
}

// With a window manager the engine starts at once, nothing polls and nobody is asked for anything.
// A watch list of 100 000 once froze the program for 14 s at every opening of the menu.
TEST_F(Shell, WithAWindowManagerTheMenuShowsTheShortcutsInForceAndTheWatchListAsStored) {
    settings.setManualRealignShortcut(kControlOptionR);
    settings.setManualCenterRealignShortcut(kCommandShiftC);
    launch(true);
    EXPECT_EQ(loop.activeTimerCount(), 0u);
    EXPECT_EQ(desktop.liveObserverCount(xterm), 1u);
    EXPECT_EQ(shell->permissionPromptCount(), 0);
    EXPECT_EQ(openMenu(),
              "監視対象アプリ | --- | 再整頓（⌃⌥R） | 中央に再整頓（⌘⇧C） | --- | 設定... | --- | "
              "Tallowmereについて | --- | 終了");
    settings.setManualRealignShortcut(std::nullopt);
    EXPECT_NE(openMenu().find("| 再整頓 | 中央に再整頓（⌘⇧C） |"), std::string::npos);

    // Watched, paused, shown.
    const std::tuple<std::vector<std::string>, std::set<std::string>, std::string> cases[] = {
        {{}, {}, "[（設定でアプリを追加してください）]"},
        {{"XTerm", "Gvim", "XTerm"}, {"Gvim"}, "✓XTerm | Gvim | ✓XTerm"},
        {{"Gvim"}, {"Gvim", "XTerm"}, "Gvim"},
    };
    for (const auto& [monitored, paused, expected] : cases) {
        settings.setMonitoredBundleIdentifiers(monitored);
        settings.setPausedBundleIdentifiers(paused);
        openMenu();
        ASSERT_TRUE(shell->monitoredAppsSubmenu);
        EXPECT_EQ(shown(*shell->monitoredAppsSubmenu), expected);
    }

    std::vector<std::string> monitored;
    for (int i = 0; i < 100000; ++i) {
        monitored.push_back("App" + std::to_string(i));
    }
    settings.setMonitoredBundleIdentifiers(monitored);
    settings.setPausedBundleIdentifiers({"App1"});
    openMenu();
    QMenu& submenu = *shell->monitoredAppsSubmenu;
    const std::string items = shown(submenu);
    EXPECT_TRUE(items.starts_with("✓App0 | App1 | ✓App2 | ")) << items;
    EXPECT_TRUE(items.ends_with(" | ✓App28 | ✓App29 | --- | ほか99970件を設定で表示...")) << items;
    submenu.actions()[1]->trigger();
    EXPECT_TRUE(submenu.actions()[1]->isChecked());
    EXPECT_TRUE(AppSettings(store).pausedBundleIdentifiers().empty());
    submenu.actions().back()->trigger();
    ASSERT_TRUE(shell->settingsWindow);
    EXPECT_TRUE(shell->settingsWindow->isVisible());
    ASSERT_EQ(hotKeys.registrations().size(), 1u);

    quitLeavesNothingRunning();
}

TEST_F(Shell, SettingsIsOneWindowReCentredOnEveryOpeningAndTheAboutBoxFitsItsTitle) {
    settings.setManualRealignShortcut(kControlOptionR);
    launch(false);
    shell->showSettings();
    QWidget* window = shell->settingsWindow.get();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Tallowmere 設定");
    EXPECT_TRUE(window->isVisible());
    EXPECT_GE(window->width(), 420);
    window->move(0, 0);
    window->close();
    EXPECT_FALSE(window->isVisible());
    shell->showSettings();
    EXPECT_EQ(shell->settingsWindow.get(), window);
    EXPECT_TRUE(window->isVisible());
    // On the main screen's visible area, the banner's: the simulated 1920x1080 less 25 at the top.
    const QPoint centre = QRect(0, 25, 1920, 1055).center();
    EXPECT_LE((window->frameGeometry().center() - centre).manhattanLength(), 4);

    shell->showAbout();
    QMessageBox* about = shownMessageBox("Tallowmereについて");
    ASSERT_NE(about, nullptr);
    // The title in a bold face, beside an icon and three buttons of at least 20 px each.
    QFont bold = about->font();
    bold.setBold(true);
    EXPECT_GE(about->width(), QFontMetrics(bold).horizontalAdvance(about->windowTitle()) + 4 * 20);
    about->close();
    ASSERT_EQ(loop.activeTimerCount(), 1u);
    ASSERT_EQ(hotKeys.registrations().size(), 1u);

    // Quitting ends the wait for a window manager too.
    quitLeavesNothingRunning();
}

// The display name comes from the Name of the main group of an installed desktop entry.
TEST(AppDisplayName, ReadsTheInstalledDesktopEntryElseTallowmere) {
    const std::pair<const char*, const char*> cases[] = {
        {nullptr, "Tallowmere"},  // none installed
        {"[Desktop Action x]\nName=Wrong\n[Desktop Entry]\nName[ja]=タロウミア\nName=Right\n",
         "Right"},
        {"[Desktop Entry]\nName=\n", "Tallowmere"},
    };
    const QString applications = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + "/applications";
    ASSERT_TRUE(QDir().mkpath(applications));
    for (const auto& [entry, expected] : cases) {
        QFile file(applications + "/tallowmere.desktop");
        file.remove();
        if (entry) {
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(entry);
            file.close();
        }
        EXPECT_EQ(AppDelegate::appDisplayName(), expected);
    }
    QFile::remove(applications + "/tallowmere.desktop");
}

}  // namespace
}  // namespace tallowmere

// Widgets need an application object; the offscreen platform needs no display. Installed desktop
// entries are looked up in an empty private data directory, so that none is found by default.
int main(int argc, char** argv) {
    QTemporaryDir data;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    qputenv("XDG_DATA_DIRS", (data.path() + "/none").toLocal8Bit());
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(tallowmere);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
