#!/bin/sh
# "cmake --install" into a scratch prefix lays out the program the Linux way, and
# the installed program runs headless and finds its language files.
# usage: check-install.sh <cmake> <build folder> <app id>
set -u
. "$(dirname "$0")/common.sh"
cmake=$1
build=$2
id=$3
prefix=$scratch/usr

"$cmake" --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log"; fail "cmake --install"; finish; }

for f in bin/kelvane bin/kelvane-add-to-file-manager \
    share/kelvane/Kelvane_Languages.ini share/kelvane/Kelvane_English.lng \
    share/kelvane/Kelvane_German.lng share/kelvane/Kelvane_French.lng \
    share/kelvane/Kelvane_English.html share/kelvane/Kelvane_German.html \
    share/kelvane/Kelvane_French.html share/kelvane/Kelvane_License.txt \
    share/kelvane/Kelvane_ReadMe.txt share/doc/kelvane/copyright \
    "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml" \
    "share/icons/hicolor/scalable/apps/$id.svg" \
    share/kio/servicemenus/kelvane-shred.desktop share/nemo/actions/kelvane-shred.nemo_action \
    share/file-manager/actions/kelvane-shred.desktop; do
    expect_file "$prefix/$f"
done
for size in 16 22 24 32 48 64 128 256; do
    png=$prefix/share/icons/hicolor/${size}x$size/apps/$id.png
    expect_file "$png"
    # The PNG header's width and height, big-endian at bytes 16..23.
    dims=$(od -An -tu1 -j16 -N8 "$png" 2>/dev/null |
        awk '{ for (i = 1; i <= NF; ++i) { v = v * 256 + $i; if (i % 4 == 0) { printf "%s%d", s, v; s = "x"; v = 0 } } }')
    [ "$dims" = "${size}x$size" ] || fail "$png is ${dims:-unreadable}, not ${size}x$size"
done
[ -x "$prefix/bin/kelvane" ] || fail "bin/kelvane not executable"
[ -x "$prefix/share/kio/servicemenus/kelvane-shred.desktop" ] ||
    fail "Dolphin ignores a per-user service menu without the executable bit"
# Nothing of the build folder's layout leaks into the tree.
[ ! -e "$prefix/lib/kelvane" ] || fail "old layout lib/kelvane installed"
[ ! -e "$prefix/bin/Kelvane_Languages.ini" ] || fail "data next to bin/kelvane"

check_headless_run "$prefix/bin/kelvane"
finish
