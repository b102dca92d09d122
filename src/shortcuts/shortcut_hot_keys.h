// The shell's two global shortcuts: keeps one hot-key registration per shortcut setting in step
// with the setting, and runs the realign commands when they are pressed.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/diagnostics.h"
#include "settings/alignment_anchor.h"
#include "settings/app_settings.h"
#include "shortcuts/global_hot_key.h"

namespace tallowmere {

class ShortcutHotKeys {
  public:
    // What a press runs: the engine's realignFrontmostApp, supplied by the composition root.
    using RealignAction = std::function<void(AlignmentAnchor)>;

    // Where the user is told about a stored shortcut that is not registered; standard error
    // when empty.
    using Report = std::function<void(std::string_view line)>;

    // Every reference must outlive this object.
    ShortcutHotKeys(HotKeyCenter& center, AppSettings& settings, DiagnosticSink& diagnostics,
                    RealignAction realignFrontmostApp, Report report = {});
    ShortcutHotKeys(const ShortcutHotKeys&) = delete;
    ShortcutHotKeys& operator=(const ShortcutHotKeys&) = delete;
    ~ShortcutHotKeys();

    // Follows manualRealignShortcut, then manualCenterRealignShortcut; as the streams deliver the
    // current values at once, this also registers both. Call once, at start-up.
    void subscribe();
    // At termination: the realign registration first, then the centre one.
    void release();

    std::unique_ptr<GlobalHotKey> globalHotKey;
    std::unique_ptr<GlobalHotKey> centerGlobalHotKey;

  private:
    // Every delivered value, an equal one too, ends in a fresh registration under a new id.
    // A value without a modifier (only a hand-edited file holds one) would take a bare key from
    // every application: it is reported and left unregistered.
    void reregister(std::unique_ptr<GlobalHotKey>& field, const std::optional<ShortcutSpec>& value,
                    std::function<void()> handler, std::string_view title);
    std::function<void()> realignHandler();
    std::function<void()> centerRealignHandler();

    HotKeyCenter& center_;
    AppSettings& settings_;
    DiagnosticSink& diagnostics_;
    RealignAction realignFrontmostApp_;
    Report report_;
    // Presses hold this weakly, so a handler that outlives its shell does nothing.
    std::shared_ptr<ShortcutHotKeys*> self_ = std::make_shared<ShortcutHotKeys*>(this);
    std::vector<Subscription> settingsCancellables;
};

}  // namespace tallowmere
