#!/bin/bash
# The cost of "Verify the last pass" on one file: the same file shredded without
# and with the read-back and extent check, one run each, on the file system of DIR.
#
# usage: bench/verify_cost.sh [SIZE_MIB=256] [PASSES=1] [DIR=/var/tmp]
# Needs a built tree; BUILD=... picks another build folder.
set -euo pipefail
SIZE_MIB=${1:-256}
PASSES=${2:-1}
DIR=${3:-/var/tmp}
HERE=$(cd "$(dirname "$0")/.." && pwd)
BENCH=${BUILD:-$HERE/build}/verify_bench
[ -x "$BENCH" ] || { echo "build first: $BENCH is missing" >&2; exit 1; }
WORK=$(mktemp -d "$DIR/kelvane-verify-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
echo "file system: $(stat -f -c %T "$DIR"), $SIZE_MIB MiB, $PASSES pass(es)"
"$BENCH" "$WORK/target" "$SIZE_MIB" "$PASSES"
