#include "shortcuts/shortcut_recorder.h"

#include <utility>

#include "platform/hot_key_service.h"

namespace tallowmere {

namespace {

// Upper case for ASCII letters only: a character outside ASCII is kept as it is, because
// changing case byte-wise would break its UTF-8.
std::string upperCased(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return result;
}

}  // namespace

ShortcutBinding ShortcutBinding::manualRealign(AppSettings& settings) {
    return {[&settings] { return settings.manualRealignShortcut(); },
            [&settings](std::optional<ShortcutSpec> value) {
                settings.setManualRealignShortcut(std::move(value));
            }};
}

ShortcutBinding ShortcutBinding::manualCenterRealign(AppSettings& settings) {
    return {[&settings] { return settings.manualCenterRealignShortcut(); },
            [&settings](std::optional<ShortcutSpec> value) {
                settings.setManualCenterRealignShortcut(std::move(value));
            }};
}

std::uint32_t carbonModifiersFromFlags(std::uint32_t modifierFlags) {
    std::uint32_t carbon = 0;
    if (modifierFlags & kEventModifierFlagCommand) {
        carbon |= kCarbonCmdKey;
    }
    if (modifierFlags & kEventModifierFlagShift) {
        carbon |= kCarbonShiftKey;
    }
    if (modifierFlags & kEventModifierFlagOption) {
        carbon |= kCarbonOptionKey;
    }
    if (modifierFlags & kEventModifierFlagControl) {
        carbon |= kCarbonControlKey;
    }
    return carbon;
}

std::string shortcutDisplayString(std::uint32_t carbonModifiers, std::string_view characters) {
    std::string text;
    if (carbonModifiers & kCarbonControlKey) {
        text += "⌃";
    }
    if (carbonModifiers & kCarbonOptionKey) {
        text += "⌥";
    }
    if (carbonModifiers & kCarbonShiftKey) {
        text += "⇧";
    }
    if (carbonModifiers & kCarbonCmdKey) {
        text += "⌘";
    }
    text += characters.empty() ? std::string("?") : upperCased(characters);
    return text;
}

ShortcutRecorder::ShortcutRecorder(ShortcutBinding binding, LocalKeyMonitor& monitor,
                                   HotKeyCenter& hotKeys, KeyboardGrab& keyboard)
    : binding_(std::move(binding)), monitor_(monitor), hotKeys_(hotKeys), keyboard_(keyboard) {}

ShortcutRecorder::~ShortcutRecorder() {
    // Not stopRecording(): the view listening for changes may already be gone.
    if (monitorToken_) {
        monitor_.removeMonitor(*monitorToken_);
    }
}

void ShortcutRecorder::toggle() {
    if (isRecording_) {
        stopRecording();
    } else {
        startRecording();
    }
}

void ShortcutRecorder::startRecording() {
    // A monitor left from an earlier start would keep swallowing keys after the stop.
    if (monitorToken_) {
        monitor_.removeMonitor(*std::exchange(monitorToken_, std::nullopt));
    }
    errorMessage_.reset();
    if (!grab_) {
        grab_ = keyboard_.grabKeyboard();
    }
    if (!grab_) {
        // Keys we cannot see would go on to other windows: better not to record at all.
        errorMessage_ = std::string(kKeyboardBusyMessage);
        isRecording_ = false;
        notify();
        return;
    }
    isRecording_ = true;
    monitorToken_ = monitor_.addMonitor([this](const KeyEvent& event) { return handleKey(event); });
    notify();
}

void ShortcutRecorder::stopRecording() {
    if (monitorToken_) {
        monitor_.removeMonitor(*monitorToken_);
    }
    monitorToken_.reset();
    grab_.reset();
    isRecording_ = false;
    notify();
}

void ShortcutRecorder::clear() {
    stopRecording();
    binding_.set(std::nullopt);
    notify();
}

std::optional<KeyEvent> ShortcutRecorder::handleKey(const KeyEvent& event) {
    if (!isRecording_) {
        return event;
    }
    if (event.keyCode == kEscapeKeyCode) {
        stopRecording();
        return std::nullopt;
    }
    const std::uint32_t carbon = carbonModifiersFromFlags(event.modifierFlags);
    if (carbon == 0) {
        return std::nullopt;
    }
    if (!GlobalHotKey::probe(hotKeys_, event.keyCode, carbon)) {
        errorMessage_ = std::string(kShortcutConflictMessage);
        stopRecording();
        return std::nullopt;
    }
    errorMessage_.reset();
    binding_.set(ShortcutSpec{event.keyCode, carbon,
                              shortcutDisplayString(carbon, event.charactersIgnoringModifiers)});
    stopRecording();
    return std::nullopt;
}

std::string ShortcutRecorder::keyBoxText() const {
    if (isRecording_) {
        return "キーを入力…";
    }
    const auto current = shortcut();
    return current ? current->displayString : std::string("未設定");
}

bool ShortcutRecorder::keyBoxUsesPrimaryColor() const {
    return !isRecording_ && shortcut().has_value();
}

std::optional<std::string> ShortcutRecorder::keyBoxToolTip() const {
    if (isRecording_) {
        return std::string("Escでキャンセル");
    }
    return std::nullopt;
}

std::string ShortcutRecorder::recordButtonTitle() const {
    return isRecording_ ? "キャンセル" : "記録...";
}

void ShortcutRecorder::notify() {
    if (changed_) {
        changed_();
    }
}

}  // namespace tallowmere
