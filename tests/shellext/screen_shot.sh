#!/usr/bin/env bash
# Runs one case of a GUI test program under wine and keeps a screenshot of
# the moment the case asks for:
#
#   screen_shot.sh WINE_RUN PREFIX TEST.exe OUT_DIR SIGNAL_VAR FILTER PNG WAIT_S
#
# The case named by the GoogleTest FILTER runs with the variable SIGNAL_VAR
# set to OUT_DIR; once it writes OUT_DIR/ready, the screen is taken with
# ImageMagick's import into OUT_DIR/PNG and OUT_DIR/taken lets the case go
# on. The case has WAIT_S seconds to get ready. Needs an X display
# ($DISPLAY). The exit code is the test program's, or 1 when no screenshot
# could be taken.
set -uo pipefail

if [[ $# -ne 8 ]]; then
    echo "usage: screen_shot.sh WINE_RUN PREFIX TEST.exe OUT_DIR SIGNAL_VAR FILTER PNG WAIT_S" >&2
    exit 2
fi
wine_run=$1 prefix=$2 program=$3 out=$4 signal=$5 filter=$6 png=$7 wait_s=$8

[[ -n ${DISPLAY:-} ]] || { echo "screen_shot: no X display (DISPLAY is not set)" >&2; exit 1; }
command -v import >/dev/null || { echo "screen_shot: ImageMagick's import is not installed" >&2; exit 1; }
mkdir -p "$out" || exit 1
rm -f "$out/ready" "$out/taken" "$out/$png"

env "$signal=$out" "$wine_run" "$prefix" "$program" --gtest_filter="$filter" &
test_pid=$!
for _ in $(seq $((wait_s * 10))); do
    [[ -e $out/ready ]] && break
    kill -0 "$test_pid" 2>/dev/null || break
    sleep 0.1
done
shot=1
if [[ -e $out/ready ]]; then
    import -window root "$out/$png" && shot=0
fi
touch "$out/taken"
wait "$test_pid"
status=$?
[[ $shot -eq 0 ]] || { echo "screen_shot: no screenshot taken" >&2; exit 1; }
echo "screen_shot: $out/$png"
exit "$status"
