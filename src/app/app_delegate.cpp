// Start-up and shut-down order, the status menu and its actions.
#include "app/app_delegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QWidget>
#include <algorithm>
#include <iostream>

#include "platform/linux/qt/device_pixels.h"
#include "ui/desktop_entry.h"

namespace tallowmere {
namespace {

const char* const kTagProperty = "tallowmereTag";
// The window icon, three buttons and the gaps between them on the title bars of openbox, xfwm4
// and icewm, with some to spare.
constexpr int kTitleBarAllowance = 160;

QString titleWithShortcut(const char* title, const std::optional<ShortcutSpec>& shortcut) {
    QString text = QString::fromUtf8(title);
    if (shortcut) {
        text += QString::fromUtf8("（") + QString::fromStdString(shortcut->displayString) +
                QString::fromUtf8("）");
    }
    return text;
}

QAction* addItem(QMenu* menu, const QString& title, int tag) {
    QAction* action = menu->addAction(title);
    action->setProperty(kTagProperty, tag);
    return action;
}

QAction* addSeparator(QMenu* menu, int tag = 0) {
    QAction* action = menu->addSeparator();
    action->setProperty(kTagProperty, tag);
    return action;
}

}  // namespace

AppDelegate::AppDelegate(ShellPorts ports)
    : ports_(std::move(ports)),
      hotKeyCenter_(ports_.hotKeys),
      cascadeManager(WindowCascadeManager::create(ports_.engine)) {}

AppDelegate::~AppDelegate() {
    applicationWillTerminate();
}

QString AppDelegate::appDisplayName() {
    const QString entry =
        QStandardPaths::locate(QStandardPaths::ApplicationsLocation, "tallowmere.desktop");
    if (!entry.isEmpty()) {
        if (const auto read = ui::readDesktopEntryFile(entry.toStdString()); read && read->name) {
            return QString::fromStdString(*read->name);
        }
    }
    return "Tallowmere";
}

QAction* AppDelegate::itemWithTag(QMenu* menu, int tag) {
    if (!menu) {
        return nullptr;
    }
    for (QAction* action : menu->actions()) {
        if (action->property(kTagProperty).toInt() == tag) {
            return action;
        }
    }
    return nullptr;
}

void AppDelegate::applicationDidFinishLaunching() {
    buildStatusItem();
    buildStatusMenu();
    const bool trusted = ports_.engine.accessibility.isProcessTrusted();
    if (!trusted) {
        promptForPermissionOnce();
    }
    if (trusted) {
        cascadeManager->startMonitoring();
    } else {
        startPermissionPoll();
    }
    hotKeys = std::make_unique<ShortcutHotKeys>(
        hotKeyCenter_, settings(), ports_.engine.diagnostics,
        [weak = std::weak_ptr<AppDelegate*>(self_)](AlignmentAnchor anchor) {
            if (auto self = weak.lock()) {
                (*self)->realign(anchor);
            }
        });
    hotKeys->subscribe();
}

void AppDelegate::buildStatusItem() {
    statusItem = std::make_unique<QSystemTrayIcon>();
    statusItem->setIcon(QIcon(":/MenuBarIcon.svg"));
    statusItem->setToolTip(appDisplayName());
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        std::cerr << "tallowmere: no system tray is running; the icon will appear when one starts "
                     "(the shortcuts work meanwhile)\n";
    }
}

