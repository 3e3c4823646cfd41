#!/usr/bin/env bash
# A screenshot of the folder view in details mode:
#
#   view_shot.sh WINE_RUN PREFIX VIEW_TEST.exe OUT_DIR
#
# Runs the view test's details-mode case under wine with KESTREL_VIEW_SHOT
# set to OUT_DIR; once the case writes OUT_DIR/ready, the screen is taken
# with ImageMagick's import into OUT_DIR/view_details.png and OUT_DIR/taken
# lets the case finish. Needs an X display ($DISPLAY).
set -uo pipefail

if [[ $# -ne 4 ]]; then
    echo "usage: view_shot.sh WINE_RUN PREFIX VIEW_TEST.exe OUT_DIR" >&2
    exit 2
fi
wine_run=$1 prefix=$2 program=$3 out=$4

[[ -n ${DISPLAY:-} ]] || { echo "view_shot: no X display (DISPLAY is not set)" >&2; exit 1; }
command -v import >/dev/null || { echo "view_shot: ImageMagick's import is not installed" >&2; exit 1; }
mkdir -p "$out" || exit 1
rm -f "$out/ready" "$out/taken" "$out/view_details.png"

KESTREL_VIEW_SHOT=$out "$wine_run" "$prefix" "$program" --gtest_filter='ViewTest.DetailsModeOnScreen' &
test_pid=$!
for _ in $(seq 600); do
    [[ -e $out/ready ]] && break
    kill -0 "$test_pid" 2>/dev/null || break
    sleep 0.1
done
shot=1
if [[ -e $out/ready ]]; then
    import -window root "$out/view_details.png" && shot=0
fi
touch "$out/taken"
wait "$test_pid"
status=$?
[[ $shot -eq 0 ]] || { echo "view_shot: no screenshot taken" >&2; exit 1; }
echo "view_shot: $out/view_details.png"
exit "$status"
