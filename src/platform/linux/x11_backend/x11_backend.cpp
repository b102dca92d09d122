// Wiring the xcb connection into the Qt event loop, and the X11 pieces behind the seam.
#include "platform/linux/x11_backend/x11_backend.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>

#include "platform/linux/x11/xcb_ptr.h"

namespace tallowmere {
namespace {

constexpr std::chrono::milliseconds kConfirmationBatch{4};
// A timer ticking at least this often serves the connection at its ticks; new and closed windows
// still reach the engine well within its notification delay.
constexpr double kFrameTimerInterval = 0.025;

bool compositorRunning(x11::X11Connection& x) {
    auto reply = x11::own(xcb_get_selection_owner_reply(
        x.conn(), xcb_get_selection_owner(x.conn(), x.atoms().netWmCmS0), nullptr));
    return reply && reply->owner != XCB_WINDOW_NONE;
}

// Watches a process-exit descriptor; the notifier goes with deleteLater, since the token may be
// dropped from inside the notifier's own signal.
std::shared_ptr<void> watchFd(int fd, std::function<void()> onReadable) {
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [notifier, onReadable = std::move(onReadable)] {
                         notifier->setEnabled(false);  // a pidfd stays readable: once is enough
                         onReadable();
                     });
    return std::shared_ptr<void>(notifier, [](void* p) {
        auto* n = static_cast<QSocketNotifier*>(p);
        n->setEnabled(false);
        n->deleteLater();
    });
}

}  // namespace

std::unique_ptr<X11Backend> X11Backend::open(std::string& whyNot) {
    std::unique_ptr<X11Backend> self(new X11Backend());
    self->x_ = x11::X11Connection::open(nullptr, whyNot);
    if (!self->x_) {
        return nullptr;
    }
    X11Backend* raw = self.get();
    self->desktop_ = std::make_unique<x11::X11Desktop>(
        *self->x_, self->loop_,
        [raw](RunLoopMode mode, std::function<void()> work) {
            raw->loop_.post(mode, std::move(work));
        },
        watchFd);
    self->screens_ =
        std::make_unique<x11::X11Screens>(*self->x_, [raw]() -> std::optional<x11::RootRect> {
            auto& mirror = raw->desktop_->mirror();
            auto active = mirror.activeWindow();
            const x11::MirroredWindow* window = active ? mirror.find(*active) : nullptr;
            if (!window) {
                return std::nullopt;
            }
            return x11::RootRect{window->frameX, window->frameY, int(window->size().width),
                                 int(window->size().height)};
        });
    self->hotKeys_ = std::make_unique<X11HotKeyService>(self->x_->conn(), self->x_->root());
    self->listeners_.push_back(self->x_->addListener(
        [raw](const xcb_generic_event_t& e) { return raw->hotKeys_->handleEvent(&e); }));
    self->x_->setErrorListener([raw](const xcb_generic_error_t& e) { raw->xError(e); });
    self->listeners_.push_back(self->x_->addListener(
        [raw](const xcb_generic_event_t& e) { return raw->screens_->handleEvent(e); }));
    self->listeners_.push_back(self->x_->addListener(
        [raw](const xcb_generic_event_t& e) { return raw->desktop_->handleEvent(e); }));
    self->screens_->start();
    self->desktop_->start();
    self->feedback_ = std::make_unique<linux_qt::QtFeedbackWindows>(self->loop_, *self->screens_,
                                                                    compositorRunning(*self->x_));

    self->notifier_ = std::make_unique<QSocketNotifier>(self->x_->fd(), QSocketNotifier::Read);
    QObject::connect(self->notifier_.get(), &QSocketNotifier::activated,
                     [raw] { raw->pump(true); });
    // Round trips made while handling one event can leave others queued inside xcb, where the
    // socket notifier cannot see them; drain them, and send what was written, before sleeping.
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     self->notifier_.get(), [raw] { raw->pump(false); });
    // The X server's layout, read again whenever a recording starts.
    self->keyMonitor_ = std::make_unique<linux_qt::QtLocalKeyMonitor>(
        [raw](std::uint32_t keycode, std::uint32_t state) {
            return raw->layout_.unmodified(keycode, state);
        },
        [raw] { raw->layout_.reload(); });
    // While an animation runs, the window manager's confirmations would wake the process between
    // frames; the mover needs them only at the next tick, so read the socket there instead.
    self->loop_.setFrameHooks(
        kFrameTimerInterval, [raw](bool running) { raw->framesRunning(running); },
        [raw] { raw->pump(true); });
    self->x_->flush();
    return self;
}

