#!/usr/bin/env bash
# The Windows packages of a built win64 tree, under wine in a fresh prefix of
# their own:
#  1. the targets installer and zip; the zip holds exactly the staged files;
#  2. the installer, run with /S, puts down every staged file in
#     C:\Program Files\Kestrel, registers the namespace extension (its CLSID
#     and My Computer rows), the Start-menu entry and the uninstall entry;
#  3. wine's Explorer, with a simulated device served: before the install
#     My Computer lists no device folder; after it My Computer lists
#     "Kestrel" (the installed kestrel.exe has formatted the device and put
#     a file on it meanwhile). Screenshots of both are kept in
#     BUILD_DIR/packaging/explorer-before-install.png and
#     explorer-after-install.png. Needs an X
#     display ($DISPLAY, as scripts/test provides) and ImageMagick's import;
#     skipped with a message without them;
#  4. the uninstaller, run with /S, leaves none of those files, rows or
#     entries behind.
# Skipped with a message where makensis or wine is missing.
#
#   tests/packaging/windows_installer_test.sh BUILD_DIR
set -uo pipefail

build=$(cd "${1:?usage: windows_installer_test.sh BUILD_DIR}" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-installer.XXXXXX")
prefix=$work/prefix
failures=0
clsid="{6B2E91D4-0C7A-4F53-A1E8-35D09C4B7F62}"

export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=d;mshtml=d"

cleanup() {
    if [[ -n ${device_pid:-} ]]; then
        kill "$device_pid" 2>/dev/null
        wait "$device_pid" 2>/dev/null
    fi
    if [[ -d $prefix ]]; then
        wineserver -k >/dev/null 2>&1
        timeout 10 wineserver -w >/dev/null 2>&1
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM


source "$(dirname "${BASH_SOURCE[0]}")/check_helpers.sh"

# in_wine PROGRAM ARGS...: a Windows program in the fresh prefix, with its
# standard input closed (a held pipe would keep the caller waiting).
in_wine() { wine "$@" </dev/null; }


# The keys as the prefix's machine hive (system.reg) spells them.
key_class='[Software\\Classes\\CLSID\\'$clsid
key_server=$key_class'\\InprocServer32]'
key_namespace='Explorer\\MyComputer\\NameSpace\\'$clsid']'
key_uninstall='[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrel]'
installed_server='Program Files\\Kestrel\\bin\\qlxshlext.dll'

# registry_rows: the extension's and the installer's keys in the machine
# hive, once the wine server has written it out and ended.
registry_rows() {
    timeout 60 wineserver -w
    grep -i -F -e "$key_class" -e "$key_namespace" -e "$key_uninstall" "$prefix/system.reg" |
        sed 's/\] [0-9]*$/]/' | LC_ALL=C sort
}

for tool in makensis wine wineserver unzip; do
    if ! command -v "$tool" >/dev/null; then
        echo "  skip  the Windows installer: $tool is missing (scripts/setup installs it)"
        exit 0
    fi
done

# --- wine's Explorer and the device folder -----------------------------------

shots=$build/packaging
probe=$build/bin/shellext-explorer-probe.exe
device_pid=""
device_file="NOTES.TXT"
explorer_checks=""
if [[ -z ${DISPLAY:-} ]]; then
    echo "  skip  wine's Explorer: no X display (DISPLAY is not set)"
elif ! command -v import >/dev/null; then
    echo "  skip  wine's Explorer: ImageMagick's import is missing"
elif [[ ! -f $probe ]]; then
    echo "  skip  wine's Explorer: $probe is not built"
else
    explorer_checks=1
fi

stop_device() {
    if [[ -n $device_pid ]]; then
        kill "$device_pid" 2>/dev/null
        wait "$device_pid" 2>/dev/null
        device_pid=""
    fi
}

# start_device: a simulated device of its own, served by the build's
# kestrel-simd.exe; exports KESTREL_SIM for every Windows program started
# afterwards (the namespace extension inside Explorer included).
start_device() {
    local folder=$work/device port_file=$work/device.port
    export KESTREL_TIME_SCALE=${KESTREL_TIME_SCALE:-0.1}
    check "kestrel-sim create" in_wine "$build/bin/kestrel-sim.exe" create "$(winepath -w "$folder")" --size 16M || return 1
    in_wine "$build/bin/kestrel-simd.exe" "$(winepath -w "$folder")" --listen tcp:127.0.0.1:0 \
        --port-file "$(winepath -w "$port_file")" >"$work/device.log" 2>&1 &
    device_pid=$!
    for _ in $(seq 300); do
        [[ -s $port_file ]] && break
        kill -0 "$device_pid" 2>/dev/null || break
        sleep 0.1
    done
    if [[ ! -s $port_file ]]; then
        fail "kestrel-simd.exe serves the device"
        sed 's/^/        /' "$work/device.log"
        return 1
    fi
    KESTREL_SIM=$(tr -d '\r\n' <"$port_file")
    export KESTREL_SIM
    pass "kestrel-simd.exe serves the device on $KESTREL_SIM"
}

# explorer_probe SHOT FOLDER NAME SECONDS [EXPLORER ARGUMENTS...]: starts
# wine's Explorer, lets the probe select FOLDER in its tree and wait for NAME
# in its list view, keeps the screen in SHOT, closes Explorer. Returns the
# probe's exit code (0 listed, 1 not listed, 2 no Explorer window).
explorer_probe() {
    local shot=$1 folder=$2 name=$3 seconds=$4 explorer_pid shown
    shift 4
    wine explorer "$@" </dev/null >"$work/explorer.log" 2>&1 &
    explorer_pid=$!
    in_wine "$probe" show "$folder" "$name" "$seconds" >"$work/probe.log" 2>&1
    shown=$?
    sed 's/^/        probe: /' "$work/probe.log"
    rm -f "$shot"
    import -window root "$shot" 2>/dev/null || echo "        no screenshot $shot"
    [[ -f $shot ]] && echo "        screenshot $shot"
    in_wine "$probe" close >/dev/null 2>&1
    for _ in $(seq 50); do
        kill -0 "$explorer_pid" 2>/dev/null || break
        sleep 0.2
    done
    kill "$explorer_pid" 2>/dev/null
    wait "$explorer_pid" 2>/dev/null
    return "$shown"
}

# not_listed_before_install: My Computer is shown and lists its drives, but
# no device folder (a view that listed nothing would prove nothing).
not_listed_before_install() {
    explorer_probe "$shots/explorer-before-install.png" "My Computer" Kestrel 15
    [[ $? -eq 1 ]] && grep -q '^listed: ' "$work/probe.log"
}

echo "== Windows packages"
if ! check "cmake --build: installer and zip" cmake --build "$build" --target installer zip; then
    exit 1
fi
installer=$(ls "$build"/package/kestrel-*-setup.exe)
zip=$(ls "$build"/package/kestrel-*.zip)
echo "        $(basename "$installer"): $(stat -c %s "$installer") bytes"
echo "        $(basename "$zip"): $(stat -c %s "$zip") bytes"
stage=$build/package/stage
tree "$stage" >"$work/staged"
for required in bin/kestrel.exe bin/fwupdate.exe bin/fwupdate-cli.exe bin/oryx.dll bin/qlxshlext.dll \
                bin/vxb_ffs.bix bin/vxb_main.bix include/oryx.h lib/liboryx.dll.a; do
    grep -qx "$required" "$work/staged" || fail "not staged: $required"
done
unzip -Z1 "$zip" | grep -v '/$' | LC_ALL=C sort >"$work/zipped"
check "the zip holds exactly the staged files" diff -u "$work/staged" "$work/zipped"

echo "== silent install into a fresh prefix"
start=$SECONDS
if ! check "wineboot --init" wine wineboot --init; then
    exit 1
fi
echo "        prefix made in $((SECONDS - start)) s"
target="$prefix/drive_c/Program Files/Kestrel"
menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kestrel"
registry_rows >"$work/rows-before"
check "no extension rows before the install" test ! -s "$work/rows-before"
if [[ -n $explorer_checks ]]; then
    mkdir -p "$shots"
    check "before the install, My Computer lists no device folder" not_listed_before_install
fi

check "installer /S" wine "$installer" /S
(tree "$stage"; echo uninstall.exe) | LC_ALL=C sort >"$work/expected"
if [[ -d $target ]]; then
    tree "$target" >"$work/installed"
    check "C:\\Program Files\\Kestrel holds the staged files and the uninstaller" \
        diff -u "$work/expected" "$work/installed"
else
    fail "nothing installed in C:\\Program Files\\Kestrel"
fi
check "Start-menu entry for the update tool" test -f "$menu/Kestrel firmware update.lnk"
registry_rows >"$work/rows"
sed 's/^/        /' "$work/rows"
check "DllRegisterServer's InprocServer32 row names the installed DLL" \
    bash -c 'grep -i -F -A4 -- "$1" "$2" | grep -q -i -F -- "$3"' _ "$key_server" "$prefix/system.reg" "$installed_server"
check "the extension is in My Computer's namespace" grep -q -i -F -- "$key_namespace" "$work/rows"
check "the uninstall entry" grep -q -i -F -- "$key_uninstall" "$work/rows"

if [[ -n $explorer_checks ]]; then
    echo "== wine's Explorer after the install"
    # Started only now: registry_rows waits for the wine server to end,
    # which a running device program would keep alive.
    start_device || explorer_checks=""
fi
if [[ -n $explorer_checks ]]; then
    printf 'notes on the card\r\n' >"$work/$device_file"
    installed_kestrel="C:\\Program Files\\Kestrel\\bin\\kestrel.exe"
    check "the installed kestrel.exe formats the device" in_wine "$installed_kestrel" format --label KESTREL
    check "the installed kestrel.exe puts $device_file on it" \
        in_wine "$installed_kestrel" put "$(winepath -w "$work/$device_file")" /
    check "the installed kestrel.exe lists $device_file on the device" \
        bash -c 'wine "$1" ls / </dev/null | grep -q -F -- "$2"' _ "$installed_kestrel" "$device_file"
    check "My Computer lists the device folder \"Kestrel\"" \
        explorer_probe "$shots/explorer-after-install.png" "My Computer" Kestrel 90
    stop_device
fi

echo "== silent uninstall"
check "uninstall.exe /S" wine "C:\\Program Files\\Kestrel\\uninstall.exe" /S
# The uninstaller runs from a copy of itself in the temporary folder: wait
# for it (and the wine server) to end.
registry_rows >"$work/rows-after"
check "no registry rows left" bash -c "! grep . '$work/rows-after'"
check "no installed file left" test ! -e "$target"
check "no Start-menu entry left" test ! -e "$menu"

if [[ $failures -gt 0 ]]; then
    echo "windows installer: $failures check(s) failed"
    exit 1
fi
echo "windows installer: all checks passed"
