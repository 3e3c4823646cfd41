#!/bin/sh
# Listings and many-file copies through the kestrel tool, against a
# simulated 64 MB card served by kestrel-simd: host time (wall clock of the
# kestrel process), device requests and modelled device time (from
# kestrel-sim command ENDPOINT stats), medians over RUNS runs.
#
#   kestrel ls -l of folders of 100, 500 and 2,000 entries (half of them
#   with long names), beside an empty folder (the session's own cost); the
#   cost per entry is (figure - empty folder's) / entries. The same through
#   the device's file server (kestrel remote ls -l).
#   40 files of 3,000 bytes: one kestrel put of all 40, and 40 single puts
#   (skipped for a kestrel that takes one file per put).
# Host times are wall clock and suffer from a loaded machine; the
# processor time of kestrel-simd (Linux /proc) shows the device side's
# own work, which the request count does not (the file server's card reads
# cost no requests).
#
# The folders are made with mtools on a backup of the card, restored onto
# it (kestrel backup / restore), so that setting up 2,600 entries costs
# seconds. Figures only: nothing passes or fails.
#
# usage: bench/listing_bench.sh BIN_DIR [RUNS] [KESTREL]
#   BIN_DIR: a build's bin folder (kestrel-sim, kestrel-simd, kestrel);
#   KESTREL: another kestrel program to measure against the device
#   programs of BIN_DIR. For the figures of an older commit, give its own
#   build's bin folder: the device's file server is part of kestrel-simd.
set -eu
BIN=$(cd "$1" && pwd)
RUNS=${2:-5}
KESTREL=${3:-$BIN/kestrel}
export KESTREL_TIME_SCALE=${KESTREL_TIME_SCALE:-0.01}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/listing-bench.XXXXXX")
DAEMON=
cleanup() {
    [ -n "$DAEMON" ] && kill "$DAEMON" 2>/dev/null && wait "$DAEMON" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

"$BIN/kestrel-sim" create "$WORK/dev" --size 64M >/dev/null
"$BIN/kestrel-simd" "$WORK/dev" --listen tcp:127.0.0.1:0 --port-file "$WORK/port" >/dev/null 2>&1 &
DAEMON=$!
for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.1; done
KESTREL_SIM=$(cat "$WORK/port")
export KESTREL_SIM

"$BIN/kestrel" format >/dev/null
"$BIN/kestrel" backup "$WORK/card.img" >/dev/null
# The partition's first sector, from the partition table's first entry.
START=$(od -An -t u4 -j 454 -N 4 "$WORK/card.img" | tr -d ' ')
IMAGE="$WORK/card.img@@$((START * 512))"
mkdir -p "$WORK/files"
for n in 100 500 2000; do
    rm -f "$WORK/files/"*
    i=0
    while [ $i -lt $n ]; do
        if [ $((i % 2)) -eq 0 ]; then : >"$WORK/files/Picture number $i.jpg"; else : >"$WORK/files/F$i.TXT"; fi
        i=$((i + 1))
    done
    mmd -i "$IMAGE" "::/D$n"
    mcopy -i "$IMAGE" "$WORK/files/"* "::/D$n/"
done
mmd -i "$IMAGE" ::/EMPTY ::/ONE ::/MANY
"$BIN/kestrel" restore "$WORK/card.img" >/dev/null

stat_of() { "$BIN/kestrel-sim" command "$KESTREL_SIM" stats | sed -n "s/^$1 = //p"; }
now_us() { echo $(($(date +%s%N) / 1000)); }
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# The time and the counters a measurement reports, in its columns' order:
# the time taken next to the measured command (after the counters before
# it, before the counters after it).
# kestrel-simd's processor time in ms (user + system, in 10 ms ticks): the
# device's own work, which the file server's card reads are part of.
daemon_cpu_ms() { awk '{ print ($14 + $15) * 10 }' "/proc/$DAEMON/stat"; }
counters() { echo "$(stat_of requests) $(stat_of modelled_us) $(daemon_cpu_ms)"; }
snapshot_before() { c=$(counters); echo "$(now_us) $c"; }
snapshot_after() { t=$(now_us); echo "$t $(counters)"; }
# Appends the differences of two snapshots to $WORK/m.
record() { echo "$1 $2" | awk '{ print $5 - $1, $6 - $2, $7 - $3, $8 - $4 }' >>"$WORK/m"; }
# One measured command.
measure() {
    before=$(snapshot_before)
    "$@" >/dev/null
    record "$before" "$(snapshot_after)"
}

report() {
    printf '%-34s %12s %10s %14s %11s\n' "$1" "$(cut -d' ' -f1 "$WORK/m" | median | awk '{ printf "%.1f", $1 / 1000 }')" \
        "$(cut -d' ' -f2 "$WORK/m" | median)" "$(cut -d' ' -f3 "$WORK/m" | median | awk '{ printf "%.1f", $1 / 1000 }')" \
        "$(cut -d' ' -f4 "$WORK/m" | median)"
}

printf '%-34s %12s %10s %14s %11s\n' "median of $RUNS runs" "host ms" "requests" "modelled ms" "simd cpu ms"
for d in EMPTY D100 D500 D2000; do
    rm -f "$WORK/m"
    for _ in $(seq "$RUNS"); do measure "$KESTREL" ls -l "/$d"; done
    report "kestrel ls -l /$d"
done
# The device's own file server (main firmware), listing the same folders.
for d in EMPTY D100 D500 D2000; do
    rm -f "$WORK/m"
    for _ in $(seq "$RUNS"); do measure "$KESTREL" remote ls -l "/$d"; done
    report "kestrel remote ls -l /$d"
done

i=0
while [ $i -lt 40 ]; do head -c 3000 /dev/urandom >"$WORK/files/P$i.JPG"; i=$((i + 1)); done
rm -f "$WORK/m"
if "$KESTREL" put "$WORK/files/P0.JPG" "$WORK/files/P1.JPG" /MANY >/dev/null 2>&1; then
    "$KESTREL" rm /MANY/P0.JPG /MANY/P1.JPG >/dev/null
    measure "$KESTREL" put "$WORK/files/"P*.JPG /MANY
    report "kestrel put of 40 files"
else
    echo "kestrel put of 40 files: this kestrel takes one file per put"
fi
rm -f "$WORK/m"
i=0
before=$(snapshot_before)
while [ $i -lt 40 ]; do "$KESTREL" put "$WORK/files/P$i.JPG" /ONE >/dev/null; i=$((i + 1)); done
record "$before" "$(snapshot_after)"
report "40 single kestrel puts"
