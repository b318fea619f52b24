#!/bin/bash
# The terminal run on many small files: `kelvane-cli shred` against
# `find DIR -type f -exec shred -n 3 -u {} +` on the same tree (files of 4 KiB, 100
# to a folder, 100 folders to a group), the same passes, one after the other in
# this run, and the peak memory (maximum resident set) of the terminal run on
# larger trees. Both shred with their own defaults otherwise; kelvane-cli also
# removes the emptied folders, which shred leaves (they are removed untimed).
#
# usage: bench/cli_vs_shred.sh [DIR=/var/tmp] [TIME_COUNTS="10000 100000"] [PEAK_COUNTS="100000"]
# Everything is written below a fresh temporary folder of DIR and removed at the
# end; a tree of N files takes about N * 4 KiB (a million: 4 GiB). The peak runs
# use one pass (memory does not depend on the passes) with the report on, as by
# default; the report each leaves is then checked with verify-report, timed, with
# its peak memory too.
set -eu
DIR=${1:-/var/tmp}
TIME_COUNTS=${2-10000 100000}
PEAK_COUNTS=${3-100000}
HERE=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$HERE/build}
CLI=$BUILD/kelvane-cli
[ -x "$CLI" ] || { echo "build first: $CLI is missing" >&2; exit 1; }
CLI=$(cd "$(dirname "$CLI")" && pwd)/kelvane-cli  # the runs below start in WORK
command -v shred >/dev/null || { echo "shred (coreutils) is missing" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing" >&2; exit 1; }

WORK=$(mktemp -d "$DIR/kelvane-cli-XXXXXX")
[ -n "$WORK" ] && [ -d "$WORK" ] || { echo "no temporary folder in $DIR" >&2; exit 1; }
cd "$WORK"
trap 'cd / && rm -rf "$WORK"' EXIT
export XDG_CONFIG_HOME=$WORK/config

calc() { awk "BEGIN { printf \"%.3f\", $1 }"; }
now() { date +%s.%N; }

# make_tree NAME COUNT: COUNT files of 4 KiB below ./NAME, on the device.
make_tree() {
    python3 - "$1" "$2" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
block = os.urandom(4096)
for i in range(count):
    folder = "%s/g%d/d%d" % (root, i // 10000, i // 100)
    if i % 100 == 0:
        os.makedirs(folder)
    with open("%s/f%d" % (folder, i), "wb") as f:
        f.write(block)
PY
    sync
}

echo "terminal run on $WORK ($(stat -f -c %T "$WORK")), files of 4 KiB, 3 passes"
for n in $TIME_COUNTS; do
    make_tree k "$n"
    t0=$(now)
    "$CLI" shred -y -q -n 3 ./k
    tk=$(calc "$(now) - $t0")
    [ ! -e k ] || echo "warning: kelvane-cli left entries" >&2
    rm -rf k
    make_tree s "$n"
    t0=$(now)
    find ./s -type f -exec shred -n 3 -u {} +
    ts=$(calc "$(now) - $t0")
    rm -rf s
    printf '%8d files: kelvane-cli %8.3f s, find -exec shred %8.3f s, ratio %.3f\n' \
        "$n" "$tk" "$ts" "$(calc "$tk / $ts")"
done
for n in $PEAK_COUNTS; do
    make_tree p "$n"
    t0=$(now)
    peak=$(/usr/bin/time -f %M "$CLI" shred -y -q -n 1 ./p 2>&1 >/dev/null | tail -1)
    printf '%8d files: peak memory %s KiB (%.0f s, 1 pass)\n' "$n" "$peak" "$(calc "$(now) - $t0")"
    [ ! -e p ] || echo "warning: kelvane-cli left entries" >&2
    rm -rf p
    report=$(ls -t "$WORK"/config/Tessarin/Kelvane/Reports/*.json 2>/dev/null | head -1)
    if [ -n "$report" ]; then
        t0=$(now)
        verdict=$(/usr/bin/time -o "$WORK/verify-peak" -f %M "$CLI" verify-report "$report" |
            sed -n "1s/:.*//p") || true
        printf '%8d files: report %s bytes, verify-report %s in %.1f s, peak memory %s KiB\n' \
            "$n" "$(stat -c %s "$report")" "$verdict" "$(calc "$(now) - $t0")" \
            "$(cat "$WORK/verify-peak")"
        rm -f "$report"
    fi
done