void AppDelegate::buildStatusMenu() {
    statusMenu = std::make_unique<QMenu>();
    QMenu* menu = statusMenu.get();
    const bool trusted = ports_.engine.accessibility.isProcessTrusted();

    QAction* permission =
        addItem(menu, QString::fromUtf8("アクセシビリティ権限を許可..."), kPermissionTag);
    connect(permission, &QAction::triggered, this, [this] { requestAccessibilityPermission(); });
    QAction* permissionSeparator = addSeparator(menu, kPermissionTag);
    permission->setVisible(!trusted);
    permissionSeparator->setVisible(!trusted);

    QAction* apps = addItem(menu, QString::fromUtf8("監視対象アプリ"), 0);
    monitoredAppsSubmenu = new QMenu(menu);
    apps->setMenu(monitoredAppsSubmenu);
    addSeparator(menu);

    QAction* realign = addItem(menu, QString::fromUtf8("再整頓"), kRealignTag);
    connect(realign, &QAction::triggered, this, [this] { manualRealign(); });
    QAction* center = addItem(menu, QString::fromUtf8("中央に再整頓"), kCenterRealignTag);
    connect(center, &QAction::triggered, this, [this] { manualCenterRealign(); });
    addSeparator(menu);

    QAction* settingsItem = addItem(menu, QString::fromUtf8("設定..."), 0);
    settingsItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(settingsItem, &QAction::triggered, this, [this] { showSettings(); });
    addSeparator(menu);

    QAction* about = addItem(menu, appDisplayName() + QString::fromUtf8("について"), 0);
    connect(about, &QAction::triggered, this, [this] { showAbout(); });
    addSeparator(menu);

    QAction* quit = addItem(menu, QString::fromUtf8("終了"), 0);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, [this] { quitApp(); });

    // While the menu is open, window notifications wait, as they do in a menu's tracking loop.
    connect(menu, &QMenu::aboutToShow, this, [this] {
        if (ports_.setMenuOpen) {
            ports_.setMenuOpen(true);
        }
        menuWillOpen(statusMenu.get());
    });
    connect(menu, &QMenu::aboutToHide, this, [this] {
        if (ports_.setMenuOpen) {
            ports_.setMenuOpen(false);
        }
    });
    statusItem->setContextMenu(menu);
    // A left click opens the same menu, as a menu-bar item does. A click soon after the menu
    // closed counts as the second of a double click: it opens the menu too.
    connect(
        statusItem.get(), &QSystemTrayIcon::activated, this,
        [this](QSystemTrayIcon::ActivationReason reason) {
            if ((reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) &&
                statusMenu) {
                statusMenu->popup(QCursor::pos());
            }
        });
    statusItem->show();
}

void AppDelegate::menuWillOpen(QMenu* menu) {
    if (!menu || menu != statusMenu.get()) {
        return;
    }
    const bool trusted = ports_.engine.accessibility.isProcessTrusted();
    for (QAction* action : menu->actions()) {
        if (action->property(kTagProperty).toInt() == kPermissionTag) {
            action->setVisible(!trusted);
        }
    }
    rebuildMonitoredAppsSubmenu();
    if (QAction* realign = itemWithTag(menu, kRealignTag)) {
        realign->setText(titleWithShortcut("再整頓", settings().manualRealignShortcut()));
    }
    if (QAction* center = itemWithTag(menu, kCenterRealignTag)) {
        center->setText(
            titleWithShortcut("中央に再整頓", settings().manualCenterRealignShortcut()));
    }
}

void AppDelegate::rebuildMonitoredAppsSubmenu() {
    if (!monitoredAppsSubmenu) {
        return;
    }
    monitoredAppsSubmenu->clear();
    const auto& identifiers = settings().monitoredBundleIdentifiers();
    if (identifiers.empty()) {
        QAction* placeholder = monitoredAppsSubmenu->addAction(
            QString::fromUtf8("（設定でアプリを追加してください）"));
        placeholder->setEnabled(false);
        return;
    }
    const auto& paused = settings().pausedBundleIdentifiers();
    // A hand-made list of 100 000 took seconds to build and lay out at every opening: past a
    // screenful, the rest is left to the settings window.
    const std::size_t shown = std::min(identifiers.size(), kMaxSubmenuApps);
    for (std::size_t i = 0; i < shown; ++i) {
        const std::string& identifier = identifiers[i];
        QAction* item = monitoredAppsSubmenu->addAction(QString::fromStdString(identifier));
        item->setCheckable(true);
        item->setChecked(!paused.count(identifier));
        item->setData(QString::fromStdString(identifier));
        connect(item, &QAction::triggered, this, [this, item] { toggleAppPaused(item); });
    }
    if (shown < identifiers.size()) {
        monitoredAppsSubmenu->addSeparator();
        QAction* more = monitoredAppsSubmenu->addAction(
            QString::fromUtf8("ほか%1件を設定で表示...").arg(identifiers.size() - shown));
        connect(more, &QAction::triggered, this, [this] { showSettings(); });
    }
}

void AppDelegate::startPermissionPoll() {
    std::weak_ptr<AppDelegate*> weak = self_;
    permissionCheckTimer = ports_.engine.loop.scheduleRepeatingTimer(
        kPermissionPollInterval, RunLoopMode::commonModes, [weak](Timer&) {
            auto self = weak.lock();
            if (!self) {
                return;
            }
            AppDelegate& delegate = **self;
            if (!delegate.ports_.engine.accessibility.isProcessTrusted()) {
                return;
            }
            if (delegate.permissionCheckTimer) {
                delegate.permissionCheckTimer->invalidate();
                delegate.permissionCheckTimer.reset();
            }
            if (delegate.statusMenu) {
                for (QAction* action : delegate.statusMenu->actions()) {
                    if (action->property(kTagProperty).toInt() == kPermissionTag) {
                        action->setVisible(false);
                    }
                }
            }
            // What it asked for has happened.
            if (delegate.permissionMessage_) {
                delegate.permissionMessage_->close();
            }
            delegate.cascadeManager->startMonitoring();
        });
}

