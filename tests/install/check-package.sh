#!/bin/sh
# "cpack -G DEB" builds a package with the installed layout under /usr and a
# Depends line that pulls in the Qt runtime; unpacked into a scratch root, the
# program runs headless from there and finds its data.
# usage: check-package.sh <cpack> <build folder> <app id>
set -u
. "$(dirname "$0")/common.sh"
cpack=$1
build=$2
id=$3

(cd "$scratch" && "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out") \
    >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; fail "cpack -G DEB"; finish; }
set -- "$scratch"/out/kelvane_*.deb
deb=$1
[ -f "$deb" ] || { fail "no kelvane_*.deb"; finish; }
echo "package: $(basename "$deb")"

dpkg-deb -c "$deb" >"$scratch/contents" || fail "dpkg-deb -c"
for f in ./usr/bin/kelvane ./usr/bin/kelvane-add-to-file-manager \
    ./usr/share/kelvane/Kelvane_Languages.ini ./usr/share/kelvane/Kelvane_German.lng \
    ./usr/share/doc/kelvane/copyright "./usr/share/applications/$id.desktop" \
    "./usr/share/metainfo/$id.metainfo.xml" "./usr/share/icons/hicolor/scalable/apps/$id.svg" \
    "./usr/share/icons/hicolor/48x48/apps/$id.png" \
    ./usr/share/kio/servicemenus/kelvane-shred.desktop \
    ./usr/share/nemo/actions/kelvane-shred.nemo_action \
    ./usr/share/file-manager/actions/kelvane-shred.desktop; do
    grep -q " $f\$" "$scratch/contents" || fail "package lacks $f"
done
# Files owned by root, nothing outside /usr.
awk '{ print $2 }' "$scratch/contents" | grep -qv '^root/root$' && fail "files not owned by root"
awk '{ print $6 }' "$scratch/contents" | grep -v '^\./$' | grep -qv '^\./usr/' &&
    fail "files outside /usr"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libc6 libstdc++6; do
    case ", $depends," in
    *", $lib "* | *", $lib,"*) ;;
    *) fail "Depends lacks $lib" ;;
    esac
done
# Each dependency names a real package (here: one that the build itself uses).
for pkg in $(echo "$depends" | tr ',' '\n' | sed 's/(.*//; s/|.*//; s/ //g'); do
    dpkg-query -W "$pkg" >/dev/null 2>&1 || fail "Depends names unknown package $pkg"
done
[ "$(dpkg-deb -f "$deb" Package)" = kelvane ] || fail "package name"

root=$scratch/root
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
check_headless_run "$root/usr/bin/kelvane"
finish
