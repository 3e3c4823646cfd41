#!/usr/bin/env bash
# The Linux installation and its Debian package, from a built native tree:
#  1. cmake --install into a staging folder holds exactly expected-linux.txt;
#  2. a C program built against the staged oryx.h and liboryx.so through
#     pkg-config runs against a simulated device served by the staged
#     kestrel-simd (which finds nothing of the build tree); a CMake project
#     finds the library with find_package(oryx); the staged bash completion
#     completes kestrel's commands;
#  3. cpack -G DEB; dpkg-deb -c; lintian (errors fail, warnings are shown);
#     dpkg -i; kestrel --help and man -w kestrel from the installed files;
#     dpkg -r leaves none of the package's files behind.
# Step 3 is skipped with a message where dpkg-deb, lintian or root are
# missing (scripts/setup installs lintian and man-db).
#
#   tests/packaging/linux_packaging_test.sh BUILD_DIR
#
# Prints one line per check; exits 0 when all passed.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$(cd "${1:?usage: linux_packaging_test.sh BUILD_DIR}" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-packaging.XXXXXX")
stage=$work/stage
daemon_pid=""
package_installed=""
failures=0

cleanup() {
    if [[ -n $daemon_pid ]]; then
        kill "$daemon_pid" 2>/dev/null
        wait "$daemon_pid" 2>/dev/null
    fi
    if [[ -n $package_installed ]]; then
        dpkg --purge kestrel >/dev/null 2>&1
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM


source "$(dirname "${BASH_SOURCE[0]}")/check_helpers.sh"


export KESTREL_TIME_SCALE=${KESTREL_TIME_SCALE:-0.01}
multiarch=$(gcc -print-multiarch 2>/dev/null || dpkg-architecture -qDEB_HOST_MULTIARCH)

# --- 1. the staged tree -------------------------------------------------------
echo "== staged installation"
if check "cmake --install into a staging folder" cmake --install "$build" --prefix "$stage"; then
    sed "s|@MULTIARCH@|$multiarch|g" "$here/expected-linux.txt" | grep -v '^#' | LC_ALL=C sort >"$work/expected"
    tree "$stage" >"$work/actual"
    check "the staged tree holds exactly expected-linux.txt" diff -u "$work/expected" "$work/actual"
fi

# --- 2. a client of the staged library ----------------------------------------
echo "== a C program against the staged library"
export PKG_CONFIG_PATH=$stage/lib/$multiarch/pkgconfig
client_built=""
if check "pkg-config finds oryx" pkg-config --exists oryx &&
   check "cc oryx_client.c \$(pkg-config --cflags --libs oryx)" \
       bash -c "cc -std=c11 -Wall -Werror -o '$work/oryx_client' '$here/oryx_client.c' \$(pkg-config --cflags --libs oryx)"; then
    client_built=1
fi
check "the staged bash completion completes kestrel's commands" \
    env LD_LIBRARY_PATH="$stage/lib/$multiarch" "$here/completion_check.sh" \
        "$stage/share/bash-completion/completions/kestrel" "$stage/bin/kestrel"
check "find_package(oryx) in a CMake project builds the client" \
    bash -c "cmake -S '$here/find_package' -B '$work/find_package' -DCMAKE_PREFIX_PATH='$stage' &&
             cmake --build '$work/find_package'"
if [[ -n $client_built ]]; then
    device=$work/device
    if check "kestrel-sim create" "$stage/bin/kestrel-sim" create "$device" --size 16M; then
        "$stage/bin/kestrel-simd" "$device" --listen tcp:127.0.0.1:0 --port-file "$work/port" \
            >"$work/simd.log" 2>&1 &
        daemon_pid=$!
        for _ in $(seq 100); do
            [[ -s $work/port ]] && break
            sleep 0.05
        done
        if [[ -s $work/port ]]; then
            check "the client runs against the simulated device" \
                env KESTREL_SIM="$(cat "$work/port")" LD_LIBRARY_PATH="$stage/lib/$multiarch" "$work/oryx_client"
            check "the staged kestrel-sim demo finds the installed firmware" \
                "$stage/bin/kestrel-sim" demo "$(cat "$work/port")"
        else
            fail "kestrel-simd did not start: $(cat "$work/simd.log")"
        fi
        kill "$daemon_pid" 2>/dev/null
        wait "$daemon_pid" 2>/dev/null
        daemon_pid=""
    fi
fi

# --- 3. the Debian package ----------------------------------------------------
echo "== Debian package"
missing=()
for tool in cpack dpkg-deb dpkg-shlibdeps lintian; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if [[ ${#missing[@]} -gt 0 ]]; then
    skip "Debian package: missing ${missing[*]} (scripts/setup installs them)"
else
    rm -f "$build"/package/kestrel_*.deb
    if check "cpack -G DEB" cpack -G DEB --config "$build/CPackConfig.cmake" -B "$build/package"; then
        deb=$(ls "$build"/package/kestrel_*.deb)
        echo "        $(basename "$deb"): $(stat -c %s "$deb") bytes"
        dpkg-deb -c "$deb" >"$work/contents"
        check "dpkg-deb -c lists liboryx.so.0 in /usr/lib/$multiarch" \
            grep -q " \./usr/lib/$multiarch/liboryx\.so\.0 -> " "$work/contents"
        check "dpkg-deb -c: nothing outside /usr" bash -c "! awk '{print \$6}' '$work/contents' | grep -v '^\./usr/' | grep -v '^\./\$'"
        check "the package depends on libc6 and libstdc++6 (computed)" \
            bash -c "dpkg-deb -f '$deb' Depends | grep -q libc6 && dpkg-deb -f '$deb' Depends | grep -q libstdc++6"
        lintian --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1
        sed 's/^/        lintian: /' "$work/lintian"
        check "lintian reports no error" bash -c "! grep -q '^E: ' '$work/lintian'"

        if [[ $(id -u) -ne 0 ]]; then
            skip "dpkg -i / dpkg -r: not root"
        elif dpkg-query -W -f='${db:Status-Abbrev}' kestrel 2>/dev/null | grep -q '^ii'; then
            skip "dpkg -i / dpkg -r: a kestrel package is installed already; it is left alone"
        elif check "dpkg -i" dpkg -i "$deb"; then
            package_installed=1
            dpkg -L kestrel >"$work/files"
            check "kestrel --help from /usr/bin" bash -c "/usr/bin/kestrel --help | grep -q '^usage: kestrel'"
            check "the installed kestrel formats a simulated card (library and firmware from the package)" \
                bash -c "/usr/bin/kestrel-sim create '$work/installed-device' --size 16M &&
                         /usr/bin/kestrel --sim '$work/installed-device' format --label INSTALLED &&
                         /usr/bin/kestrel --sim '$work/installed-device' info | grep -q INSTALLED"
            check "man -w kestrel finds the installed page" \
                bash -c "[[ \$(man -w kestrel) == /usr/share/man/man1/kestrel.1.gz ]]"
            check "man -w 3 oryx" bash -c "[[ \$(man -w 3 oryx) == /usr/share/man/man3/oryx.3.gz ]]"
            check "dpkg -r" dpkg -r kestrel && package_installed=""
            left=()
            while IFS= read -r path; do
                [[ -e $path && ! -d $path ]] && left+=("$path")
            done <"$work/files"
            if [[ ${#left[@]} -eq 0 && -z $(dpkg-query -W -f='${db:Status-Abbrev}' kestrel 2>/dev/null | grep '^ii') ]]; then
                pass "dpkg -r left none of the $(grep -c . "$work/files") listed paths behind"
            else
                fail "dpkg -r left behind: ${left[*]}"
            fi
            # dpkg keeps a removed package's record until it is purged.
            dpkg --purge kestrel >/dev/null 2>&1
        fi
    fi
fi

if [[ $failures -gt 0 ]]; then
    echo "packaging: $failures check(s) failed"
    exit 1
fi
echo "packaging: all checks passed"
