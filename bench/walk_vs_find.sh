#!/bin/bash
# Compares the folder walker with "find DIR -type f | wc -l" on the same generated
# tree (100000 files in 1000 folders), in the same run, warm cache for both. The walker
# reports each file's size and time, which costs one lstat per file that find's plain
# listing does not make; so the run also times find printing size and time, and the
# walker with size and time switched off.
# Usage: bench/walk_vs_find.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
BENCH="$BUILD/walk_bench"
[ -x "$BENCH" ] || { echo "build first: $BENCH is missing" >&2; exit 1; }
REPEATS=7
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
TREE="$TMP/tree"
"$BENCH" make "$TREE" 1000 100000

# Warm the cache with one walk of each.
find "$TREE" -type f | wc -l >/dev/null
"$BENCH" walk "$TREE" 1 >/dev/null

best_find=""
best_findstat=""
for _ in $(seq $REPEATS); do
    t0=$(date +%s%N)
    count_find=$(find "$TREE" -type f | wc -l)
    t1=$(date +%s%N)
    find "$TREE" -type f -printf '%s %T@\n' | wc -l >/dev/null
    t2=$(date +%s%N)
    us=$(( (t1 - t0) / 1000 ))
    us2=$(( (t2 - t1) / 1000 ))
    if [ -z "$best_find" ] || [ "$us" -lt "$best_find" ]; then best_find=$us; fi
    if [ -z "$best_findstat" ] || [ "$us2" -lt "$best_findstat" ]; then best_findstat=$us2; fi
done
read -r count_walk walk_ms < <("$BENCH" walk "$TREE" $REPEATS)
read -r count_nostat nostat_ms < <("$BENCH" walk "$TREE" $REPEATS nostat)

find_ms=$(awk -v u="$best_find" 'BEGIN { printf "%.1f", u / 1000 }')
findstat_ms=$(awk -v u="$best_findstat" 'BEGIN { printf "%.1f", u / 1000 }')
echo "files: walker $count_walk (without size and time: $count_nostat), find $count_find"
echo "walker with size and time, best of $REPEATS: $walk_ms ms"
echo "walker without size/time,  best of $REPEATS: $nostat_ms ms"
echo "find -type f | wc -l,      best of $REPEATS: $find_ms ms"
echo "find printing size and time, best of $REPEATS: $findstat_ms ms"
awk -v w="$walk_ms" -v n="$nostat_ms" -v f="$find_ms" -v fs="$findstat_ms" 'BEGIN {
    printf "ratio walker/find: %.2f without size and time, %.2f with them\n", n / f, w / f
    printf "ratio walker/find, both with size and time: %.2f\n", w / fs }'
[ "$count_walk" = "$count_find" ] && [ "$count_nostat" = "$count_find" ] ||
    { echo "file counts differ" >&2; exit 1; }
