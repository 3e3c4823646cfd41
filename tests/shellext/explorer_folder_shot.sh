#!/usr/bin/env bash
# Runs the Explorer folder test under wine and keeps a screenshot of wine's
# Explorer showing the device's files:
#
#   explorer_folder_shot.sh WINE_RUN PREFIX TEST.exe OUT_DIR
#
# Its folder-tree case runs with KESTREL_EXPLORER_SHOT set to OUT_DIR; once it
# case writes OUT_DIR/ready (Explorer lists the files), the screen is taken
# with ImageMagick's import into OUT_DIR/explorer_folder.png and OUT_DIR/taken
# lets the case go on. Needs an X display ($DISPLAY). The exit code is the
# test program's, or 1 when no screenshot could be taken.
set -uo pipefail

if [[ $# -ne 4 ]]; then
    echo "usage: explorer_folder_shot.sh WINE_RUN PREFIX TEST.exe OUT_DIR" >&2
    exit 2
fi
wine_run=$1 prefix=$2 program=$3 out=$4

[[ -n ${DISPLAY:-} ]] || { echo "explorer_folder_shot: no X display (DISPLAY is not set)" >&2; exit 1; }
command -v import >/dev/null || { echo "explorer_folder_shot: ImageMagick's import is not installed" >&2; exit 1; }
mkdir -p "$out" || exit 1
rm -f "$out/ready" "$out/taken" "$out/explorer_folder.png"

KESTREL_EXPLORER_SHOT=$out "$wine_run" "$prefix" "$program" --gtest_filter='Roots/ExplorerFolderTest.*/FolderTree' &
test_pid=$!
for _ in $(seq 1800); do
    [[ -e $out/ready ]] && break
    kill -0 "$test_pid" 2>/dev/null || break
    sleep 0.1
done
shot=1
if [[ -e $out/ready ]]; then
    import -window root "$out/explorer_folder.png" && shot=0
fi
touch "$out/taken"
wait "$test_pid"
status=$?
[[ $shot -eq 0 ]] || { echo "explorer_folder_shot: no screenshot taken" >&2; exit 1; }
echo "explorer_folder_shot: $out/explorer_folder.png"
exit "$status"
