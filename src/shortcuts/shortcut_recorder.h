// The decisions of the settings window's shortcut field: recording on and off, what a key press
// while recording does to one shortcut setting, and the texts the field shows. A widget is a thin
// view of it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/keyboard_grab.h"
#include "platform/local_key_monitor.h"
#include "settings/app_settings.h"
#include "settings/shortcut_spec.h"
#include "shortcuts/global_hot_key.h"

namespace tallowmere {

// Two-way access to one optional shortcut setting.
struct ShortcutBinding {
    std::function<std::optional<ShortcutSpec>()> get;
    std::function<void(std::optional<ShortcutSpec>)> set;

    static ShortcutBinding manualRealign(AppSettings& settings);
    static ShortcutBinding manualCenterRealign(AppSettings& settings);
};

inline constexpr std::string_view kShortcutConflictMessage =
    "このキーの組み合わせは他のアプリと衝突しているため使用できません";
// Another program holds the whole keyboard (an open menu, a screen locker, a game).
inline constexpr std::string_view kKeyboardBusyMessage =
    "他のアプリがキーボードを使用中のため記録できません";

// The four modifiers of a key event as a Carbon mask; any other flag is dropped.
std::uint32_t carbonModifiersFromFlags(std::uint32_t modifierFlags);
// "⌃", "⌥", "⇧", "⌘" for the modifiers held, in that order, then the key's characters in upper
// case, or "?" for a key without characters.
std::string shortcutDisplayString(std::uint32_t carbonModifiers, std::string_view characters);

class ShortcutRecorder {
  public:
    static constexpr std::uint16_t kEscapeKeyCode = 53;

    // The monitor, the center and the grab must outlive the recorder. While recording, the
    // keyboard is grabbed, so that combinations other programs (and our own hot keys) hold reach
    // the recorder too and nothing reaches another window.
    ShortcutRecorder(ShortcutBinding binding, LocalKeyMonitor& monitor, HotKeyCenter& hotKeys,
                     KeyboardGrab& keyboard);
    ShortcutRecorder(const ShortcutRecorder&) = delete;
    ShortcutRecorder& operator=(const ShortcutRecorder&) = delete;
    ~ShortcutRecorder();

    // Called after every change of what the field shows, including a shortcut it stored.
    void setChangeCallback(std::function<void()> callback) { changed_ = std::move(callback); }

    void toggle();
    // Stays idle, with a message, when the keyboard cannot be grabbed.
    void startRecording();
    void stopRecording();
    void clear();
    // The field has left the screen (its window hidden or closed).
    void fieldDisappeared() { stopRecording(); }
    // The monitor's handler: while recording every key press is swallowed.
    std::optional<KeyEvent> handleKey(const KeyEvent& event);

    bool isRecording() const { return isRecording_; }
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }
    std::optional<ShortcutSpec> shortcut() const { return binding_.get(); }

    // --- what the field shows ---
    std::string keyBoxText() const;
    // Primary text colour only when idle with a shortcut set; secondary otherwise.
    bool keyBoxUsesPrimaryColor() const;
    std::optional<std::string> keyBoxToolTip() const;
    std::string recordButtonTitle() const;
    bool showsClearButton() const { return shortcut().has_value(); }

  private:
    void notify();

    ShortcutBinding binding_;
    LocalKeyMonitor& monitor_;
    HotKeyCenter& hotKeys_;
    KeyboardGrab& keyboard_;
    std::unique_ptr<KeyboardGrab::Hold> grab_;
    bool isRecording_ = false;
    std::optional<LocalKeyMonitor::Token> monitorToken_;
    std::optional<std::string> errorMessage_;
    std::function<void()> changed_;
};

}  // namespace tallowmere
