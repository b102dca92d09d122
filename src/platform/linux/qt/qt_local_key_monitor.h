// The local key monitor on Qt: an application-wide event filter that shows the program's key
// presses to the installed handlers, as the stored key codes and modifier flags, before any
// window sees them.
#pragma once

#include <QObject>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/local_key_monitor.h"

class QKeyEvent;

namespace tallowmere::linux_qt {

// The characters a physical key (X keycode, as Qt reports it on xcb and Wayland alike) types
// without modifiers, given the event's native modifier state.
using UnmodifiedCharacters =
    std::function<std::string(std::uint32_t xKeycode, std::uint32_t xState)>;

// None for presses of modifier keys themselves and for keys without a virtual key code.
std::optional<KeyEvent> keyEventFromQt(const QKeyEvent& event,
                                       const UnmodifiedCharacters& characters);

class QtLocalKeyMonitor final : public QObject, public LocalKeyMonitor {
  public:
    // `refreshLayout` runs each time the first monitor is added, so that a layout switched
    // between two recordings is followed.
    explicit QtLocalKeyMonitor(UnmodifiedCharacters characters,
                               std::function<void()> refreshLayout = {});
    ~QtLocalKeyMonitor() override;

    Token addMonitor(Handler handler) override;
    void removeMonitor(Token token) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Returns true when the event was swallowed.
    bool dispatch(const QKeyEvent& event);

    UnmodifiedCharacters characters_;
    std::function<void()> refreshLayout_;
    std::map<Token, Handler> monitors_;
    Token nextToken_ = 1;
    // A press a widget ignores is offered to each parent in turn, each time through this filter;
    // the handlers see it once.
    bool isPropagationOfPassedEvent(QObject* watched, const QKeyEvent& press) const;
    const QEvent* passedEvent_ = nullptr;
    std::uint64_t passedTimestamp_ = 0;
    QPointer<QObject> passedTo_;
};

}  // namespace tallowmere::linux_qt
