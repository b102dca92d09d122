// The event-fed copy of the window manager's managed windows: what the ports read instead of
// asking the X server, kept current from PropertyNotify, ConfigureNotify, ReparentNotify and
// DestroyNotify.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/geometry.h"
#include "platform/linux/x11/property_decoders.h"
#include "platform/linux/x11/x11_connection.h"

namespace tallowmere::x11 {

struct MirroredWindow {
    xcb_window_t client = XCB_WINDOW_NONE;
    // Unique for this client's life within the run: X reuses window ids.
    std::uint64_t serial = 0;
    xcb_window_t frame = XCB_WINDOW_NONE;  // the root's child that holds the client
    std::optional<Pid> pid;                // the owning process, when it can be known
    std::string wmClass;                   // class part of WM_CLASS
    std::optional<std::string> role;       // WM_WINDOW_ROLE
    bool transient = false;
    std::vector<xcb_atom_t> types;  // _NET_WM_WINDOW_TYPE, most specific first
    bool hidden = false;            // _NET_WM_STATE_HIDDEN
    std::uint32_t desktop = 0;      // 0xFFFFFFFF: on every desktop
    int frameX = 0;                 // the frame's top-left in root coordinates
    int frameY = 0;
    int clientWidth = 0;
    int clientHeight = 0;
    FrameExtents extents;
    bool listed = true;  // false while a replaced window manager re-adopts it
    bool ownProcess = false;

    Point position() const { return {double(frameX), double(frameY)}; }
    // Summed in double: the extents come from another client.
    Size size() const {
        return {double(clientWidth) + extents.left + extents.right,
                double(clientHeight) + extents.top + extents.bottom};
    }
};

class WindowMirror {
  public:
    struct Observer {
        virtual ~Observer() = default;
        virtual void windowListed(const MirroredWindow&) {}
        // Called just before the window leaves the mirror.
        virtual void windowUnlisted(const MirroredWindow&) {}
        virtual void hiddenChanged(const MirroredWindow&) {}
        virtual void frameMoved(const MirroredWindow&) {}
        // A window manager appeared, left or was replaced.
        virtual void windowManagerChanged(bool running) { (void)running; }
    };

    // Work deferred to a later turn of the main loop, so that a huge client list is learnt a
    // batch at a time while everything else goes on.
    using Defer = std::function<void(std::function<void()>)>;
    WindowMirror(X11Connection& x, Defer defer);

    // Selects the root's events and reads the current client list; the windows found are
    // recorded without notice.
    void start(Observer* observer);
    // Returns true when the event concerned the mirror only.
    bool handleEvent(const xcb_generic_event_t& event);

    const MirroredWindow* find(xcb_window_t client) const;
    const MirroredWindow* findSerial(std::uint64_t serial) const;
    // Listed windows in _NET_CLIENT_LIST order.
    std::vector<const MirroredWindow*> windowsInOrder() const;
    bool onCurrentDesktop(const MirroredWindow& window) const;
    std::optional<xcb_window_t> activeWindow() const;

    // An EWMH window manager runs: _NET_SUPPORTING_WM_CHECK names a window that names itself.
    bool windowManagerRunning();
    // While a replaced window manager re-adopts the windows, nothing is announced.
    bool adopting() const { return adopting_; }
    // Ends re-adoption: windows it did not bring back leave the mirror with notice.
    void endAdoption();

    // Ids the mirror learnt do not exist (a client list may name any number of them); for tests.
    std::size_t knownAbsent() const { return absent_.size(); }

  private:
    struct Candidate;
    void syncClientList(bool announce);
    void learnPending(bool announce);
    void addWindows(const std::vector<xcb_window_t>& clients, bool announce);
    std::vector<Candidate> findTopLevels(const std::vector<xcb_window_t>& clients);
    void readNewWindows(std::vector<Candidate>& candidates, bool announce);
    void removeWindow(xcb_window_t client, bool announce);
    void readHidden(MirroredWindow& window);
    void readDesktop(MirroredWindow& window);
    void readExtents(MirroredWindow& window);
    void readRole(MirroredWindow& window);
    void readTypeAndTransient(MirroredWindow& window);
    void findFrame(MirroredWindow& window);
    // The current desktop and the active window change together in bursts: asked for on each
    // change, read when next needed, so a burst costs at most one wait for the answer.
    void requestRootState();
    void settleRootState() const;
    void checkWindowManager();
    void windowManagerLost();
    std::optional<xcb_window_t> supportingCheck(xcb_window_t window);
    xcb_window_t selectionOwner();
    MirroredWindow* mutableFind(xcb_window_t client);

    X11Connection& x_;
    Defer defer_;
    Observer* observer_ = nullptr;
    std::map<xcb_window_t, MirroredWindow> windows_;
    std::vector<xcb_window_t> order_;
    std::uint64_t nextSerial_ = 1;
    struct RootStateRequest {
        xcb_get_property_cookie_t desktop;
        xcb_get_property_cookie_t active;
    };
    mutable std::optional<RootStateRequest> rootStateRequest_;
    mutable std::uint32_t currentDesktop_ = 0;
    mutable std::optional<xcb_window_t> active_;
    xcb_window_t wmCheck_ = XCB_WINDOW_NONE;
    xcb_atom_t wmSelection_ = XCB_ATOM_NONE;
    xcb_window_t wmSelectionOwner_ = XCB_WINDOW_NONE;
    bool adopting_ = false;
    // A new window manager's first client list is still to come: the one on the root may be its
    // dead predecessor's.
    bool awaitingList_ = false;
    std::unordered_set<xcb_window_t> absent_;
    std::vector<xcb_window_t> listed_;   // the last client list read
    std::vector<xcb_window_t> pending_;  // listed ids still to be learnt, in list order
    bool learning_ = false;              // a later batch is scheduled
    bool learnAll_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    Pid ownPid_ = 0;
    std::string hostName_;
};

}  // namespace tallowmere::x11
