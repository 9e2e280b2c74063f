#!/usr/bin/env bash
# Prepares, checks and stops the Wine prefix the Windows tests run in.
#
#   wine-prefix.sh prepare ROOT   make ROOT/prefix (or refresh it), start its wineserver
#                                 (again, when it runs: Wine's helpers start afresh)
#   wine-prefix.sh verify ROOT    fail unless COM1..COM4 lead to ROOT/ports/com1..com4
#   wine-prefix.sh stop ROOT      end the prefix's wineserver and everything it runs
#
# ROOT/ports/comN are symlinks the tests own: a test points one at a fresh
# pseudo-terminal, and the program under Wine reaches it as COMn. Until then they
# lead nowhere, and opening COMn fails.
#
# Why the registry is written by hand, before any Wine process exists: Wine's mount
# manager runs at every wineserver start and writes dosdevices/comN from
# HKLM\Software\Wine\Ports; a COM number without a value there gets the machine's
# /dev/ttyS* (here the console). Writing the values with `wine reg add` would need a
# Wine process, and with it a wineserver and the mount manager, on a prefix that
# does not yet say where COM1..COM4 go. So the prefix starts as a directory this
# script makes: dosdevices with c:, z: and com1..com4, and a system.reg holding only
# the Ports key. The wineserver loads that file when it starts, before anything runs,
# and wineboot then adds Wine's own keys around it. The mount manager only links the
# machine's serial devices (it checks they exist, it never opens them); with COM1..
# COM4 taken they land on COM5 and up, and this script removes those links too.
# `verify` checks the result after every run.
set -euo pipefail

