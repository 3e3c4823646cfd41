#!/usr/bin/env bash
# The 32-bit Windows packages of a built win32 tree. Its programs cannot run
# on this host (no 32-bit wine), so the installer is looked at from outside:
#  1. the targets installer and zip build; their names and sizes;
#  2. 7z unpacks the installer's payload: exactly the staged files, and the
#     uninstaller;
#  3. every program and DLL in the installer, the installer included, is a
#     32-bit x86 PE file (none is the x86-64 build's), and the zip holds the
#     same files as the installer.
# Skipped with a message where makensis or 7z is missing.
#
#   tests/packaging/win32_installer_check.sh BUILD_DIR
set -uo pipefail

build=$(cd "${1:?usage: win32_installer_check.sh BUILD_DIR}" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-win32-installer.XXXXXX")
failures=0
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM


source "$(dirname "${BASH_SOURCE[0]}")/check_helpers.sh"


# pe_kind FILE: "i386" for a 32-bit x86 PE file, "x86-64" for a 64-bit one,
# else what the PE header's machine field holds (or "not PE").
pe_kind() {
    local pe machine
    pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
    [[ -n $pe && $(head -c2 "$1") == MZ ]] || { echo "not PE"; return; }
    [[ $(od -An -c -j"$pe" -N4 "$1" | tr -d ' ') == 'PE\0\0' ]] || { echo "not PE"; return; }
    machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$1" | tr -d ' ')
    case $machine in
        014c) echo i386 ;;
        8664) echo x86-64 ;;
        *) echo "machine 0x$machine" ;;
    esac
}

# all_i386 FOLDER: every .exe and .dll below FOLDER is a 32-bit x86 PE file;
# an empty FOLDER fails.
all_i386() {
    local file count=0 wrong=0
    while IFS= read -r -d '' file; do
        count=$((count + 1))
        local kind
        kind=$(pe_kind "$file")
        if [[ $kind != i386 ]]; then
            echo "${file#"$1"/}: $kind"
            wrong=$((wrong + 1))
        fi
    done < <(find "$1" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
    echo "$count program(s) and DLL(s)"
    [[ $count -gt 0 && $wrong -eq 0 ]]
}

for tool in makensis 7z; do
    if ! command -v "$tool" >/dev/null; then
        echo "  skip  the win32 installer: $tool is missing (scripts/setup installs it)"
        exit 0
    fi
done

echo "== win32 packages"
if ! check "cmake --build: installer and zip" cmake --build "$build" --target installer zip; then
    exit 1
fi
installer=$(ls "$build"/package/kestrel-*-win32-setup.exe)
zip=$(ls "$build"/package/kestrel-*-win32.zip)
echo "        $(basename "$installer"): $(stat -c %s "$installer") bytes"
echo "        $(basename "$zip"): $(stat -c %s "$zip") bytes"
check "the installer itself is a 32-bit x86 program" test "$(pe_kind "$installer")" = i386

stage=$build/package/stage
tree "$stage" >"$work/staged"
check "the x86 build's programs are staged" all_i386 "$stage"

# 7z unpacks the payload as it lands in the installation folder, with the
# uninstaller the installer writes there (and NSIS's own plug-ins, if any).
mkdir "$work/payload"
if check "7z x of the installer" 7z x -y -o"$work/payload" "$installer"; then
    tree "$work/payload" | grep -v -e '^uninstall\.exe$' -e '^\$PLUGINSDIR/' >"$work/carried"
    check "the installer carries exactly the staged files" diff -u "$work/staged" "$work/carried"
    check "the installer carries its uninstaller" test -f "$work/payload/uninstall.exe"
    check "every program and DLL it carries is 32-bit x86" all_i386 "$work/payload"
fi
unzip -Z1 "$zip" | grep -v '/$' | LC_ALL=C sort >"$work/zipped"
check "the zip holds exactly the staged files" diff -u "$work/staged" "$work/zipped"

if [[ $failures -gt 0 ]]; then
    echo "win32 installer: $failures check(s) failed"
    exit 1
fi
echo "win32 installer: all checks passed"
