#include "platform/linux/qt/qt_local_key_monitor.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>
#include <vector>

#include "platform/linux/key_code_table.h"

namespace tallowmere::linux_qt {

namespace {

bool isModifierKey(int key) {
    switch (key) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Meta:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_CapsLock:
        case Qt::Key_NumLock:
        case Qt::Key_ScrollLock:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
        case Qt::Key_Hyper_L:
        case Qt::Key_Hyper_R:
        case Qt::Key_Mode_switch:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::optional<KeyEvent> keyEventFromQt(const QKeyEvent& event,
                                       const UnmodifiedCharacters& characters) {
    if (isModifierKey(event.key())) {
        return std::nullopt;
    }
    // On xcb the scan code is the X keycode of the physical key, whatever the layout.
    const auto virtualKey = linux_keys::virtualKeyForXKeycode(event.nativeScanCode());
    if (!virtualKey) {
        return std::nullopt;
    }
    KeyEvent key{.keyCode = *virtualKey};
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    if (modifiers & Qt::ShiftModifier) {
        key.modifierFlags |= kEventModifierFlagShift;
    }
    if (modifiers & Qt::ControlModifier) {
        key.modifierFlags |= kEventModifierFlagControl;
    }
    if (modifiers & Qt::AltModifier) {
        key.modifierFlags |= kEventModifierFlagOption;
    }
    // Qt reports the Super (Windows) key as Meta; it plays the part of command.
    if (modifiers & Qt::MetaModifier) {
        key.modifierFlags |= kEventModifierFlagCommand;
    }
    if (event.nativeModifiers() & linux_keys::kXLockMask) {
        key.modifierFlags |= kEventModifierFlagCapsLock;
    }
    if (characters) {
        key.charactersIgnoringModifiers =
            characters(event.nativeScanCode(), event.nativeModifiers());
    }
    return key;
}

QtLocalKeyMonitor::QtLocalKeyMonitor(UnmodifiedCharacters characters,
                                     std::function<void()> refreshLayout)
    : characters_(std::move(characters)), refreshLayout_(std::move(refreshLayout)) {}

QtLocalKeyMonitor::~QtLocalKeyMonitor() {
    if (!monitors_.empty() && QCoreApplication::instance()) {
        QCoreApplication::instance()->removeEventFilter(this);
    }
}

LocalKeyMonitor::Token QtLocalKeyMonitor::addMonitor(Handler handler) {
    if (monitors_.empty()) {
        if (refreshLayout_) {
            refreshLayout_();
        }
        QCoreApplication::instance()->installEventFilter(this);
    }
    const Token token = nextToken_++;
    monitors_.emplace(token, std::move(handler));
    return token;
}

void QtLocalKeyMonitor::removeMonitor(Token token) {
    if (monitors_.erase(token) == 1 && monitors_.empty()) {
        QCoreApplication::instance()->removeEventFilter(this);
    }
}

bool QtLocalKeyMonitor::eventFilter(QObject* watched, QEvent* event) {
    if (monitors_.empty()) {
        return QObject::eventFilter(watched, event);
    }
    if (event->type() == QEvent::ShortcutOverride) {
        // Accepting it keeps menu and window shortcuts from firing, so that the press itself
        // comes next as a KeyPress for the handlers.
        event->accept();
        return true;
    }
    if (event->type() != QEvent::KeyPress) {
        return QObject::eventFilter(watched, event);
    }
    const auto& press = static_cast<const QKeyEvent&>(*event);
    if (isModifierKey(press.key())) {
        return false;
    }
    if (isPropagationOfPassedEvent(watched, press)) {
        passedTo_ = watched;
        return false;
    }
    if (dispatch(press)) {
        return true;
    }
    passedEvent_ = event;
    passedTimestamp_ = press.timestamp();
    passedTo_ = watched;
    return false;
}

bool QtLocalKeyMonitor::isPropagationOfPassedEvent(QObject* watched, const QKeyEvent& press) const {
    // The same event object, offered next to a parent of the widget that ignored it. The pointer
    // alone could be a new event at a reused address.
    if (&press != passedEvent_ || press.timestamp() != passedTimestamp_ || !passedTo_) {
        return false;
    }
    const auto* parent = qobject_cast<const QWidget*>(watched);
    const auto* child = qobject_cast<const QWidget*>(passedTo_.data());
    return parent && child && parent != child && parent->isAncestorOf(child);
}

bool QtLocalKeyMonitor::dispatch(const QKeyEvent& press) {
    const std::optional<KeyEvent> converted = keyEventFromQt(press, characters_);
    if (!converted) {
        // A key the stored codes cannot name: kept from the windows all the same.
        return true;
    }
    std::optional<KeyEvent> current = converted;
    // Newest first, each on what the previous one let through. A handler may remove monitors
    // (recording stops), so walk over a copy of the tokens.
    std::vector<Token> tokens;
    for (const auto& entry : monitors_) {
        tokens.push_back(entry.first);
    }
    for (auto it = tokens.rbegin(); it != tokens.rend() && current; ++it) {
        const auto found = monitors_.find(*it);
        if (found != monitors_.end()) {
            const Handler handler = found->second;
            current = handler(*current);
        }
    }
    return !current.has_value();
}

}  // namespace tallowmere::linux_qt
