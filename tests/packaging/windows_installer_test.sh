#!/usr/bin/env bash
# The Windows packages of a built win64 tree, under wine in a fresh prefix of
# their own:
#  1. the targets installer and zip; the zip holds exactly the staged files;
#  2. the installer, run with /S, puts down every staged file in
#     C:\Program Files\Kestrel, registers the namespace extension (its CLSID
#     and My Computer rows), the Start-menu entry and the uninstall entry;
#  3. the uninstaller, run with /S, leaves none of those files, rows or
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
    if [[ -d $prefix ]]; then
        wineserver -k >/dev/null 2>&1
        timeout 10 wineserver -w >/dev/null 2>&1
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

pass() { echo "  ok    $1"; }
fail() { echo "  FAIL  $1"; failures=$((failures + 1)); }

check() {
    local name=$1 output
    shift
    if output=$("$@" 2>&1); then
        pass "$name"
    else
        fail "$name"
        printf '%s\n' "$output" | tail -n 20 | sed 's/^/        /'
        return 1
    fi
}

tree() { (cd "$1" && find . -mindepth 1 -type f | sed 's|^\./||' | LC_ALL=C sort); }

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
