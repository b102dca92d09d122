// What every backend's observers must do alike, run against the simulated, the X11 and KWin's
// desktops: a backend that differs here makes the engine act twice (or never) on one event.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/accessibility.h"

namespace tallowmere::contract {

class ContractDesktop {
  public:
    virtual ~ContractDesktop() = default;
    virtual Accessibility& ax() = 0;
    // A running application that the cases may open windows for.
    virtual Pid application() = 0;
    virtual void openWindow() = 0;
    virtual void closeWindow(const AXElement& window) = 0;
    // Runs pending deliveries until the condition holds (or gives up); true when it held.
    virtual bool settleUntil(const std::function<bool()>& condition) = 0;
    // Runs for long enough that whatever was due has been delivered.
    virtual void settle() = 0;
};

struct Heard {
    int observer = 0;
    std::string name;
    AXElement element;
};

// The refcon of each registration: who hears, and the shared log.
struct Listener {
    int id = 0;
    std::vector<Heard>* log = nullptr;
};

inline AXObserver observe(ContractDesktop& d) {
    auto created = d.ax().createObserver(
        d.application(),
        [](const AXObserver&, const AXElement& element, std::string_view name, void* refcon) {
            auto* listener = static_cast<Listener*>(refcon);
            listener->log->push_back({listener->id, std::string(name), element});
        });
    EXPECT_EQ(created.error, kAXErrorSuccess);
    d.ax().addRunLoopSource(created.observer);
    return created.observer;
}

// A second registration of the same notification on the same element is refused; removal works
// once; registering again afterwards is allowed, and is heard once.
inline void registrationsAreUniqueAndRemovable(ContractDesktop& d) {
    std::vector<Heard> log;
    Listener listener{1, &log};
    AXObserver observer = observe(d);
    Accessibility& ax = d.ax();
    const AXElement app = ax.createApplication(d.application());
    EXPECT_EQ(ax.addNotification(observer, app, "AXWindowCreated", &listener), kAXErrorSuccess);
    // Another handle on the same application is the same element.
    EXPECT_EQ(ax.addNotification(observer, ax.createApplication(d.application()), "AXWindowCreated",
                                 &listener),
              kAXErrorNotificationAlreadyRegistered);
    EXPECT_EQ(ax.removeNotification(observer, app, "AXWindowCreated"), kAXErrorSuccess);
    EXPECT_EQ(ax.removeNotification(observer, app, "AXWindowCreated"),
              kAXErrorNotificationNotRegistered);
    EXPECT_EQ(ax.addNotification(observer, app, "AXWindowCreated", &listener), kAXErrorSuccess);
    d.openWindow();
    EXPECT_TRUE(d.settleUntil([&] { return !log.empty(); }));
    d.settle();
    EXPECT_EQ(log.size(), 1u);
}

// Observers hear a notice in the order they were made, only while attached, and not after
// their registration was removed.
inline void deliveryFollowsOrderAttachmentAndRemoval(ContractDesktop& d) {
    std::vector<Heard> log;
    Listener first{1, &log};
    Listener second{2, &log};
    const AXElement app = d.ax().createApplication(d.application());
    AXObserver a = observe(d);
    AXObserver b = observe(d);
    ASSERT_EQ(d.ax().addNotification(a, app, "AXWindowCreated", &first), kAXErrorSuccess);
    ASSERT_EQ(d.ax().addNotification(b, app, "AXWindowCreated", &second), kAXErrorSuccess);
    d.openWindow();
    ASSERT_TRUE(d.settleUntil([&] { return log.size() >= 2; }));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].observer, 1);
    EXPECT_EQ(log[1].observer, 2);
    EXPECT_EQ(log[0].element, log[1].element);

    d.ax().removeRunLoopSource(a);
    EXPECT_EQ(d.ax().removeNotification(b, app, "AXWindowCreated"), kAXErrorSuccess);
    log.clear();
    d.openWindow();
    d.settle();
    EXPECT_TRUE(log.empty());
    d.ax().addRunLoopSource(a);
    d.openWindow();
    ASSERT_TRUE(d.settleUntil([&] { return !log.empty(); }));
    EXPECT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].observer, 1);
}

// A window's destruction is heard once, by the registration on that window only; a window that
// opens afterwards (on X11 possibly under the same id) is a different element.
inline void destructionIsHeardOnceAndNeverAgain(ContractDesktop& d) {
    std::vector<Heard> log;
    Listener listener{1, &log};
    AXObserver observer = observe(d);
    const AXElement app = d.ax().createApplication(d.application());
    ASSERT_EQ(d.ax().addNotification(observer, app, "AXWindowCreated", &listener), kAXErrorSuccess);
    d.openWindow();
    ASSERT_TRUE(d.settleUntil([&] { return log.size() == 1; }));
    const AXElement window = log[0].element;
    ASSERT_EQ(d.ax().addNotification(observer, window, "AXUIElementDestroyed", &listener),
              kAXErrorSuccess);
    // The engine subscribes a restored window again: the second subscription is refused.
    EXPECT_EQ(d.ax().addNotification(observer, window, "AXUIElementDestroyed", &listener),
              kAXErrorNotificationAlreadyRegistered);

    d.closeWindow(window);
    ASSERT_TRUE(d.settleUntil([&] { return log.size() == 2; }));
    d.openWindow();
    ASSERT_TRUE(d.settleUntil([&] { return log.size() == 3; }));
    d.settle();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1].name, "AXUIElementDestroyed");
    EXPECT_EQ(log[1].element, window);
    EXPECT_EQ(log[2].name, "AXWindowCreated");
    EXPECT_FALSE(log[2].element == window);
    EXPECT_NE(d.ax().copyAttributeValue(window, "AXPosition").error, kAXErrorSuccess);
}

// Every backend runs all of these: a case added here reaches each of them.
using Case = void (*)(ContractDesktop&);
inline constexpr Case kCases[] = {&registrationsAreUniqueAndRemovable,
                                  &deliveryFollowsOrderAttachmentAndRemoval,
                                  &destructionIsHeardOnceAndNeverAgain};
// Shown in test names in place of the case's address, which changes from build to build.
inline void PrintTo(Case contractCase, std::ostream* out) {
    const auto at = std::find(std::begin(kCases), std::end(kCases), contractCase);
    *out << std::array{"registrations", "delivery", "destruction"}[at - std::begin(kCases)];
}

}  // namespace tallowmere::contract