KeyboardGrab& X11Backend::keyboardGrab(std::function<std::uintptr_t()> window) {
    if (!keyboardGrab_) {
        // On Qt's own connection, which knows our windows: the presses then reach the window as
        // ordinary key events.
        auto* qtX11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
        keyboardGrab_ = std::make_unique<X11KeyboardGrab>(
            qtX11 ? qtX11->connection() : nullptr,
            [window = std::move(window)] { return static_cast<xcb_window_t>(window()); });
    }
    return *keyboardGrab_;
}

X11Backend::~X11Backend() {
    // Timers invalidated while the members go must not reach the notifier that went first.
    loop_.setFrameHooks(0, nullptr, nullptr);
}

std::vector<RunningWindow> X11Backend::runningWindows() const {
    const xcb_ewmh_connection_t* ewmh = x_->ewmh();
    std::vector<RunningWindow> windows;
    for (const x11::MirroredWindow* window : desktop_->mirror().windowsInOrder()) {
        if (window->ownProcess) {
            continue;
        }
        const bool panelOrDesktop =
            !window->types.empty() && (window->types.front() == ewmh->_NET_WM_WINDOW_TYPE_DOCK ||
                                       window->types.front() == ewmh->_NET_WM_WINDOW_TYPE_DESKTOP);
        windows.push_back({window->wmClass, window->pid, !panelOrDesktop});
    }
    return windows;
}

void X11Backend::catchUp() {
    if (lost_) {
        return;
    }
    // Every event the server sent before answering is read by the time the answer is.
    xcb_connection_t* conn = x_->conn();
    x11::own(xcb_get_input_focus_reply(conn, xcb_get_input_focus(conn), nullptr));
    pump(false);
}

void X11Backend::xError(const xcb_generic_error_t& error) {
    const x11::MirroredWindow* window = desktop_->mirror().find(error.resource_id);
    if (error.error_code == XCB_WINDOW && (!window || !window->listed)) {
        return;  // the window left while a request about it was on its way
    }
    if (unexpectedError_) {
        unexpectedError_("X error " + std::to_string(int(error.error_code)) + " on request " +
                         std::to_string(int(error.major_code)));
    }
}

void X11Backend::pump(bool readSocket) {
    if (lost_) {
        return;
    }
    const bool ok = x_->dispatchEvents(readSocket);
    x_->flush();
    // While moves are in flight the window manager confirms them one ConfigureNotify at a time,
    // and waking for each would cost a loop turn per window per frame. Once moves are sent, stop
    // listening and collect the confirmations a few milliseconds later in one turn: still long
    // before the next 60 Hz frame.
    if (ok && !batching_ && !loop_.framesRunning() && desktop_->mover().hasMovesInFlight()) {
        batching_ = true;
        notifier_->setEnabled(false);
        QTimer::singleShot(kConfirmationBatch, Qt::PreciseTimer, notifier_.get(), [this] {
            batching_ = false;
            if (lost_) {
                return;  // a broken socket stays readable: listening again would spin
            }
            notifier_->setEnabled(!loop_.framesRunning());
            pump(true);
        });
    }
    if (!ok) {
        lost_ = true;
        notifier_->setEnabled(false);
        if (connectionLost_) {
            connectionLost_();
        }
    }
}

void X11Backend::framesRunning(bool running) {
    if (lost_) {
        return;
    }
    if (running) {
        notifier_->setEnabled(false);
    } else if (!batching_) {
        // Whatever arrived since the last tick is still waiting on the socket and wakes us now.
        notifier_->setEnabled(true);
    }
}

}  // namespace tallowmere
