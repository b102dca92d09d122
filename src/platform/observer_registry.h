// Accessibility observers, their notification registrations and their delivery: one
// implementation for every backend, so that all of them keep the port's contract alike
// (a repeated registration is refused, delivery checks attachment and registration again).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/accessibility.h"

namespace tallowmere {

class ObserverRegistry {
  public:
    struct Registration {
        AXElement element;
        std::string notification;
        void* refcon = nullptr;
    };

    class Observer final : public AXObserverRef {
      public:
        ~Observer() override;
        Pid pid() const { return pid_; }
        bool attached() const { return attached_; }
        const std::vector<Registration>& registrations() const { return registrations_; }

      private:
        friend class ObserverRegistry;
        Pid pid_ = 0;
        AXObserverCallback callback_ = nullptr;
        bool attached_ = false;
        std::vector<Registration> registrations_;
        std::function<void()> onRelease_;
    };

    // A registration found for a notice; delivered later, when it may be gone.
    struct Target {
        std::weak_ptr<Observer> observer;
        AXElement registeredOn;
    };

    // `onRelease` runs when the last handle to the observer is dropped.
    std::shared_ptr<Observer> create(Pid pid, AXObserverCallback callback,
                                     std::function<void()> onRelease = {});
    static Observer* find(const AXObserver& observer);

    // Whether a desktop serves `notification` on an element: the application's own on an
    // application, destruction on a window that still exists.
    static AXError admissible(std::string_view notification, bool onApplication, bool windowExists);
    AXError add(const AXObserver& observer, const AXElement& element, std::string_view notification,
                void* refcon);
    AXError remove(const AXObserver& observer, const AXElement& element,
                   std::string_view notification);
    void attach(const AXObserver& observer, bool attached);

    // Live observers, of one process or of all.
    std::vector<std::shared_ptr<Observer>> live(std::optional<Pid> pid = std::nullopt) const;
    // The registrations for `notification` on an element `registeredOn` accepts, in the order
    // observers were made and registrations added.
    std::vector<Target> targets(std::optional<Pid> pid, std::string_view notification,
                                const std::function<bool(const AXElement&)>& registeredOn) const;
    // Calls the observer back with `subject` (the registered element when none is given) if it
    // is still alive, attached and registered.
    static void deliver(const Target& target, std::string_view notification,
                        const std::optional<AXElement>& subject);

  private:
    mutable std::vector<std::weak_ptr<Observer>> observers_;
};

}  // namespace tallowmere
