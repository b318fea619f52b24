#!/bin/bash
# Compares the folder walker with "find DIR -type f | wc -l" on the same generated
# tree (100000 files in 1000 folders), in the same run, warm cache for both.
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
for _ in $(seq $REPEATS); do
    t0=$(date +%s%N)
    count_find=$(find "$TREE" -type f | wc -l)
    t1=$(date +%s%N)
    ms=$(( (t1 - t0) / 1000 ))
    if [ -z "$best_find" ] || [ "$ms" -lt "$best_find" ]; then best_find=$ms; fi
done
read -r count_walk walk_ms < <("$BENCH" walk "$TREE" $REPEATS)
read -r count_nostat nostat_ms < <("$BENCH" walk "$TREE" $REPEATS nostat)

find_ms=$(awk -v u="$best_find" 'BEGIN { printf "%.1f", u / 1000 }')
echo "files: walker $count_walk (without size and time: $count_nostat), find $count_find"
echo "walker with size and time, best of $REPEATS: $walk_ms ms"
echo "walker without size/time,  best of $REPEATS: $nostat_ms ms"
echo "find -type f | wc -l,      best of $REPEATS: $find_ms ms"
awk -v w="$walk_ms" -v n="$nostat_ms" -v f="$find_ms" \
    'BEGIN { printf "ratio walker/find: %.2f with size and time, %.2f without\n", w / f, n / f }'
[ "$count_walk" = "$count_find" ] && [ "$count_nostat" = "$count_find" ] ||
    { echo "file counts differ" >&2; exit 1; }
