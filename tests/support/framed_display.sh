# Sourced by the tests that need a real X display with a window manager, whose
# frames have a caption (the off-screen platform's frame is the same on every
# side): a private Xvfb on a free display with openbox, ended with the test.
# Gives: $work (a scratch folder, removed at exit), pids+=(...) for anything else
# to end at exit, fail TEXT, wait_for SECONDS COMMAND..., and
# start_framed_display TOOLS..., which first fails unless Xvfb, openbox, xprop and
# TOOLS are installed (a check that cannot run fails), then exports DISPLAY.

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

fail() {
    echo "FAIL: $*"
    exit 1
}

# Polls "$@" every 100 ms for up to $1 seconds.
wait_for() {
    local tries=$(($1 * 10))
    shift
    while ((tries-- > 0)); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

start_framed_display() {
    local tool
    for tool in Xvfb openbox xprop "$@"; do
        command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/deps)"
    done
    # Xvfb picks a free display number itself and reports it.
    Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$work/display" 2>"$work/xvfb.log" &
    pids+=($!)
    wait_for 10 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
    export DISPLAY=":$(head -n1 "$work/display")"
    unset WAYLAND_DISPLAY
    openbox >"$work/openbox.log" 2>&1 &
    pids+=($!)
    # A loaded machine (the sanitizer build beside it) can take its time here.
    wait_for 30 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
        fail "openbox did not start on $DISPLAY: $(cat "$work/openbox.log")"
}
