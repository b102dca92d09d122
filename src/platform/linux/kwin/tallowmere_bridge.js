// The compositor's half of Tallowmere on KDE Plasma: tells the program about every window and what
// happens to it, and applies the moves the program asks for. The policy stays in the program; this
// script does only what the compositor alone may do on Wayland: see and move other clients' windows.
//
// A KWin script can call D-Bus methods (callDBus, with a callback for the reply) but can neither
// export an object nor listen to a signal. So moves travel as replies: the script keeps one call to
// nextMoves open, the program answers it with the newest target of every window that has one, and
// the script applies them and asks again. The next call is the acknowledgement: at most one batch,
// so at most one move per window, is ever in flight, and a glide costs one message per frame.
//
// The program's own feedback windows (border flashes, the banner) cannot place themselves on
// Wayland: the same replies say where each goes, by its title, and the script keeps them above,
// out of the task bar and switcher, and never active.
//
// One script for KWin 5.27 and 6: every name KWin 6 changed is looked up before use.

var service = "org.tallowmere.Bridge";
var path = "/Bridge";
var iface = "org.tallowmere.Bridge";

var tracked = {};  // internal id -> window, for the moves
var hooked = {};   // internal id -> true once its signals are connected
var feedbackPrefix = "tallowmere-feedback-";
var placements = {};   // feedback window title -> [x, y, width, height]
var lastActive = null;  // the last window that was not one of our feedback windows

function tell(method, argument) {
    callDBus(service, path, iface, method, argument);
}

function windows() {
    return typeof workspace.windowList === "function" ? workspace.windowList()
                                                       : workspace.clientList();
}

function idOf(w) {
    return String(w.internalId);
}

// resourceClass is a QByteArray on 5.27, which the script engine hands over as an ArrayBuffer.
function textOf(value) {
    if (value === undefined || value === null) {
        return "";
    }
    if (typeof value === "string") {
        return value;
    }
    if (value instanceof ArrayBuffer) {
        var bytes = new Uint8Array(value);
        var s = "";
        for (var i = 0; i < bytes.length && i < 1024; ++i) {
            s += String.fromCharCode(bytes[i]);
        }
        return s;
    }
    return String(value);
}

function onCurrentDesktop(w) {
    if (w.onAllDesktops) {
        return true;
    }
    if (Array.isArray(w.desktops)) {  // KWin 6: virtual desktops are objects
        for (var i = 0; i < w.desktops.length; ++i) {
            if (w.desktops[i] === workspace.currentDesktop) {
                return true;
            }
        }
        return false;
    }
    return w.desktop === workspace.currentDesktop;
}

function recordOf(w) {
    var g = w.frameGeometry;
    return {
        id: idOf(w),
        resourceClass: textOf(w.resourceClass),
        pid: w.pid,
        x: g.x, y: g.y, width: g.width, height: g.height,
        normal: !!w.normalWindow,
        dialog: !!w.dialog,
        transient: !!w.transient,
        panel: !!w.dock || !!w.desktopWindow,
        minimized: !!w.minimized,
        onCurrentDesktop: onCurrentDesktop(w)
    };
}

function eligible(w) {
    return w && w.managed !== false && !w.deleted;
}

function report(w) {
    if (eligible(w)) {
        tell("window", JSON.stringify(recordOf(w)));
    }
}

function connectIf(signal, handler) {
    if (signal && typeof signal.connect === "function") {
        signal.connect(handler);
    }
}

function hook(w) {
    var id = idOf(w);
    tracked[id] = w;
    if (hooked[id]) {
        return;
    }
    hooked[id] = true;
    var again = function () { report(w); };
    connectIf(w.frameGeometryChanged, again);
    connectIf(w.minimizedChanged, again);
    connectIf(w.desktopChanged, again);   // 5.27
    connectIf(w.desktopsChanged, again);  // 6
    connectIf(w.onAllDesktopsChanged, again);
}

function screens() {
    var result = [];
    var desktop = workspace.currentDesktop;
    if (Array.isArray(workspace.screens)) {  // KWin 6: outputs
        for (var i = 0; i < workspace.screens.length; ++i) {
            result.push(screenOf(workspace.screens[i], desktop));
        }
    } else {
        for (var n = 0; n < workspace.numScreens; ++n) {
            result.push(screenOf(n, desktop));
        }
    }
    return result;
}

function screenOf(screen, desktop) {
    var f = workspace.clientArea(KWin.ScreenArea, screen, desktop);
    var a = workspace.clientArea(KWin.MaximizeArea, screen, desktop);
    return {x: f.x, y: f.y, width: f.width, height: f.height,
            areaX: a.x, areaY: a.y, areaWidth: a.width, areaHeight: a.height};
}

