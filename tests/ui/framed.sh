#!/usr/bin/env bash
# Runs a command (the widget tests) on Qt's X11 platform in a private Xvfb with
# openbox, whose frames have a caption: the off-screen platform's frame is the same
# on every side, so a window centred by its client area looks centred there too.
# Usage: framed.sh COMMAND [ARGS...]. Exit: the command's, or 1 when no framed
# display could be had (a check that cannot run fails).
set -uo pipefail

for tool in Xvfb openbox xprop; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (scripts/deps)"; exit 1; }
done
work="$(mktemp -d)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

wait_for() {
    local tries=$(($1 * 10))
    shift
    while ((tries-- > 0)); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
wait_for 10 test -s "$work/display" || { echo "FAIL: Xvfb did not start: $(cat "$work/xvfb.log")"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
# A loaded machine can take its time here.
wait_for 30 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
    { echo "FAIL: openbox did not start on $DISPLAY: $(cat "$work/openbox.log")"; exit 1; }
"$@"
