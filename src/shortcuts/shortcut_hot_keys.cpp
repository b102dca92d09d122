#include "shortcuts/shortcut_hot_keys.h"

#include <cstdio>
#include <string>
#include <utility>

#include "platform/hot_key_service.h"

namespace tallowmere {

ShortcutHotKeys::ShortcutHotKeys(HotKeyCenter& center, AppSettings& settings,
                                 DiagnosticSink& diagnostics, RealignAction realignFrontmostApp,
                                 Report report)
    : center_(center),
      settings_(settings),
      diagnostics_(diagnostics),
      realignFrontmostApp_(std::move(realignFrontmostApp)),
      report_(std::move(report)) {
    if (!report_) {
        report_ = [](std::string_view line) {
            std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
        };
    }
}

ShortcutHotKeys::~ShortcutHotKeys() {
    // Subscriptions first, so that nothing registers again while the fields are released.
    settingsCancellables.clear();
    release();
}

void ShortcutHotKeys::subscribe() {
    const std::weak_ptr<ShortcutHotKeys*> weak = self_;
    settingsCancellables.push_back(
        settings_.subscribeManualRealignShortcut([weak](const std::optional<ShortcutSpec>& value) {
            if (const auto self = weak.lock()) {
                (*self)->reregister((*self)->globalHotKey, value, (*self)->realignHandler(),
                                    "再整頓");
            }
        }));
    settingsCancellables.push_back(settings_.subscribeManualCenterRealignShortcut(
        [weak](const std::optional<ShortcutSpec>& value) {
            if (const auto self = weak.lock()) {
                (*self)->reregister((*self)->centerGlobalHotKey, value,
                                    (*self)->centerRealignHandler(), "中央に再整頓");
            }
        }));
}

void ShortcutHotKeys::release() {
    for (auto* field : {&globalHotKey, &centerGlobalHotKey}) {
        if (*field) {
            (*field)->unregister();
            field->reset();
        }
    }
}

void ShortcutHotKeys::reregister(std::unique_ptr<GlobalHotKey>& field,
                                 const std::optional<ShortcutSpec>& value,
                                 std::function<void()> handler, std::string_view title) {
    // Before anything else, so that the same combination never collides with itself.
    if (field) {
        field->unregister();
    }
    if (!value) {
        field.reset();
        return;
    }
    constexpr std::uint32_t kAnyModifier =
        kCarbonCmdKey | kCarbonShiftKey | kCarbonOptionKey | kCarbonControlKey;
    if ((value->carbonModifiers & kAnyModifier) == 0) {
        field.reset();
        report_("tallowmere: the stored " + std::string(title) + " shortcut \"" +
                value->displayString + "\" (key code " + std::to_string(value->keyCode) +
                ") has no modifier key, so it is not registered: it would take that key from "
                "every application; record it again in the settings");
        return;
    }
    auto registration =
        GlobalHotKey::create(center_, value->keyCode, value->carbonModifiers, std::move(handler));
    if (!registration) {
        diagnostics_.log(
            (DiagLine() << "グローバルショートカットの登録に失敗しました: " << value->displayString)
                .str());
    }
    field = std::move(registration);
}

std::function<void()> ShortcutHotKeys::realignHandler() {
    return [weak = std::weak_ptr<ShortcutHotKeys*>(self_)] {
        if (const auto self = weak.lock()) {
            // The anchor in force at the press, so changing it needs no re-registration.
            (*self)->realignFrontmostApp_((*self)->settings_.alignmentAnchor());
        }
    };
}

std::function<void()> ShortcutHotKeys::centerRealignHandler() {
    return [weak = std::weak_ptr<ShortcutHotKeys*>(self_)] {
        if (const auto self = weak.lock()) {
            (*self)->realignFrontmostApp_(AlignmentAnchor::screenCenter);
        }
    };
}

}  // namespace tallowmere
