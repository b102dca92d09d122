#!/usr/bin/env bash
# The settings window end to end, as a user drives it: open it from the tray menu, set the spacing
# and the easing with the keyboard, record Control+Alt+T, close it; restart the program and find
# the values stored and the shortcut lining up the frontmost XTerm's windows.
#
#   scripts/with-desktop --tray tests/settings_e2e/settings_window_e2e.sh PATH/TO/tallowmere
set -euo pipefail

tallowmere=${1:?usage: $0 PATH/TO/tallowmere}
if [ -z "${TALLOWMERE_PRIVATE_DISPLAY:-}" ] || [ "$DISPLAY" != "$TALLOWMERE_PRIVATE_DISPLAY" ]; then
    echo "settings e2e: refusing to run outside scripts/with-desktop" >&2
    exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/settings-e2e.XXXXXX")
prefs=$work/config/tallowmere/preferences.json
pids=()
cleanup() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "settings e2e: FAIL: $*" >&2
    [ ! -f "$prefs" ] || { echo "preferences:" >&2; cat "$prefs" >&2; }
    [ ! -f "$work/stderr" ] || { echo "program output:" >&2; cat "$work/stderr" >&2; }
    exit 1
}
# Polls a condition every 50 ms for at most 15 s.
wait_for() {
    local i
    for ((i = 0; i < 300; i++)); do "$@" && return 0; sleep 0.05; done
    fail "timed out waiting for: $*"
}

start_tallowmere() {
    XDG_CONFIG_HOME=$work/config "$tallowmere" --verbose 2>>"$work/stderr" &
    program=$!
    pids+=("$program")
}
stop_tallowmere() {
    kill -TERM "$program"
    wait "$program" || fail "the program exited with status $?"
    unset 'pids[-1]'
}

# The icon is our window nested below the tray host's (top-level windows are indented by 5).
icon_id() {
    # Reading to the end: an early exit would kill xwininfo with SIGPIPE.
    xwininfo -root -tree | awk '/\("tallowmere" "tallowmere"\)/ && match($0, /^ +/) && RLENGTH > 5 &&
        !id { id = $1 } END { print id }'
}
embedded() { [ -n "$(icon_id)" ]; }
# A popup menu is a mapped window of ours besides the icon.
menu_open() { [ "$(xdotool search --onlyvisible --classname tallowmere 2>/dev/null | wc -l)" -ge 2 ]; }
settings_window() { xdotool search --onlyvisible --name ' 設定$' 2>/dev/null | sed -n 1p; }
settings_shown() { [ -n "$(settings_window)" ]; }
settings_gone() { [ -z "$(settings_window)" ]; }
# A stored value, by jq path; shortcuts are decoded from their base64 blob.
stored() { jq -c "$1" "$prefs" 2>/dev/null; }
stored_shortcut() { jq -r ".$1[\"\$data\"] // empty" "$prefs" 2>/dev/null | base64 -d 2>/dev/null; }
stored_is() { [ "$(stored "$1")" = "$2" ]; }
realign_recorded() {
    [ "$(stored_shortcut manualRealignShortcut | jq -c '[.keyCode, .carbonModifiers, .displayString]' 2>/dev/null)" = '[17,6144,"⌃⌥T"]' ]
}

mkdir -p "$(dirname "$prefs")"
echo '{"monitoredBundleIdentifiers":["XTerm"]}' >"$prefs"

# --- first run: the settings from the tray menu.
start_tallowmere
wait_for embedded
icon=$(icon_id)
xdotool mousemove --window "$icon" 4 4 click 1
# The menu opens with nothing selected; 設定... is the fourth item (no permission item with a WM).
wait_for menu_open
xdotool key --delay 80 Down Down Down Down Return
wait_for settings_shown
window=$(settings_window)
xdotool windowactivate --sync "$window" 2>/dev/null || true

# Focus starts on アプリを追加...; then 実行中のアプリから追加..., XTerm's remove button, the spacing
# slider. Home, then three pages of ten points.
xdotool key --delay 80 Tab Tab Tab Home Prior Prior Prior
wait_for stored_is .windowSpacingMargin 30
# The toggle, the anchor picker, the easing picker: first case, then one down (linear).
xdotool key --delay 80 Tab Tab Tab Home Down
wait_for stored_is .animationEasing '"linear"'
# The duration slider, the overlay toggle, then 記録... of 再整頓. The button acts on the space's
# release, which the X server delivers before the keys that follow.
xdotool key --delay 80 Tab Tab Tab space ctrl+alt+t
wait_for realign_recorded

wmctrl -i -c "$window"
wait_for settings_gone
stop_tallowmere

# --- second run: the values are back, and the shortcut realigns.
start_tallowmere
wait_for embedded
stored_is .windowSpacingMargin 30 || fail "the spacing was not kept"
stored_is .animationEasing '"linear"' || fail "the easing was not kept"
realign_recorded || fail "the shortcut was not kept"

xterm_windows() { xdotool search --classname xterm 2>/dev/null | sort; }
two_xterms() { [ "$(xterm_windows | wc -l)" -eq 2 ]; }
for _ in 1 2; do
    xterm -geometry 40x10 &
    pids+=($!)
done
wait_for two_xterms
mapfile -t xterms < <(xterm_windows)

# Left edges (client, absolute) and the frame extents of the first window.
client_x() { xwininfo -id "$1" | awk '/Absolute upper-left X/ { print $4 }'; }
client_y() { xwininfo -id "$1" | awk '/Absolute upper-left Y/ { print $4 }'; }
client_w() { xwininfo -id "$1" | awk '/Width:/ { print $2 }'; }
extents() { xprop -id "$1" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g'; }
# In one row: same height on screen, frames 30 apart.
in_row() {
    local a=${xterms[0]} b=${xterms[1]} l r ax bx
    read -r l r _ _ <<<"$(extents "$a")"
    [ -n "$l" ] || return 1
    ax=$(client_x "$a") bx=$(client_x "$b")
    if ((ax > bx)); then
        local t=$a; a=$b; b=$t; t=$ax; ax=$bx; bx=$t
    fi
    # From the right edge of a's frame to the left edge of b's.
    [ "$(client_y "$a")" = "$(client_y "$b")" ] && (((bx - l) - (ax + $(client_w "$a") + r) == 30))
}
wait_for in_row

# Move one away by hand, then press the recorded shortcut with an XTerm in front.
xdotool windowmove --sync "${xterms[1]}" 900 600
in_row && fail "the window did not move away"
xdotool windowactivate --sync "${xterms[0]}"
xdotool key ctrl+alt+t
wait_for in_row

stop_tallowmere
echo "settings e2e: passed"
