#!/usr/bin/env bash
# Runs a Windows program of the build under wine (CMAKE_CROSSCOMPILING_EMULATOR
# of the Windows builds):
#
#   wine-run.sh PREFIX PROGRAM.exe [ARGS...]
#   wine-run.sh PREFIX                 (start wine's session, see below)
#
# PREFIX is the build's own wine prefix. It is initialised once, under a lock,
# so test programs started in parallel do not race on its creation. DISPLAY
# is passed through as it is (scripts/test points it at an Xvfb server).
#
# Without a program, the script initialises PREFIX if needed and starts wine's
# session processes (services, the desktop) with their output going to a log.
# Call it so once right after starting a persistent wine server (wineserver -p):
# those processes live as long as the server and keep their standard output
# open, so they must not be started by a test whose output CTest reads.
set -euo pipefail

if [[ $# -lt 1 ]]; then
    echo "usage: wine-run.sh PREFIX [PROGRAM [ARGS...]]" >&2
    exit 2
fi
prefix=$(realpath -m -- "$1")
shift

export WINEPREFIX=$prefix
export WINEARCH=win64
export WINEDEBUG=-all
# No network here: never ask for the Mono and Gecko installers.
export WINEDLLOVERRIDES="mscoree=d;mshtml=d"
wine=${WINE:-wine}

ready=$prefix/.kestrel-prefix-ready
initialised=no
if [[ ! -e $ready ]]; then
    mkdir -p "$(dirname "$prefix")"
    exec 9>"$prefix.lock"
    flock 9
    if [[ ! -e $ready ]]; then
        if ! "$wine" wineboot --init >"$prefix.init.log" 2>&1 9>&-; then
            echo "wine-run.sh: initialising wine prefix $prefix failed (see $prefix.init.log)" >&2
            exit 1
        fi
        touch "$ready"
        initialised=yes
    fi
    exec 9>&-
fi

if [[ $# -eq 0 ]]; then
    if [[ $initialised == no ]]; then
        "$wine" wineboot >"$prefix.session.log" 2>&1
    fi
    exit 0
fi
exec "$wine" "$@"
