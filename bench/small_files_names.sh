#!/bin/bash
# Many small files, before and after a change, in one run: COUNT files of 4 KiB in
# 30 folders, 3 passes, names scrambled (the default), deleted by an earlier
# kelvane, by this one and by `find -exec shred -n 3 -u {} +`, each on a fresh
# tree below a temporary folder of DIR; prints each time and kelvane/shred.
# Needs a built tree. Usage: bench/small_files_names.sh OLD_KELVANE [DIR=/var/tmp] [COUNT=3000]
set -euo pipefail
OLD=$(readlink -f "$1")
DIR=${2:-/var/tmp}
COUNT=${3:-3000}
HERE=$(cd "$(dirname "$0")/.." && pwd)
NEW=${BUILD:-$HERE/build}/kelvane
[ -x "$OLD" ] && [ -x "$NEW" ] || { echo "kelvane binaries missing" >&2; exit 1; }
WORK=$(mktemp -d "$DIR/kelvane-smallnames-XXXXXX")
[ -n "$WORK" ] && [ -d "$WORK" ] || exit 1
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
unset DISPLAY WAYLAND_DISPLAY
export XDG_CONFIG_HOME=$WORK/config
mkdir -p "$XDG_CONFIG_HOME/Tessarin/Kelvane"
printf '<?xml version="1.0" encoding="utf-8"?>\r\n<InitFile>\r\n  <Confirm>0</Confirm>\r\n  <Iterations>3</Iterations>\r\n</InitFile>\r\n' \
    >"$XDG_CONFIG_HOME/Tessarin/Kelvane/Kelvane.ini"
head -c 4096 /dev/urandom >"$WORK/block"
make_tree() {
    for d in $(seq 0 29); do mkdir -p "$WORK/t/d$d"; done
    for i in $(seq 0 $((COUNT - 1))); do cp "$WORK/block" "$WORK/t/d$((i % 30))/f$i"; done
    sync
}
timed() { local t0; t0=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; sync; awk "BEGIN{printf \"%.2f\", $(date +%s.%N)-$t0}"; }
make_tree; to=$(timed "$OLD" -exec "$WORK/t"); rm -rf "$WORK/t"
make_tree; tn=$(timed "$NEW" -exec "$WORK/t"); rm -rf "$WORK/t"
make_tree; ts=$(timed find "$WORK/t" -type f -exec shred -n 3 -u {} +); rm -rf "$WORK/t"
echo "$COUNT files on $DIR ($(stat -f -c %T "$DIR")): kelvane before ${to}s, after ${tn}s, find+shred ${ts}s"
awk "BEGIN{printf \"ratio to shred: before %.3f, after %.3f\n\", $to/$ts, $tn/$ts}"
