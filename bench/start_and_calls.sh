#!/bin/bash
# Two costs that no sync hides, measured on a tmpfs of its own:
#   1. start-up: an unattended run of one empty file, median of ROUNDS, for
#      `kelvane -exec F` (no display) and `kelvane-cli shred -y -q F`, against
#      `shred -u F` as the floor of doing the same with a process start
#   2. system calls per small file: `kelvane-cli shred -y -q -n 1` on FILES empty
#      files in one folder under `strace -c -f`, the calls per file, in all and
#      by kind (the most frequent first)
#   3. with TIME_FILES set (say 100000): that many empty files in folders of 1,000,
#      1 pass, `kelvane-cli shred -y -q -n 1` against `find -exec shred -n 1 -u {} +`
#      (ratio below 1: kelvane-cli was faster)
# Runs in a mount namespace of its own (unshare -m), so the tmpfs is seen by no
# other process and goes with it. Needs root.
#
# usage: bench/start_and_calls.sh [ROUNDS=5] [FILES=2000]
# BUILD (environment): the build folder (default: build next to this script).
set -eu
ROUNDS=${1:-5}
FILES=${2:-2000}
HERE=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$HERE/build}
BUILD=$(cd "$BUILD" && pwd)
if [ -z "${KELVANE_BENCH_UNSHARED:-}" ]; then
    exec env KELVANE_BENCH_UNSHARED=1 BUILD="$BUILD" TIME_FILES="${TIME_FILES:-}" \
        unshare -m --propagation private "$0" "$ROUNDS" "$FILES"
fi
CLI=$BUILD/kelvane-cli
KELVANE=$BUILD/kelvane
[ -x "$CLI" ] || { echo "build first: $CLI is missing" >&2; exit 1; }
command -v strace >/dev/null || { echo "strace is missing" >&2; exit 1; }

WORK=$(mktemp -d /tmp/kelvane-start-XXXXXX)
[ -n "$WORK" ] && [ -d "$WORK" ] || { echo "no temporary folder" >&2; exit 1; }
mkdir "$WORK/t"
mount -t tmpfs -o size=1g,mode=0700 kelvane-bench "$WORK/t"
trap 'umount "$WORK/t" 2>/dev/null || true; rm -rf "$WORK"' EXIT
T=$WORK/t
unset DISPLAY WAYLAND_DISPLAY
export XDG_CONFIG_HOME=$T/config
mkdir -p "$XDG_CONFIG_HOME/Tessarin/Kelvane"
printf '<?xml version="1.0" encoding="utf-8"?>\r\n<InitFile>\r\n  <Confirm>0</Confirm>\r\n  <Iterations>1</Iterations>\r\n</InitFile>\r\n' \
    >"$XDG_CONFIG_HOME/Tessarin/Kelvane/Kelvane.ini"

calc() { awk "BEGIN { printf \"%.3f\", $1 }"; }
now() { date +%s.%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# one_file CMD...: seconds of one run on a fresh empty file $T/one, median of ROUNDS.
one_file() {
    local r t0
    for r in $(seq 1 "$ROUNDS"); do
        : >"$T/one"
        t0=$(now)
        "$@" "$T/one" >/dev/null 2>&1 || true
        calc "$(now) - $t0"
        echo
        [ ! -e "$T/one" ] || echo "warning: $* left the file" >&2
    done | median
}

echo "== 1. one empty file on tmpfs, median of $ROUNDS"
tc=$(one_file "$CLI" shred -y -q)
ts=$(one_file shred -u)
if [ -x "$KELVANE" ]; then
    tk=$(one_file "$KELVANE" -exec)
    printf 'kelvane -exec: %.3f s\n' "$tk"
fi
printf 'kelvane-cli shred -y -q: %.3f s\nshred -u: %.3f s\n' "$tc" "$ts"

echo "== 2. system calls per file: $FILES empty files in one folder, 1 pass"
mkdir "$T/calls"
(cd "$T/calls" && seq -f 'empty-file-%06g' 1 "$FILES" | xargs touch)
strace -c -f -o "$WORK/calls" "$CLI" shred -y -q -n 1 "$T/calls" >/dev/null 2>&1 || true
[ ! -e "$T/calls" ] || echo "warning: kelvane-cli left $T/calls" >&2
# The table: % time, seconds, usecs/call, calls, [errors], syscall.
awk -v n="$FILES" '
    /^[ ]*[0-9.]+ +[0-9.]+ +[0-9]+ +[0-9]+/ {
        name = $NF; calls = $4
        if (name == "total") total = calls; else if (calls / n >= 0.5) printf "  %-16s %6.2f a file\n", name, calls / n
    }
    END { printf "all calls: %.2f a file (%d in all)\n", total / n, total }' "$WORK/calls" | sort -k2 -n -r

if [ -n "${TIME_FILES:-}" ]; then
    echo "== 3. $TIME_FILES empty files in folders of 1,000, 1 pass"
    make() {
        python3 - "$1" "$TIME_FILES" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    folder = "%s/d%d" % (root, i // 1000)
    if i % 1000 == 0:
        os.makedirs(folder)
    os.close(os.open("%s/f%d" % (folder, i), os.O_CREAT | os.O_WRONLY, 0o600))
PY
    }
    make "$T/k"
    t0=$(now)
    "$CLI" shred -y -q -n 1 "$T/k" >/dev/null 2>&1 || true
    tk=$(calc "$(now) - $t0")
    [ ! -e "$T/k" ] || echo "warning: kelvane-cli left $T/k" >&2
    make "$T/s"
    t0=$(now)
    find "$T/s" -type f -exec shred -n 1 -u {} +
    tf=$(calc "$(now) - $t0")
    rm -rf "$T/s"
    printf 'kelvane-cli %.3f s, find -exec shred %.3f s, ratio %.3f\n' "$tk" "$tf" "$(calc "$tk / $tf")"
fi