usage() {
    echo "usage: $0 prepare|verify|stop ROOT" >&2
    exit 2
}
[ $# -eq 2 ] || usage
command=$1
root=$(realpath -m "$2")
prefix=$root/prefix
ports=$root/ports
source_dir=$(cd "$(dirname "$0")" && pwd)

export WINEPREFIX=$prefix
export WINEARCH=win64
export WINEDEBUG=-all
# No .NET or HTML engine installers, and no menu entries or file associations
# written into the home directory.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64

port_count=4

# Writes the registry files a fresh prefix starts from. Wine keeps them as text,
# keys relative to HKLM (system.reg) and HKCU (user.reg), strings with \\ for \.
write_registry_seed() {
    local now n
    now=$(date +%s)
    {
        printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n'
        printf '[Software\\\\Wine\\\\Ports] %s\n' "$now"
        for n in $(seq 1 $port_count); do
            printf '"COM%s"="%s"\n' "$n" "$ports/com$n"
        done
        printf '\n'
    } >"$prefix/system.reg"
    # A virtual desktop: Wine draws captions and handles focus itself, so the
    # window tests need no window manager under Xvfb.
    {
        printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n\n'
        printf '[Software\\\\Wine\\\\Explorer] %s\n"Desktop"="Default"\n\n' "$now"
        printf '[Software\\\\Wine\\\\Explorer\\\\Desktops] %s\n"Default"="1024x768"\n\n' "$now"
    } >"$prefix/user.reg"
}

# True when the prefix's registry on disk still maps every COM port to ours.
registry_maps_ports() {
    local n
    [ -f "$prefix/system.reg" ] || return 1
    for n in $(seq 1 $port_count); do
        grep -qxF "\"COM$n\"=\"$ports/com$n\"" "$prefix/system.reg" || return 1
    done
}

link_ports() {
    local n
    mkdir -p "$ports" "$prefix/dosdevices"
    for n in $(seq 1 $port_count); do
        ln -sfn "$ports/com$n" "$prefix/dosdevices/com$n"
        # Only re-point a port that does not lead somewhere yet: a test may own it.
        [ -L "$ports/com$n" ] || ln -sfn "$ports/unassigned" "$ports/com$n"
    done
}

# The machine's own serial devices, linked by the mount manager above COM4.
remove_machine_ports() {
    local link target
    for link in "$prefix"/dosdevices/com*; do
        [ -L "$link" ] || continue
        target=$(readlink "$link")
        case $target in
            /dev/*) rm -f "$link" ;;
        esac
    done
}

verify() {
    local n target failed=0
    for n in $(seq 1 $port_count); do
        target=$(readlink "$prefix/dosdevices/com$n" || true)
        if [ "$target" != "$ports/com$n" ]; then
            echo "error: $prefix/dosdevices/com$n leads to '$target', not $ports/com$n" >&2
            failed=1
        fi
    done
    for target in "$prefix"/dosdevices/com*; do
        if [ -L "$target" ] && readlink "$target" | grep -q '^/dev/'; then
            echo "error: $target leads to $(readlink "$target")" >&2
            failed=1
        fi
    done
    if ! registry_maps_ports; then
        echo "error: $prefix/system.reg does not map COM1..COM$port_count to $ports" >&2
        failed=1
    fi
    return $failed
}

stop() {
    [ -d "$prefix" ] || return 0
    # Kills this prefix's server and every Wine process attached to it, no other.
    "$wineserver" -k </dev/null >/dev/null 2>&1 || true
    "$wineserver" -w </dev/null >/dev/null 2>&1 || true
}

# Starts this prefix's server for good (-p) with nothing of ours on its standard
# streams: Wine's helpers outlive the program that started them and would hold a
# pipe open, and a reader of it (ctest among them) would wait forever.
start_server() {
    "$wineserver" -p </dev/null >/dev/null 2>&1
}

build_recorder() {
    local source=$source_dir/tcsetattr_recorder.c
    local library=$root/tcsetattr-recorder.so
    if [ ! -e "$library" ] || [ "$source" -nt "$library" ]; then
        cc -std=c11 -O2 -Wall -Wextra -shared -fPIC -o "$library" "$source" -ldl
    fi
}

# Debian's Wine does not find its own fonts. Without its TrueType ones captions
# lose their glyphs; without its bitmap "MS Sans Serif" (sserife.fon, and its
# variants for other code pages) the dialogs' font falls back to a wider face
# from the system, and texts lose their last words. Wine reads the Fonts folder
# at every start, so a prefix made before a font was added gets it too.
link_fonts() {
    local fonts=/usr/share/wine/fonts
    mkdir -p "$prefix/drive_c/windows/Fonts"
    ln -sf "$fonts"/*.ttf "$fonts"/sserife*.fon "$fonts"/ssee*.fon "$prefix/drive_c/windows/Fonts/"
}

prepare() {
    local fresh=0 started
    started=$(date +%s%N)
    mkdir -p "$root"
    stop
    if [ ! -f "$prefix/.chronvane-ready" ] || ! registry_maps_ports; then
        fresh=1
        case $prefix in
            */prefix) rm -rf -- "$prefix" ;;
            *) echo "error: refusing to remove $prefix" >&2; exit 1 ;;
        esac
        mkdir -p "$prefix/drive_c" "$prefix/dosdevices"
        # What Wine makes itself when it creates dosdevices; it skips that when the
        # directory is already there.
        ln -s ../drive_c "$prefix/dosdevices/c:"
        ln -s / "$prefix/dosdevices/z:"
        write_registry_seed
    fi
    link_ports
    # Left by the mount manager of an earlier run, which a test may have restarted.
    remove_machine_ports
    verify
    start_server
    if [ $fresh -eq 1 ]; then
        "$wine" wineboot -i </dev/null >/dev/null 2>&1
    fi
    link_fonts
    # One program run with nothing on its standard streams brings up Wine's helpers
    # (services, the mount manager) now, detached, so each test's program starts fast.
    # services.exe hands its standard error and WINEDEBUG on to every service it
    # starts: a test of a service names a file and the debug channels to catch there
    # (CHRONVANE_WINE_SERVICES_LOG, CHRONVANE_WINE_SERVICES_DEBUG).
    WINEDEBUG=${CHRONVANE_WINE_SERVICES_DEBUG:-$WINEDEBUG} \
        "$wine" cmd.exe /c exit 0 </dev/null >/dev/null 2>>"${CHRONVANE_WINE_SERVICES_LOG:-/dev/null}"
    remove_machine_ports
    verify
    touch "$prefix/.chronvane-ready"
    build_recorder
    echo "Wine prefix ready in $prefix ($([ $fresh -eq 1 ] && echo made || echo reused)," \
        "$(( ($(date +%s%N) - started) / 1000000 )) ms)"
}

case $command in
    prepare) prepare ;;
    verify) verify ;;
    stop) stop ;;
    *) usage ;;
esac
