// The benchmark's eyes inside KWin: when each bench window arrived and every move of one, on
// KWin's own clock (milliseconds), printed to KWin's log.
function textOf(value) {
    if (value instanceof ArrayBuffer) {
        var bytes = new Uint8Array(value), s = "";
        for (var i = 0; i < bytes.length; ++i) {
            s += String.fromCharCode(bytes[i]);
        }
        return s;
    }
    return String(value);
}

function follow(w) {
    if (textOf(w.resourceClass) !== "bench") {
        return;
    }
    print("tmbench added " + Date.now() + " " + w.caption);
    w.frameGeometryChanged.connect(function () {
        var g = w.frameGeometry;
        print("tmbench frame " + Date.now() + " " + w.caption + " " + g.x + " " + g.y);
    });
}

(workspace.windowAdded || workspace.clientAdded).connect(follow);
