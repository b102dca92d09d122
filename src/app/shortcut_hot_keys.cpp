#include "app/shortcut_hot_keys.h"

#include <utility>

namespace tallowmere {

ShortcutHotKeys::ShortcutHotKeys(HotKeyCenter& center, AppSettings& settings,
                                 DiagnosticSink& diagnostics, RealignAction realignFrontmostApp)
    : center_(center),
      settings_(settings),
      diagnostics_(diagnostics),
      realignFrontmostApp_(std::move(realignFrontmostApp)) {}

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
                (*self)->reregister((*self)->globalHotKey, value, (*self)->realignHandler());
            }
        }));
    settingsCancellables.push_back(settings_.subscribeManualCenterRealignShortcut(
        [weak](const std::optional<ShortcutSpec>& value) {
            if (const auto self = weak.lock()) {
                (*self)->reregister((*self)->centerGlobalHotKey, value,
                                    (*self)->centerRealignHandler());
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
                                 std::function<void()> handler) {
    // Before anything else, so that the same combination never collides with itself.
    if (field) {
        field->unregister();
    }
    if (!value) {
        field.reset();
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