void AppDelegate::requestAccessibilityPermission() {
    promptForPermissionOnce();
}

void AppDelegate::promptForPermissionOnce() {
    // The system's own prompt shows itself once; ours likewise, or a user without a window
    // manager would get a new box at every click.
    if (promptCount_ > 0) {
        if (permissionMessage_) {
            permissionMessage_->show();
            permissionMessage_->raise();
        }
        return;
    }
    ++promptCount_;
    auto* box = new QMessageBox(
        QMessageBox::Information, appDisplayName(),
        QString::fromUtf8("ウィンドウを整頓するには、EWMH に対応したウィンドウマネージャ"
                          "（Openbox、Xfwm4、IceWM など）が必要です。\n"
                          "ウィンドウマネージャが起動すると、自動的に監視を開始します。"),
        QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->setWindowModality(Qt::NonModal);
    permissionMessage_ = box;
    box->show();
}

void AppDelegate::toggleAppPaused(QAction* sender) {
    if (!sender || sender->data().typeId() != QMetaType::QString) {
        return;
    }
    const std::string identifier = sender->data().toString().toStdString();
    std::set<std::string> paused = settings().pausedBundleIdentifiers();
    if (paused.count(identifier)) {
        paused.erase(identifier);
    } else {
        paused.insert(identifier);
    }
    settings().setPausedBundleIdentifiers(paused);
    sender->setChecked(!paused.count(identifier));
    cascadeManager->reconcileObservations();
}

void AppDelegate::showSettings() {
    // The main screen's visible area, as the banner sees it; Qt's primary screen without one.
    std::optional<QRect> area = linux_qt::logicalVisibleArea(ports_.engine.screens);
    if (const QScreen* primary = QGuiApplication::primaryScreen(); !area && primary) {
        area = primary->availableGeometry();
    }
    if (!settingsWindow) {
        QWidget* content = ports_.makeSettingsView ? ports_.makeSettingsView() : nullptr;
        if (!content) {
            content = new QWidget();
            content->setMinimumWidth(420);
        }
        content->adjustSize();
        QSize size = content->sizeHint().expandedTo(content->minimumSizeHint());
        size.setWidth(std::max(size.width(), content->minimumWidth()));
        if (area) {
            size.setHeight(std::min(size.height(), area->height() - 40));
        }
        content->setWindowTitle(appDisplayName() + QString::fromUtf8(" 設定"));
        content->resize(size);
        settingsWindow.reset(content);
    }
    QWidget* window = settingsWindow.get();
    if (area) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(area->center());
        window->move(frame.topLeft());
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void AppDelegate::showAbout() {
    auto* box =
        new QMessageBox(QMessageBox::NoIcon, appDisplayName() + QString::fromUtf8("について"),
                        QString("<p><b>%1</b></p><p>%2 %3</p>")
                            .arg(appDisplayName().toHtmlEscaped(), QString::fromUtf8("バージョン"),
                                 QApplication::applicationVersion().toHtmlEscaped()),
                        QMessageBox::Ok);
    box->setIconPixmap(QIcon(":/MenuBarIcon.svg").pixmap(64, 64));
    // A message box is as wide as its text, and the window manager shortens a longer title;
    // leave room for the title in the title bar's bold face and for the bar's icon and buttons.
    QFont titleFont = box->font();
    titleFont.setBold(true);
    const int titleWidth =
        QFontMetrics(titleFont).horizontalAdvance(box->windowTitle()) + kTitleBarAllowance;
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
        grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    box->raise();
    box->activateWindow();
}

void AppDelegate::manualRealign() {
    realign(settings().alignmentAnchor());
}

void AppDelegate::manualCenterRealign() {
    realign(AlignmentAnchor::screenCenter);
}

void AppDelegate::realign(AlignmentAnchor anchor) {
    if (ports_.catchUp) {
        ports_.catchUp();
    }
    cascadeManager->realignFrontmostApp(anchor);
}

void AppDelegate::quitApp() {
    QCoreApplication::quit();
}

void AppDelegate::applicationWillTerminate() {
    if (terminated_) {
        return;
    }
    terminated_ = true;
    if (permissionCheckTimer) {
        permissionCheckTimer->invalidate();
        permissionCheckTimer.reset();
    }
    cascadeManager->stopMonitoring();
    if (hotKeys) {
        hotKeys->release();
    }
}

}  // namespace tallowmere
