// The accessibility port: other applications' windows as elements with attributes, the position
// write, and per-process observers that deliver notifications through the main loop.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/geometry.h"

namespace tallowmere {

// Result codes of the accessibility calls; 0 is success, anything else a failure.
using AXError = int;
inline constexpr AXError kAXErrorSuccess = 0;
inline constexpr AXError kAXErrorFailure = -25200;
inline constexpr AXError kAXErrorIllegalArgument = -25201;
inline constexpr AXError kAXErrorInvalidUIElement = -25202;
inline constexpr AXError kAXErrorCannotComplete = -25204;
inline constexpr AXError kAXErrorAttributeUnsupported = -25205;
inline constexpr AXError kAXErrorNotificationUnsupported = -25207;
inline constexpr AXError kAXErrorNotificationAlreadyRegistered = -25209;
inline constexpr AXError kAXErrorNotificationNotRegistered = -25210;
inline constexpr AXError kAXErrorNoValue = -25212;

// What a backend keeps behind an element handle. equals() plays the part of CFEqual.
class AXElementRef {
  public:
    virtual ~AXElementRef() = default;
    virtual bool equals(const AXElementRef& other) const = 0;
};

// Reference-counted handle to an application or window element. Two handles obtained at
// different times for the same window compare equal.
class AXElement {
  public:
    AXElement() = default;
    explicit AXElement(std::shared_ptr<const AXElementRef> ref) : ref_(std::move(ref)) {}

    explicit operator bool() const { return ref_ != nullptr; }
    const AXElementRef* get() const { return ref_.get(); }

    friend bool operator==(const AXElement& a, const AXElement& b) {
        if (a.ref_ == b.ref_) {
            return true;
        }
        return a.ref_ && b.ref_ && a.ref_->equals(*b.ref_);
    }

  private:
    std::shared_ptr<const AXElementRef> ref_;
};

// AXValue type codes.
enum class AXValueType : int { cgPoint = 1, cgSize = 2 };

// A wrapped point or size; which one is told by the type code, as with AXValueGetType.
struct AXValue {
    AXValueType type = AXValueType::cgPoint;
    double first = 0;   // x or width
    double second = 0;  // y or height
};

// A value of a kind none of the engine's reads expect (a number, say), so that "wrong type"
// answers are representable.
struct AXOtherValue {
    double number = 0;
};

using AXAttributeValue =
    std::variant<bool, std::string, std::vector<AXElement>, AXValue, AXOtherValue>;

// AXUIElementCopyAttributeValue's answer: a code, and a value only when the code is 0 and the
// platform gave one.
struct AXReadResult {
    AXError error = kAXErrorNoValue;
    std::optional<AXAttributeValue> value;
};

// Opaque observer handle, one per observed process.
class AXObserverRef {
  public:
    virtual ~AXObserverRef() = default;
};
using AXObserver = std::shared_ptr<AXObserverRef>;

// C-style callback, as handed to AXObserverCreate: the platform calls it on the main loop with
// the refcon that was registered with the notification.
using AXObserverCallback = void (*)(const AXObserver& observer, const AXElement& element,
                                    std::string_view notification, void* refcon);

struct AXObserverCreateResult {
    AXError error = kAXErrorFailure;
    AXObserver observer;  // null unless error is 0
};

class Accessibility {
  public:
    virtual ~Accessibility() = default;

    // AXIsProcessTrusted. macOS: the accessibility permission is granted. X11: an EWMH window
    // manager runs (without one nobody lists or frames the windows).
    virtual bool isProcessTrusted() = 0;

    // AXUIElementCreateApplication.
    virtual AXElement createApplication(Pid pid) = 0;

    // AXUIElementCopyAttributeValue.
    virtual AXReadResult copyAttributeValue(const AXElement& element,
                                            std::string_view attribute) = 0;

    // AXUIElementSetAttributeValue.
    virtual AXError setAttributeValue(const AXElement& element, std::string_view attribute,
                                      const AXValue& value) = 0;

    // AXObserverCreate / AXObserverAddNotification / AXObserverRemoveNotification.
    virtual AXObserverCreateResult createObserver(Pid pid, AXObserverCallback callback) = 0;
    virtual AXError addNotification(const AXObserver& observer, const AXElement& element,
                                    std::string_view notification, void* refcon) = 0;
    virtual AXError removeNotification(const AXObserver& observer, const AXElement& element,
                                       std::string_view notification) = 0;

    // The observer's run-loop source, attached to and detached from the main loop in the default
    // mode only: notifications are delivered only while it is attached and no menu is open.
    virtual void addRunLoopSource(const AXObserver& observer) = 0;
    virtual void removeRunLoopSource(const AXObserver& observer) = 0;
};

}  // namespace tallowmere
