#!/usr/bin/env bash
# The real program in a real X window: Xvfb and openbox on a free display, the
# program started minimized on a virtual port, F1 and Escape typed with xdotool,
# and the built monitor reading the line as a show controller would.
# Usage: window_e2e.sh PATH_TO_CHRONVANE32 PATH_TO_CHRONVANE32_MONITOR
# Exit 0 on success, 1 on any failure, a missing tool included (scripts/deps installs them).
set -uo pipefail

program="$1"
monitor="$2"

source "$(dirname "$0")/../support/framed_display.sh"

# The managed window whose title is exactly $1 (xdotool's name search ignores case
# and would also find Qt's hidden "chronvane32" leader window).
find_window() {
    local id
    for id in $(xprop -root _NET_CLIENT_LIST | grep -o '0x[0-9a-f]*'); do
        if [ "$(xprop -id "$id" _NET_WM_NAME 2>/dev/null)" = "_NET_WM_NAME(UTF8_STRING) = \"$1\"" ]; then
            printf '%d\n' "$id"
            return 0
        fi
    done
    return 1
}

start_framed_display xdotool xwininfo
unset QT_QPA_PLATFORM

"$program" -min --device COM1=virtual >"$work/program.log" 2>&1 &
program_pid=$!
pids+=($program_pid)
reader_path() { sed -n 's/^COM1 is virtual: readers open //p' "$work/program.log"; }
wait_for 10 sh -c "grep -q '^COM1 is virtual: readers open ' '$work/program.log'" ||
    fail "the program made no virtual port: $(cat "$work/program.log")"
device="$(reader_path)"
"$monitor" "$device" >"$work/monitor.log" 2>"$work/monitor.err" &
monitor_pid=$!
pids+=($monitor_pid)

wait_for 10 find_window Chronvane32 >/dev/null || fail "the main window did not appear"
window="$(find_window Chronvane32)"
echo "main window $window on $DISPLAY, COM1 = $device"

# -min: minimized once the window runs.
is_hidden() { xprop -id "$window" _NET_WM_STATE | grep -q _NET_WM_STATE_HIDDEN; }
wait_for 5 is_hidden || fail "the window is not minimized: $(xprop -id "$window" _NET_WM_STATE)"
echo "minimized: $(xprop -id "$window" _NET_WM_STATE)"

# Messages go out once a second, minimized or not; the monitor prints one line
# per message it reads, each starting with the time it carries and its protocol.
received() { wc -l <"$work/monitor.log"; }
wait_for 10 sh -c "[ \$(wc -l <'$work/monitor.log') -ge 3 ]" ||
    fail "fewer than three messages arrived: $(cat "$work/monitor.log" "$work/monitor.err")"
grep -qvE '^[0-9]{2}:[0-9]{2}:[0-9]{2}  ESE ' "$work/monitor.log" &&
    fail "the monitor read something other than ESE time messages: $(cat "$work/monitor.log")"
echo "received $(received) messages, the first: $(head -n1 "$work/monitor.log")"

# Restore, then F1: the About box comes up with its help pane open.
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowmap --sync "$window"
wait_for 5 sh -c "! xprop -id $window _NET_WM_STATE | grep -q _NET_WM_STATE_HIDDEN" ||
    fail "the window could not be restored"
wait_for 5 sh -c "[ \"\$(xdotool getwindowfocus)\" = $window ]" ||
    xdotool windowfocus --sync "$window"
xdotool key F1
wait_for 10 find_window "About Chronvane32" >/dev/null || fail "F1 brought up no About box"
about="$(find_window "About Chronvane32")"
width="$(xwininfo -id "$about" | awk '/Width:/ {print $2}')"
height="$(xwininfo -id "$about" | awk '/Height:/ {print $2}')"
echo "About box $about: ${width}x${height}"
# Closed, the box is about a quarter as tall as wide; open, nearly square.
((height * 10 > width * 6)) || fail "the About box opened without its help pane (${width}x${height})"

# The tick goes on while the box is open.
before="$(received)"
wait_for 3 sh -c "[ \$(wc -l <'$work/monitor.log') -gt $before ]" ||
    fail "nothing was sent while the About box was open"

# Where a window's client area is on the root window: "X Y".
client_position() {
    xwininfo -id "$1" | awk '/Absolute upper-left X:/ {x = $4} /Absolute upper-left Y:/ {y = $4}
        END {print x, y}'
}
focus_main() {
    wait_for 3 sh -c "[ \"\$(xdotool getwindowfocus)\" = $window ]" ||
        xdotool windowfocus --sync "$window"
}
about_from_f1="$(client_position "$about")"

# Escape closes the box. From the window's menu it comes up where F1 put it.
xdotool key Escape
wait_for 5 eval '! find_window "About Chronvane32" >/dev/null' ||
    fail "Escape did not close the About box"
focus_main
# The menu is a window of its own: the keys are for it once it is shown, however
# long a loaded machine takes to show it.
visible_windows() {
    xdotool search --onlyvisible --class chronvane32 2>/dev/null | wc -l
}
windows_before="$(visible_windows)"
xdotool key shift+F10
wait_for 10 eval '[ "$(visible_windows)" -gt "$windows_before" ]' ||
    fail "shift+F10 brought up no menu"
xdotool key Up Return
wait_for 10 find_window "About Chronvane32" >/dev/null || fail "the menu brought up no About box"
about_from_menu="$(client_position "$(find_window "About Chronvane32")")"
[ "$about_from_menu" = "$about_from_f1" ] ||
    fail "the About box is at $about_from_menu from the menu but at $about_from_f1 from F1"
echo "About box at $about_from_f1 from F1 and from the menu"
xdotool key Escape
wait_for 5 eval '! find_window "About Chronvane32" >/dev/null' ||
    fail "Escape did not close the About box"

# The main window is centred by its whole window, caption included.
read -r left top <<<"$(client_position "$window")"
read -r frame_left frame_right frame_top frame_bottom <<<"$(xprop -id "$window" _NET_FRAME_EXTENTS |
    grep -oE '[0-9]+' | tr '\n' ' ')"
width="$(xwininfo -id "$window" | awk '/Width:/ {print $2}')"
height="$(xwininfo -id "$window" | awk '/Height:/ {print $2}')"
centre_x=$(((left - frame_left) * 2 + width + frame_left + frame_right))
centre_y=$(((top - frame_top) * 2 + height + frame_top + frame_bottom))
((centre_x >= 1022 && centre_x <= 1026 && centre_y >= 766 && centre_y <= 770)) ||
    fail "the main window's frame is not centred on the 1024x768 screen (twice its centre: $centre_x,$centre_y)"
echo "main window centred with its frame (${frame_left},${frame_right},${frame_top},${frame_bottom})"

# Escape in the main window ends the program.
focus_main
xdotool key Escape
wait_for 5 sh -c "! kill -0 $program_pid 2>/dev/null" || fail "Escape did not end the program"
wait "$program_pid"
status=$?
[ "$status" -eq 0 ] || fail "exit status $status: $(cat "$work/program.log")"
echo "program ended with status 0"

# The line ends with the program: the monitor reads no more and ends too.
wait_for 5 sh -c "! kill -0 $monitor_pid 2>/dev/null" ||
    fail "the monitor still reads $device after the program ended"
echo "PASS"
