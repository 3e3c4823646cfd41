#!/usr/bin/env bash
# Refreshes the README's picture of the update tool from the screenshot the
# win64 GUI test (tests/fwupdate, fwupdate_gui_test) took of its window after a
# complete update:
#
#   doc/screenshots/update.sh BUILD_DIR      # e.g. build/win64
#
# Reads BUILD_DIR/test-output/fwupdate/update-done.bmp, writes
# doc/screenshots/fwupdate-window.png beside this script (ImageMagick's
# convert; no time stamps or other metadata, so that the same picture gives
# the same file).
#
# Without a window manager (Xvfb), wine leaves a window's title bar to the
# window manager and the screenshot shows black there. For the picture with
# its title bar, let wine draw frames itself in the build's prefix before the
# test runs:
#   WINEPREFIX=build/win64/wineprefix wine reg add \
#       "HKCU\Software\Wine\X11 Driver" /v Managed /d N /f
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${1:?usage: update.sh BUILD_DIR}
shot=$build/test-output/fwupdate/update-done.bmp

[[ -f $shot ]] || { echo "update.sh: $shot is missing: run the win64 GUI test of fwupdate first" >&2; exit 1; }
command -v convert >/dev/null || { echo "update.sh: ImageMagick's convert is not installed" >&2; exit 1; }
convert "$shot" -strip -define png:exclude-chunks=date,time "$here/fwupdate-window.png"
echo "update.sh: $here/fwupdate-window.png ($(stat -c %s "$here/fwupdate-window.png") bytes)"
