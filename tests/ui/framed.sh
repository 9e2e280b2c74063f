#!/usr/bin/env bash
# Runs a command (the widget tests) on Qt's X11 platform in a private Xvfb with
# openbox, whose frames have a caption: the off-screen platform's frame is the same
# on every side, so a window centred by its client area looks centred there too.
# Usage: framed.sh COMMAND [ARGS...]. Exit: the command's, or 1 when no framed
# display could be had (a check that cannot run fails).
set -uo pipefail

source "$(dirname "$0")/../support/framed_display.sh"
start_framed_display
export QT_QPA_PLATFORM=xcb
"$@"
