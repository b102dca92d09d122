#include "settings/app_settings.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <variant>

namespace tallowmere {
namespace {

constexpr std::string_view kMonitoredBundleIdentifiers = "monitoredBundleIdentifiers";
constexpr std::string_view kPausedBundleIdentifiers = "pausedBundleIdentifiers";
constexpr std::string_view kWindowSpacingMargin = "windowSpacingMargin";
constexpr std::string_view kAlwaysOpenNewWindowOnRight = "alwaysOpenNewWindowOnRight";
constexpr std::string_view kAnimationEasing = "animationEasing";
constexpr std::string_view kAnimationDuration = "animationDuration";
constexpr std::string_view kShowFlashOverlay = "showFlashOverlay";
constexpr std::string_view kManualRealignShortcut = "manualRealignShortcut";
constexpr std::string_view kAlignmentAnchor = "alignmentAnchor";
constexpr std::string_view kManualCenterRealignShortcut = "manualCenterRealignShortcut";

// An array whose every element is a string; anything else is unusable as a whole.
std::optional<std::vector<std::string>> readStrings(PreferencesStore& store, std::string_view key) {
    const auto stored = store.objectForKey(key);
    const auto* array = stored ? std::get_if<PrefArray>(&stored->value) : nullptr;
    if (array == nullptr) {
        return std::nullopt;
    }
    std::vector<std::string> strings;
    strings.reserve(array->size());
    for (const PrefValue& element : *array) {
        const auto* text = std::get_if<std::string>(&element.value);
        if (text == nullptr) {
            return std::nullopt;
        }
        strings.push_back(*text);
    }
    return strings;
}

// Integers and reals both count; a boolean does not. A NaN or an infinity would poison every
// layout and animation computed from it, so it counts as unusable too.
double readNumber(PreferencesStore& store, std::string_view key, double fallback) {
    const auto stored = store.objectForKey(key);
    if (!stored || !stored->isNumber()) {
        return fallback;
    }
    const double number = stored->asDouble();
    return std::isfinite(number) ? number : fallback;
}

bool readBool(PreferencesStore& store, std::string_view key, bool fallback) {
    const auto stored = store.objectForKey(key);
    const auto* flag = stored ? std::get_if<bool>(&stored->value) : nullptr;
    return flag != nullptr ? *flag : fallback;
}

std::optional<std::string> readString(PreferencesStore& store, std::string_view key) {
    const auto stored = store.objectForKey(key);
    const auto* text = stored ? std::get_if<std::string>(&stored->value) : nullptr;
    return text != nullptr ? std::optional<std::string>(*text) : std::nullopt;
}

EasingFunction loadEasing(PreferencesStore& store) {
    const auto raw = readString(store, kAnimationEasing);
    const auto easing = raw ? easingFunctionFromRaw(*raw) : std::nullopt;
    return easing.value_or(EasingFunction::random);
}

AlignmentAnchor loadAnchor(PreferencesStore& store) {
    const auto raw = readString(store, kAlignmentAnchor);
    const auto anchor = raw ? alignmentAnchorFromRaw(*raw) : std::nullopt;
    return anchor.value_or(AlignmentAnchor::windowCentroid);
}

template <typename Strings>
PrefValue stringArray(const Strings& strings) {
    PrefArray array;
    array.reserve(strings.size());
    for (const std::string& text : strings) {
        array.emplace_back(text);
    }
    return PrefValue(std::move(array));
}

// The shared instance's store. Deliberately leaked, like the instance itself, so that neither is
// torn down by static destruction while the other might still be in use.
struct SharedStore {
    std::mutex mutex;
    std::shared_ptr<PreferencesStore> store;
    std::vector<std::string> defaultMonitored;
    bool instanceCreated = false;
};

SharedStore& sharedStore() {
    static auto* shared = new SharedStore();
    return *shared;
}

}  // namespace

std::vector<std::string> AppSettings::defaultMonitoredBundleIdentifiers() {
    return {"com.apple.Terminal", "com.apple.finder", "com.googlecode.iterm2", "org.vim.MacVim"};
}

std::vector<std::string> AppSettings::linuxDefaultMonitoredBundleIdentifiers() {
    return {"XTerm", "org.gnome.Nautilus", "Gnome-terminal", "Gvim"};
}

AppSettings::AppSettings(PreferencesStore& store)
    : AppSettings(store, defaultMonitoredBundleIdentifiers()) {}

AppSettings::AppSettings(PreferencesStore& store, std::vector<std::string> defaultMonitored)
    : store_(store),
      monitoredBundleIdentifiers_(
          readStrings(store, kMonitoredBundleIdentifiers).value_or(std::move(defaultMonitored))),
      pausedBundleIdentifiers_([&] {
          const auto paused = readStrings(store, kPausedBundleIdentifiers);
          return paused ? std::set<std::string>(paused->begin(), paused->end())
                        : std::set<std::string>();
      }()),
      windowSpacingMargin_(readNumber(store, kWindowSpacingMargin, kDefaultWindowSpacingMargin)),
      alwaysOpenNewWindowOnRight_(readBool(store, kAlwaysOpenNewWindowOnRight, true)),
      animationEasing_(loadEasing(store)),
      animationDuration_(readNumber(store, kAnimationDuration, kDefaultAnimationDuration)),
      showFlashOverlay_(readBool(store, kShowFlashOverlay, false)),
      manualRealignShortcut_(loadShortcut(kManualRealignShortcut)),
      alignmentAnchor_(loadAnchor(store)),
      manualCenterRealignShortcut_(std::nullopt) {
    // Written back at once: a readable entry is re-encoded, an unreadable one removed. The other
    // shortcut's unreadable entry is left in the store, merely unused.
    setManualCenterRealignShortcut(loadShortcut(kManualCenterRealignShortcut));
}

AppSettings& AppSettings::shared() {
    static AppSettings* const instance = [] {
        SharedStore& shared = sharedStore();
        std::lock_guard lock(shared.mutex);
        if (!shared.store) {
            std::fputs("tallowmere: AppSettings::shared() used before a store was installed\n",
                       stderr);
            std::abort();
        }
        shared.instanceCreated = true;
        return new AppSettings(*shared.store, shared.defaultMonitored);
    }();
    return *instance;
}

bool AppSettings::installSharedStore(std::shared_ptr<PreferencesStore> store) {
    return installSharedStore(std::move(store), defaultMonitoredBundleIdentifiers());
}

bool AppSettings::installSharedStore(std::shared_ptr<PreferencesStore> store,
                                     std::vector<std::string> defaultMonitored) {
    SharedStore& shared = sharedStore();
    std::lock_guard lock(shared.mutex);
    if (!store || shared.store || shared.instanceCreated) {
        return false;
    }
    shared.store = std::move(store);
    shared.defaultMonitored = std::move(defaultMonitored);
    return true;
}

template <typename T, typename Write>
void AppSettings::assign(Published<T>& property, T value, Write write) {
    willChange_.send();
    property.assign(std::move(value));
    write(property.get());
}

void AppSettings::setMonitoredBundleIdentifiers(std::vector<std::string> value) {
    assign(monitoredBundleIdentifiers_, std::move(value), [this](const auto& list) {
        store_.setObject(kMonitoredBundleIdentifiers, stringArray(list));
    });
}

void AppSettings::setPausedBundleIdentifiers(std::set<std::string> value) {
    assign(pausedBundleIdentifiers_, std::move(value), [this](const auto& set) {
        store_.setObject(kPausedBundleIdentifiers, stringArray(set));
    });
}

void AppSettings::setWindowSpacingMargin(double value) {
    assign(windowSpacingMargin_, value,
           [this](double margin) { store_.setObject(kWindowSpacingMargin, margin); });
}

void AppSettings::setAlwaysOpenNewWindowOnRight(bool value) {
    assign(alwaysOpenNewWindowOnRight_, value,
           [this](bool flag) { store_.setObject(kAlwaysOpenNewWindowOnRight, flag); });
}

void AppSettings::setAnimationEasing(EasingFunction value) {
    assign(animationEasing_, value, [this](EasingFunction easing) {
        store_.setObject(kAnimationEasing, std::string(rawValue(easing)));
    });
}

void AppSettings::setAnimationDuration(double value) {
    assign(animationDuration_, value,
           [this](double seconds) { store_.setObject(kAnimationDuration, seconds); });
}

void AppSettings::setShowFlashOverlay(bool value) {
    assign(showFlashOverlay_, value,
           [this](bool flag) { store_.setObject(kShowFlashOverlay, flag); });
}

void AppSettings::setManualRealignShortcut(std::optional<ShortcutSpec> value) {
    assign(manualRealignShortcut_, std::move(value),
           [this](const auto& shortcut) { saveShortcut(shortcut, kManualRealignShortcut); });
}

void AppSettings::setAlignmentAnchor(AlignmentAnchor value) {
    assign(alignmentAnchor_, value, [this](AlignmentAnchor anchor) {
        store_.setObject(kAlignmentAnchor, std::string(rawValue(anchor)));
    });
}

void AppSettings::setManualCenterRealignShortcut(std::optional<ShortcutSpec> value) {
    assign(manualCenterRealignShortcut_, std::move(value),
           [this](const auto& shortcut) { saveShortcut(shortcut, kManualCenterRealignShortcut); });
}

Subscription AppSettings::subscribeMonitoredBundleIdentifiers(
    Receiver<std::vector<std::string>> receiver) {
    return monitoredBundleIdentifiers_.subscribe(std::move(receiver));
}

Subscription AppSettings::subscribePausedBundleIdentifiers(
    Receiver<std::set<std::string>> receiver) {
    return pausedBundleIdentifiers_.subscribe(std::move(receiver));
}

Subscription AppSettings::subscribeWindowSpacingMargin(Receiver<double> receiver) {
    return windowSpacingMargin_.subscribe(std::move(receiver));
}

Subscription AppSettings::subscribeAlwaysOpenNewWindowOnRight(Receiver<bool> receiver) {
    return alwaysOpenNewWindowOnRight_.subscribe(std::move(receiver));
}

Subscription AppSettings::subscribeAnimationEasing(Receiver<EasingFunction> receiver) {
    return animationEasing_.subscribe(std::move(receiver));
}

Subscription AppSettings::subscribeAnimationDuration(Receiver<double> receiver) {
    return animationDuration_.subscribe(std::move(receiver));
}

Subscription AppSettings::subscribeShowFlashOverlay(Receiver<bool> receiver) {
    return showFlashOverlay_.subscribe(std::move(receiver));
}

Subscription AppSettings::subscribeManualRealignShortcut(
    Receiver<std::optional<ShortcutSpec>> receiver) {
    return manualRealignShortcut_.subscribe(std::move(receiver));
}

Subscription AppSettings::subscribeAlignmentAnchor(Receiver<AlignmentAnchor> receiver) {
    return alignmentAnchor_.subscribe(std::move(receiver));
}

Subscription AppSettings::subscribeManualCenterRealignShortcut(
    Receiver<std::optional<ShortcutSpec>> receiver) {
    return manualCenterRealignShortcut_.subscribe(std::move(receiver));
}

Subscription AppSettings::subscribeWillChange(std::function<void()> receiver) {
    return willChange_.subscribe(std::move(receiver));
}

std::optional<ShortcutSpec> AppSettings::loadShortcut(std::string_view key) const {
    const auto stored = store_.objectForKey(key);
    const auto* data = stored ? std::get_if<PrefData>(&stored->value) : nullptr;
    return data != nullptr ? decodeShortcut(*data) : std::nullopt;
}

void AppSettings::saveShortcut(const std::optional<ShortcutSpec>& value, std::string_view key) {
    const auto data = value ? encodeShortcut(*value) : std::nullopt;
    if (data) {
        store_.setObject(key, PrefValue(*data));
    } else {
        store_.removeObject(key);
    }
}

}  // namespace tallowmere
