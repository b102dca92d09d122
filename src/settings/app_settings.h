// Every user setting, mirrored to the preferences store the moment it is assigned, with a change
// stream per setting and one object-wide will-change signal.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "motion/easing_function.h"
#include "platform/preferences_store.h"
#include "settings/alignment_anchor.h"
#include "settings/change_stream.h"
#include "settings/published.h"
#include "settings/shortcut_spec.h"

namespace tallowmere {

// Each property is stored under its own name. Every assignment, of an equal value too, does in
// order: the will-change signal; the property's stream delivers the new value (so receivers must
// use the delivered value, not read the property back); the property takes it; the store is
// written. Nothing is range-checked: a negative spacing, a zero duration or even a NaN given to a
// setter is kept and written as it is (the settings window never produces a NaN). Only loading
// mends values, because the store may hold anything.
//
// All use is on the main thread.
class AppSettings {
  public:
    // Loads every property from `store`, falling back to its default for a missing or unusable
    // entry. The only write is manualCenterRealignShortcut's, which goes through its setter and so
    // re-encodes a readable entry and removes an unreadable one. `store` must outlive this object.
    explicit AppSettings(PreferencesStore& store);
    // The same, with `defaultMonitored` as the watched list when the store holds no usable one: a
    // program on another desktop watches that desktop's applications by default.
    AppSettings(PreferencesStore& store, std::vector<std::string> defaultMonitored);
    AppSettings(const AppSettings&) = delete;
    AppSettings& operator=(const AppSettings&) = delete;

    // The program's one instance, over the store installed beforehand; created on first use (safe
    // against concurrent first calls) and never destroyed. Calling it with no store installed is a
    // wiring mistake and aborts. Tests construct their own instances instead.
    static AppSettings& shared();
    // Returns false, and changes nothing, once a store is installed or the instance exists. The
    // instance will use `defaultMonitored` when given, as the two-argument constructor does.
    static bool installSharedStore(std::shared_ptr<PreferencesStore> store);
    static bool installSharedStore(std::shared_ptr<PreferencesStore> store,
                                   std::vector<std::string> defaultMonitored);

    // Defaults.
    static std::vector<std::string> defaultMonitoredBundleIdentifiers();
    // The Linux program's: X11 application identifiers (WM_CLASS classes).
    static std::vector<std::string> linuxDefaultMonitoredBundleIdentifiers();
    static constexpr double kDefaultWindowSpacingMargin = 20.0;
    static constexpr double kDefaultAnimationDuration = 0.5;

    const std::vector<std::string>& monitoredBundleIdentifiers() const {
        return monitoredBundleIdentifiers_.get();
    }
    const std::set<std::string>& pausedBundleIdentifiers() const {
        return pausedBundleIdentifiers_.get();
    }
    double windowSpacingMargin() const { return windowSpacingMargin_.get(); }
    bool alwaysOpenNewWindowOnRight() const { return alwaysOpenNewWindowOnRight_.get(); }
    EasingFunction animationEasing() const { return animationEasing_.get(); }
    double animationDuration() const { return animationDuration_.get(); }
    bool showFlashOverlay() const { return showFlashOverlay_.get(); }
    const std::optional<ShortcutSpec>& manualRealignShortcut() const {
        return manualRealignShortcut_.get();
    }
    AlignmentAnchor alignmentAnchor() const { return alignmentAnchor_.get(); }
    const std::optional<ShortcutSpec>& manualCenterRealignShortcut() const {
        return manualCenterRealignShortcut_.get();
    }

    void setMonitoredBundleIdentifiers(std::vector<std::string> value);
    void setPausedBundleIdentifiers(std::set<std::string> value);
    void setWindowSpacingMargin(double value);
    void setAlwaysOpenNewWindowOnRight(bool value);
    void setAnimationEasing(EasingFunction value);
    void setAnimationDuration(double value);
    void setShowFlashOverlay(bool value);
    void setManualRealignShortcut(std::optional<ShortcutSpec> value);
    void setAlignmentAnchor(AlignmentAnchor value);
    void setManualCenterRealignShortcut(std::optional<ShortcutSpec> value);

    // Each receiver gets the current value at once, then every assigned value.
    template <typename T>
    using Receiver = std::function<void(const T&)>;
    [[nodiscard]] Subscription subscribeMonitoredBundleIdentifiers(
        Receiver<std::vector<std::string>> receiver);
    [[nodiscard]] Subscription subscribePausedBundleIdentifiers(
        Receiver<std::set<std::string>> receiver);
    [[nodiscard]] Subscription subscribeWindowSpacingMargin(Receiver<double> receiver);
    [[nodiscard]] Subscription subscribeAlwaysOpenNewWindowOnRight(Receiver<bool> receiver);
    [[nodiscard]] Subscription subscribeAnimationEasing(Receiver<EasingFunction> receiver);
    [[nodiscard]] Subscription subscribeAnimationDuration(Receiver<double> receiver);
    [[nodiscard]] Subscription subscribeShowFlashOverlay(Receiver<bool> receiver);
    [[nodiscard]] Subscription subscribeManualRealignShortcut(
        Receiver<std::optional<ShortcutSpec>> receiver);
    [[nodiscard]] Subscription subscribeAlignmentAnchor(Receiver<AlignmentAnchor> receiver);
    [[nodiscard]] Subscription subscribeManualCenterRealignShortcut(
        Receiver<std::optional<ShortcutSpec>> receiver);

    // Sent before any property changes, without saying which.
    [[nodiscard]] Subscription subscribeWillChange(std::function<void()> receiver);

    // The stored blob under `key` decoded; none when absent, not a blob, or not decodable.
    std::optional<ShortcutSpec> loadShortcut(std::string_view key) const;
    // Stores the encoded blob under `key`, or removes the key for none or an unencodable value.
    void saveShortcut(const std::optional<ShortcutSpec>& value, std::string_view key);

  private:
    template <typename T, typename Write>
    void assign(Published<T>& property, T value, Write write);

    PreferencesStore& store_;
    ChangeStream<> willChange_;

    Published<std::vector<std::string>> monitoredBundleIdentifiers_;
    Published<std::set<std::string>> pausedBundleIdentifiers_;
    Published<double> windowSpacingMargin_;
    Published<bool> alwaysOpenNewWindowOnRight_;
    Published<EasingFunction> animationEasing_;
    Published<double> animationDuration_;
    Published<bool> showFlashOverlay_;
    Published<std::optional<ShortcutSpec>> manualRealignShortcut_;
    Published<AlignmentAnchor> alignmentAnchor_;
    Published<std::optional<ShortcutSpec>> manualCenterRealignShortcut_;
};

}  // namespace tallowmere
