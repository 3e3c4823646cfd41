#!/usr/bin/env bash
# The system's own Explorer shows the device folder under My Computer once
# the library is registered with regsvr32:
#
#   explorer_check.sh WINE_RUN PREFIX BIN_DIR OUT_DIR
#
# WINE_RUN is cmake/wine-run.sh, PREFIX the build's wine prefix, BIN_DIR
# the folder of qlxshlext.dll and shellext-explorer-probe.exe. Needs an X
# display ($DISPLAY, as scripts/test provides) and ImageMagick's import.
# Leaves in OUT_DIR: explorer.png (the screen once "Kestrel" is listed, or
# at the time-out), probe.log (the names the view listed), explorer.log.
# The library is unregistered again at the end.
set -uo pipefail

if [[ $# -ne 4 ]]; then
    echo "usage: explorer_check.sh WINE_RUN PREFIX BIN_DIR OUT_DIR" >&2
    exit 2
fi
wine_run=$1 prefix=$2 bin=$3 out=$4

fail() {
    echo "explorer_check: $*" >&2
    exit 1
}

[[ -n ${DISPLAY:-} ]] || fail "no X display (DISPLAY is not set)"
command -v import >/dev/null || fail "ImageMagick's import is not installed"
mkdir -p "$out" || fail "cannot create $out"
rm -f "$out/explorer.png" "$out/probe.log" "$out/explorer.log"

probe=$bin/shellext-explorer-probe.exe
dll=$("$wine_run" "$prefix" winepath -w "$bin/qlxshlext.dll" | tr -d '\r')
[[ -n $dll ]] || fail "winepath failed"

"$wine_run" "$prefix" regsvr32 /s "$dll" || fail "regsvr32 $dll failed"

"$wine_run" "$prefix" explorer >"$out/explorer.log" 2>&1 &
explorer=$!

"$wine_run" "$prefix" "$probe" show "My Computer" Kestrel 90 >"$out/probe.log" 2>&1
shown=$?
cat "$out/probe.log"
import -window root "$out/explorer.png" || echo "explorer_check: no screenshot" >&2

"$wine_run" "$prefix" "$probe" close
for _ in $(seq 50); do
    kill -0 "$explorer" 2>/dev/null || break
    sleep 0.2
done
if kill -0 "$explorer" 2>/dev/null; then
    kill "$explorer" 2>/dev/null
    echo "explorer_check: Explorer did not close; ended it" >&2
fi
wait "$explorer" 2>/dev/null

"$wine_run" "$prefix" regsvr32 /u /s "$dll" || fail "regsvr32 /u $dll failed"

[[ $shown -eq 0 ]] || fail "\"Kestrel\" is not listed under My Computer (probe exit $shown; see $out)"
echo "explorer_check: \"Kestrel\" is listed under My Computer; screenshot $out/explorer.png"
