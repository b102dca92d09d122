// Physical key → layout symbol (xkbcommon) → Qt key, plus the modifiers.
#include "platform/linux/kwin/qt_key_codes.h"

#include <xkbcommon/xkbcommon.h>

#include <Qt>

#include <memory>

#include "platform/hot_key_service.h"
#include "platform/linux/key_code_table.h"

namespace tallowmere::kwin {
namespace {

struct SpecialKey {
    xkb_keysym_t sym;
    Qt::Key qtKey;
};
constexpr SpecialKey kSpecialKeys[] = {
    {XKB_KEY_Escape, Qt::Key_Escape},       {XKB_KEY_Tab, Qt::Key_Tab},
    {XKB_KEY_BackSpace, Qt::Key_Backspace}, {XKB_KEY_Return, Qt::Key_Return},
    {XKB_KEY_Insert, Qt::Key_Insert},       {XKB_KEY_Delete, Qt::Key_Delete},
    {XKB_KEY_Home, Qt::Key_Home},           {XKB_KEY_End, Qt::Key_End},
    {XKB_KEY_Left, Qt::Key_Left},           {XKB_KEY_Up, Qt::Key_Up},
    {XKB_KEY_Right, Qt::Key_Right},         {XKB_KEY_Down, Qt::Key_Down},
    {XKB_KEY_Prior, Qt::Key_PageUp},        {XKB_KEY_Next, Qt::Key_PageDown},
};

struct ContextDeleter {
    void operator()(xkb_context* c) const { xkb_context_unref(c); }
};
struct KeymapDeleter {
    void operator()(xkb_keymap* k) const { xkb_keymap_unref(k); }
};
struct StateDeleter {
    void operator()(xkb_state* s) const { xkb_state_unref(s); }
};

// The layout's state with no modifier held; null when xkbcommon has no keymap for it.
std::unique_ptr<xkb_state, StateDeleter> layoutState() {
    std::unique_ptr<xkb_context, ContextDeleter> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (!context) {
        return nullptr;
    }
    std::unique_ptr<xkb_keymap, KeymapDeleter> keymap(
        xkb_keymap_new_from_names(context.get(), nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap) {
        return nullptr;
    }
    return std::unique_ptr<xkb_state, StateDeleter>(xkb_state_new(keymap.get()));
}

std::optional<xkb_keysym_t> symbolOf(std::uint32_t evdev) {
    const auto state = layoutState();
    if (!state) {
        return std::nullopt;
    }
    const xkb_keysym_t sym =
        xkb_state_key_get_one_sym(state.get(), evdev + linux_keys::kEvdevToXKeycodeOffset);
    return sym == XKB_KEY_NoSymbol ? std::nullopt : std::optional<xkb_keysym_t>(sym);
}

std::optional<int> qtKeyOf(xkb_keysym_t sym) {
    // Qt names printable ASCII keys by their upper-case character.
    if (sym >= 0x20 && sym <= 0x7e) {
        return sym >= 'a' && sym <= 'z' ? int(sym - 'a' + 'A') : int(sym);
    }
    if (sym >= XKB_KEY_F1 && sym <= XKB_KEY_F35) {
        return int(Qt::Key_F1) + int(sym - XKB_KEY_F1);
    }
    for (const SpecialKey& k : kSpecialKeys) {
        if (k.sym == sym) {
            return int(k.qtKey);
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<int> qtKeyCombination(std::uint32_t virtualKey, std::uint32_t carbonModifiers) {
    constexpr std::uint32_t known =
        kCarbonCmdKey | kCarbonShiftKey | kCarbonOptionKey | kCarbonControlKey;
    if (carbonModifiers & ~known) {
        return std::nullopt;
    }
    const auto evdev = linux_keys::evdevForVirtualKey(virtualKey);
    const auto sym = evdev ? symbolOf(*evdev) : std::nullopt;
    const auto key = sym ? qtKeyOf(*sym) : std::nullopt;
    if (!key) {
        return std::nullopt;
    }
    int combination = *key;
    combination |= (carbonModifiers & kCarbonShiftKey) ? int(Qt::ShiftModifier) : 0;
    combination |= (carbonModifiers & kCarbonControlKey) ? int(Qt::ControlModifier) : 0;
    combination |= (carbonModifiers & kCarbonOptionKey) ? int(Qt::AltModifier) : 0;
    combination |= (carbonModifiers & kCarbonCmdKey) ? int(Qt::MetaModifier) : 0;
    return combination;
}

std::string unmodifiedCharacters(std::uint32_t xKeycode) {
    const auto state = layoutState();
    if (!state) {
        return {};
    }
    const int length = xkb_state_key_get_utf8(state.get(), xKeycode, nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    xkb_state_key_get_utf8(state.get(), xKeycode, text.data(), text.size());
    text.resize(static_cast<std::size_t>(length));
    return text;
}

}  // namespace tallowmere::kwin
