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
    share/file-manager/actions/kelvane-shred.desktop \
    bin/kelvane-cli share/man/man1/kelvane.1.gz share/man/man1/kelvane-cli.1.gz \
    share/doc/kelvane/changelog.Debian.gz share/doc/kelvane-cli/changelog.Debian.gz \
    share/doc/kelvane-cli/copyright share/kelvane/kelvane-report-2.schema.json \
    share/kelvane/kelvane-cli-events.schema.json \
    share/bash-completion/completions/kelvane-cli share/zsh/vendor-completions/_kelvane-cli \
    share/fish/vendor_completions.d/kelvane-cli.fish; do
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
cli_version=$("$prefix/bin/kelvane-cli" --version 2>&1) || fail "kelvane-cli --version: $cli_version"

# The per-user step for Nautilus and Thunar: added once however often it runs,
# another action of the user's kept, and --remove gives back the file as it was.
home=$scratch/home
mkdir -p "$home/.config/Thunar" "$scratch/fakebin"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<actions>\n<action>\n\t<name>Mine</name>\n\t<unique-id>1-1</unique-id>\n</action>\n</actions>\n' \
    >"$home/.config/Thunar/uca.xml"
cp "$home/.config/Thunar/uca.xml" "$scratch/uca.orig"
# Without a terminal the script also tells the desktop; not this machine's desktop.
printf '#!/bin/sh\n' >"$scratch/fakebin/notify-send"
chmod +x "$scratch/fakebin/notify-send"
add="$prefix/bin/kelvane-add-to-file-manager"
for _ in 1 2; do
    env -u XDG_CONFIG_HOME -u XDG_DATA_HOME PATH="$scratch/fakebin:$PATH" HOME="$home" LANG=C \
        "$add" >/dev/null </dev/null ||
        fail "kelvane-add-to-file-manager"
done
uca=$home/.config/Thunar/uca.xml
[ "$(grep -c '<unique-id>kelvane-shred</unique-id>' "$uca")" = 1 ] || fail "Thunar action not added once"
grep -q '<unique-id>1-1</unique-id>' "$uca" || fail "the user's own Thunar action was lost"
grep -q '<command>kelvane %F</command>' "$uca" || fail "Thunar action does not pass the selection"
script="$home/.local/share/nautilus/scripts/Shred with Kelvane"
# Nautilus hands over names relative to the folder shown; the program gets them whole.
# shellcheck disable=SC2016 # the fake program's own $a
printf '#!/bin/sh\nfor a do echo "[$a]"; done\n' >"$scratch/fakebin/kelvane"
chmod +x "$scratch/fakebin/kelvane"
got=$(cd "$scratch" && PATH="$scratch/fakebin:$PATH" "$script" "a b.txt" /abs/c -exec) ||
    fail "Nautilus script"
[ "$got" = "$(printf '[%s/a b.txt]\n[/abs/c]\n[%s/-exec]' "$scratch" "$scratch")" ] ||
    fail "Nautilus script passed: $got"
env -u XDG_CONFIG_HOME -u XDG_DATA_HOME PATH="$scratch/fakebin:$PATH" HOME="$home" LANG=C \
    "$add" --remove >/dev/null </dev/null
cmp -s "$uca" "$scratch/uca.orig" || fail "--remove did not restore uca.xml"
[ ! -e "$script" ] || fail "--remove left the Nautilus script"
finish
