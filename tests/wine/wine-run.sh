#!/usr/bin/env bash
# Runs one Windows program under Wine in the test prefix: CMake's cross-compiling
# emulator for the Windows build, so `ctest` and add_test(COMMAND <target>) use it.
#   CHRONVANE_WINE_ROOT=ROOT wine-run.sh PROGRAM.exe [ARGS...]
# ROOT is the directory `wine-prefix.sh prepare ROOT` set up. The program never
# starts unless COM1..COM4 lead to ROOT/ports, and its status is a failure when they
# lead anywhere else afterwards. Its output goes through files: Wine's helpers
# outlive it and would keep a pipe open, so a reader would wait for ever.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=${CHRONVANE_WINE_ROOT:-}
if [ -z "$root" ] || [ ! -f "$root/prefix/.chronvane-ready" ]; then
    echo "error: no prepared Wine prefix (CHRONVANE_WINE_ROOT='$root');" \
        "run $here/wine-prefix.sh prepare ROOT first" >&2
    exit 1
fi
[ $# -ge 1 ] || { echo "usage: $0 PROGRAM [ARGS...]" >&2; exit 2; }

export WINEPREFIX=$root/prefix
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

"$here/wine-prefix.sh" verify "$root"
output=$(mktemp "$root/run.XXXXXX")
errors=$(mktemp "$root/run.XXXXXX")
trap 'rm -f "$output" "$errors"' EXIT
status=0
/usr/lib/wine/wine64 "$@" <"${CHRONVANE_WINE_STDIN:-/dev/null}" >"$output" 2>"$errors" || status=$?
cat "$output"
cat "$errors" >&2
if ! "$here/wine-prefix.sh" verify "$root"; then
    echo "error: the COM port mapping changed while $1 ran" >&2
    exit 1
fi
exit $status
