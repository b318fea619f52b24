#!/bin/sh
# The desktop entry and the AppStream data pass the freedesktop validators; the
# file-manager actions hand the selected paths to the program.
# usage: check-desktop-files.sh <generated packaging folder> <app id>
set -u
. "$(dirname "$0")/common.sh"
gen=$1
id=$2

desktop-file-validate "$gen/$id.desktop" || fail "desktop-file-validate $id.desktop"
appstreamcli validate --no-net "$gen/$id.metainfo.xml" || fail "appstreamcli validate"

for key in 'Exec=kelvane %F' 'Comment[de]=' 'Comment[fr]=' 'GenericName[de]=' \
    'GenericName[fr]=' 'Keywords=' 'Keywords[de]=' 'Keywords[fr]=' "Icon=$id"; do
    grep -qF "$key" "$gen/$id.desktop" || fail "$id.desktop lacks $key"
done
grep -q '<screenshots>' "$gen/$id.metainfo.xml" || fail "metainfo without screenshots"

for action in "$gen/kio/kelvane-shred.desktop" "$gen/kelvane-shred.nemo_action" \
    "$gen/file-manager/kelvane-shred.desktop"; do
    grep -qx 'Exec=kelvane %F' "$action" || fail "$action does not pass the selection"
    grep -q '^Name\[de\]=' "$action" || fail "$action has no German name"
done
# Folders too, not only files.
grep -qx 'MimeType=all/all;' "$gen/kio/kelvane-shred.desktop" || fail "Dolphin: folders left out"
grep -qx 'Extensions=any;' "$gen/kelvane-shred.nemo_action" || fail "Nemo: folders left out"
grep -qx 'MimeTypes=all/all;' "$gen/file-manager/kelvane-shred.desktop" ||
    fail "Caja: folders left out"
# In Dolphin's trash: the whole trash, whatever is selected there.
trash="$gen/kio/kelvane-shred-trash.desktop"
grep -qx 'X-KDE-Protocols=trash' "$trash" || fail "Dolphin: the trash action is not for the trash"
grep -qx 'Exec=kelvane -trash --ask' "$trash" || fail "Dolphin: the trash action does not shred the trash"
grep -q '^Name\[de\]=' "$trash" || fail "Dolphin: the trash action has no German name"
sh -n "$gen/kelvane-add-to-file-manager" || fail "kelvane-add-to-file-manager: syntax"
finish