function activeWindow() {
    return workspace.activeWindow !== undefined ? workspace.activeWindow : workspace.activeClient;
}

function activate(w) {
    if (workspace.activeWindow !== undefined) {
        workspace.activeWindow = w;
    } else {
        workspace.activeClient = w;
    }
}

// Activating another window from inside KWin's activation leaves that window unable to be
// minimised (KWin 5.27): do it once the activation is over. One timer, held here so that the
// script engine does not collect it before it fires.
var focusTimer = null;
var focusTarget = null;
function giveFocusBack(w) {
    if (typeof QTimer === "undefined") {
        activate(w);
        return;
    }
    focusTarget = w;
    if (!focusTimer) {
        focusTimer = new QTimer();
        focusTimer.singleShot = true;
        focusTimer.interval = 0;
        focusTimer.timeout.connect(function () {
            var target = focusTarget;
            focusTarget = null;
            // A window minimised meanwhile stays so: KWin offered ours the focus because of it.
            if (target && !target.deleted && !target.minimized) {
                activate(target);
            }
        });
    }
    focusTimer.start();
}

function activeId() {
    var w = activeWindow();
    return w ? idOf(w) : "";
}

function isFeedback(w) {
    return textOf(w.caption).indexOf(feedbackPrefix) === 0;
}

function placeIfAsked(w) {
    var p = placements[textOf(w.caption)];
    if (!p) {
        return;
    }
    w.keepAbove = true;
    w.noBorder = true;
    w.skipTaskbar = true;
    w.skipSwitcher = true;
    w.skipPager = true;
    w.frameGeometry = {x: p[0], y: p[1], width: p[2], height: p[3]};
}

function activated() {
    var w = activeWindow();
    if (w && isFeedback(w)) {
        // Never ours to keep: the focus goes back where it was.
        if (lastActive && !lastActive.deleted && !lastActive.minimized) {
            giveFocusBack(lastActive);
        }
        return;
    }
    // KWin deactivates the old window before it activates the new one: remember a real one.
    if (w) {
        lastActive = w;
    }
    tell("active", activeId());
}

function snapshot() {
    var list = windows();
    var records = [];
    for (var i = 0; i < list.length; ++i) {
        if (eligible(list[i]) && !isFeedback(list[i])) {
            hook(list[i]);
            records.push(recordOf(list[i]));
        }
    }
    tell("snapshot", JSON.stringify({windows: records, active: activeId(), screens: screens()}));
}

function added(w) {
    if (isFeedback(w)) {
        placeIfAsked(w);
        return;
    }
    if (eligible(w)) {
        hook(w);
        report(w);
    }
}

function removed(w) {
    if (isFeedback(w)) {
        delete placements[textOf(w.caption)];
        return;
    }
    if (lastActive === w) {
        lastActive = null;
    }
    if (focusTarget === w) {
        focusTarget = null;
    }
    var id = idOf(w);
    delete tracked[id];
    delete hooked[id];
    tell("removed", id);
}

function placeFeedback(place) {
    for (var i = 0; Array.isArray(place) && i < place.length; ++i) {
        placements[place[i][0]] = place[i].slice(1);
    }
    var list = windows();
    for (var n = 0; n < list.length; ++n) {
        if (isFeedback(list[n])) {
            placeIfAsked(list[n]);
        }
    }
}

function applyBatch(text) {
    var batch;
    try {
        batch = JSON.parse(text);
    } catch (e) {
        batch = {};
    }
    if (batch.place && batch.place.length > 0) {
        placeFeedback(batch.place);
    }
    var moves = batch.moves;
    for (var i = 0; Array.isArray(moves) && i < moves.length; ++i) {
        var move = moves[i];
        var w = tracked[move[0]];
        if (!w || w.deleted) {
            continue;
        }
        var g = w.frameGeometry;
        if (g.x !== move[1] || g.y !== move[2]) {
            w.frameGeometry = {x: move[1], y: move[2], width: g.width, height: g.height};
        }
    }
}

function nextMoves() {
    callDBus(service, path, iface, "nextMoves", function (batch) {
        applyBatch(batch);
        nextMoves();
    });
}

connectIf(workspace.windowAdded, added);      // 6
connectIf(workspace.clientAdded, added);      // 5.27
connectIf(workspace.windowRemoved, removed);  // 6
connectIf(workspace.clientRemoved, removed);  // 5.27
connectIf(workspace.windowActivated, activated);  // 6
connectIf(workspace.clientActivated, activated);  // 5.27
connectIf(workspace.currentDesktopChanged, snapshot);
connectIf(workspace.screensChanged, snapshot);           // 6
connectIf(workspace.numberScreensChanged, snapshot);     // 5.27
connectIf(workspace.virtualScreenGeometryChanged, snapshot);

snapshot();
nextMoves();
