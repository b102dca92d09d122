// The shell: the tray icon and its menu, the wait for a window manager, the per-application
// pause toggles, the settings window, About and Quit, and the engine's start and stop.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

#include "engine/window_cascade_manager.h"
#include "platform/hot_key_service.h"
#include "platform/main_loop.h"
#include "shortcuts/global_hot_key.h"
#include "shortcuts/shortcut_hot_keys.h"

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace tallowmere {

// What the shell needs beyond the engine's ports.
struct ShellPorts {
    EnginePorts engine;
    HotKeyService& hotKeys;
    // Raised while the status menu is open: window notifications wait meanwhile.
    std::function<void(bool open)> setMenuOpen;
    // Brings the desktop's news up to date before a person's command acts on it.
    std::function<void()> catchUp;
    // Builds the settings window's content; an empty stand-in when not given.
    std::function<QWidget*()> makeSettingsView;
};

class AppDelegate : public QObject {
    // First, so that they outlive every field below that uses them.
    ShellPorts ports_;
    HotKeyCenter hotKeyCenter_;

  public:
    static constexpr int kPermissionTag = 1001;
    static constexpr int kRealignTag = 1002;
    static constexpr int kCenterRealignTag = 1003;
    static constexpr double kPermissionPollInterval = 1.0;
    // Watched applications listed in the submenu; the rest are in the settings window.
    static constexpr std::size_t kMaxSubmenuApps = 30;

    explicit AppDelegate(ShellPorts ports);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    void menuWillOpen(QMenu* menu);

    // Menu actions.
    void requestAccessibilityPermission();
    void toggleAppPaused(QAction* sender);
    void showSettings();
    void showAbout();
    void manualRealign();
    void manualCenterRealign();
    void quitApp();

    // The Name of our installed desktop entry, else "Tallowmere"; looked up at every use.
    static QString appDisplayName();
    static QAction* itemWithTag(QMenu* menu, int tag);

    // Fields, as the shell keeps them.
    std::unique_ptr<QSystemTrayIcon> statusItem;
    std::unique_ptr<QMenu> statusMenu;
    QPointer<QMenu> monitoredAppsSubmenu;
    std::shared_ptr<Timer> permissionCheckTimer;
    std::unique_ptr<QWidget> settingsWindow;
    std::shared_ptr<WindowCascadeManager> cascadeManager;
    std::unique_ptr<ShortcutHotKeys> hotKeys;

    // The process's hot-key registrations, shared with the settings window's probe.
    HotKeyCenter& hotKeyCenter() { return hotKeyCenter_; }

    // How many times the window-manager message was shown (at most once a run).
    int permissionPromptCount() const { return promptCount_; }

  private:
    void buildStatusItem();
    void buildStatusMenu();
    void startPermissionPoll();
    void promptForPermissionOnce();
    void rebuildMonitoredAppsSubmenu();
    void realign(AlignmentAnchor anchor);
    AppSettings& settings() { return ports_.engine.settings; }

    bool terminated_ = false;
    int promptCount_ = 0;
    QPointer<QWidget> permissionMessage_;
    std::shared_ptr<AppDelegate*> self_ = std::make_shared<AppDelegate*>(this);
};

}  // namespace tallowmere
