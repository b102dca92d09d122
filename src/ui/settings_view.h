// The settings window's content: one grouped form whose controls edit the shared settings
// directly, each change stored the moment it is made.
#pragma once

#include <QScrollArea>
#include <functional>
#include <string>

#include "platform/keyboard_grab.h"
#include "platform/local_key_monitor.h"
#include "settings/app_settings.h"
#include "shortcuts/global_hot_key.h"
#include "ui/monitored_apps_section.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QSlider;

namespace tallowmere::ui {

class ShortcutRecorderField;

struct SettingsViewPorts {
    HotKeyCenter& hotKeys;
    LocalKeyMonitor& keyMonitor;
    KeyboardGrab& keyboardGrab;
    MonitoredAppsPorts apps;
    // Told what a shortcut field shows at each change; may be empty.
    std::function<void(const std::string&)> shortcutTrace;
};

class SettingsView : public QScrollArea {
  public:
    static constexpr int kFormWidth = 420;
    // The sliders move in hundredths of a point and ten-thousandths of a second, fine enough to
    // feel continuous; the stored value is the slider's, not rounded to whole points.
    static constexpr int kSpacingStepsPerPoint = 100;
    static constexpr int kDurationStepsPerSecond = 10000;

    // `settings` and everything in `ports` must outlive the view.
    SettingsView(AppSettings& settings, SettingsViewPorts ports, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    // Shows the settings as they are now. Runs after every change, from the event loop.
    void refresh();

  private:
    void buildArrangementSection(QWidget* form);
    void buildAnimationSection(QWidget* form);
    void buildShortcutSection(QWidget* form, SettingsViewPorts& ports);
    void scheduleRefresh();

    AppSettings& settings_;
    MonitoredAppsSection* apps_ = nullptr;
    QSlider* spacing_ = nullptr;
    QLabel* spacingText_ = nullptr;
    QCheckBox* openOnRight_ = nullptr;
    QComboBox* anchor_ = nullptr;
    QComboBox* easing_ = nullptr;
    QWidget* durationRow_ = nullptr;
    QSlider* duration_ = nullptr;
    QLabel* durationText_ = nullptr;
    QCheckBox* flash_ = nullptr;
    ShortcutRecorderField* realignField_ = nullptr;
    ShortcutRecorderField* centerRealignField_ = nullptr;
    bool refreshPending_ = false;
    Subscription willChange_;
};

}  // namespace tallowmere::ui
