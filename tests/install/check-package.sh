#!/bin/sh
# "cpack -G DEB" builds a package with the installed layout under /usr and a
# Depends line that pulls in the Qt runtime; unpacked into a scratch root, the
# program runs headless from there and finds its data. Both packages install
# together into a private dpkg root (a file in both fails there), and lintian
# finds no error in either (where lintian is installed).
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
    ./usr/share/kelvane/Kelvane_English.html ./usr/share/doc/kelvane/copyright ./usr/share/doc/kelvane/changelog.Debian.gz \
    ./usr/share/man/man1/kelvane.1.gz "./usr/share/applications/$id.desktop" \
    "./usr/share/metainfo/$id.metainfo.xml" "./usr/share/icons/hicolor/scalable/apps/$id.svg" \
    "./usr/share/icons/hicolor/48x48/apps/$id.png" \
    ./usr/share/kio/servicemenus/kelvane-shred.desktop \
    ./usr/share/kio/servicemenus/kelvane-shred-trash.desktop \
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
    [ "$pkg" = kelvane-cli ] && continue  # built here, beside it
    dpkg-query -W "$pkg" >/dev/null 2>&1 || fail "Depends names unknown package $pkg"
done
[ "$(dpkg-deb -f "$deb" Package)" = kelvane ] || fail "package name"

case ", $depends," in
*", kelvane-cli (= "*) ;;
*) fail "the window's package does not depend on kelvane-cli" ;;
esac

# kelvane-cli: a package of its own, with no Qt among its dependencies.
set -- "$scratch"/out/kelvane-cli_*.deb
cli=$1
[ -f "$cli" ] || { fail "no kelvane-cli_*.deb"; finish; }
dpkg-deb -c "$cli" >"$scratch/cli-contents" || fail "dpkg-deb -c kelvane-cli"
for f in ./usr/bin/kelvane-cli ./usr/share/man/man1/kelvane-cli.1.gz \
    ./usr/share/kelvane/kelvane-cli-events.schema.json ./usr/share/kelvane/kelvane-report-2.schema.json \
    ./usr/share/kelvane/Kelvane_Languages.ini ./usr/share/kelvane/Kelvane_German.lng \
    ./usr/share/doc/kelvane-cli/copyright ./usr/share/doc/kelvane-cli/changelog.Debian.gz \
    ./usr/share/bash-completion/completions/kelvane-cli; do
    grep -q " $f\$" "$scratch/cli-contents" || fail "kelvane-cli package lacks $f"
done
grep -q ' ./usr/bin/kelvane-cli$' "$scratch/contents" && fail "kelvane-cli in both packages"
cli_depends=$(dpkg-deb -f "$cli" Depends)
echo "kelvane-cli Depends: $cli_depends"
case $cli_depends in
*libc6*) ;;
*) fail "kelvane-cli Depends lacks libc6" ;;
esac
case $cli_depends in
*qt* | *Qt*) fail "kelvane-cli depends on Qt: $cli_depends" ;;
esac
# Each package named once in a Depends line.
for d in "$depends" "$cli_depends"; do
    twice=$(echo "$d" | tr ',' '\n' | sed 's/(.*//; s/ //g' | sort | uniq -d)
    [ -z "$twice" ] || fail "named twice in Depends: $twice"
done
# Manual pages and changelogs compressed, without a name or a time in the gzip header.
for f in $(awk '{ print $6 }' "$scratch/contents" "$scratch/cli-contents" | grep -E '/man/|changelog'); do
    case $f in
    */ | *.gz) ;;
    *) fail "not compressed: $f" ;;
    esac
done

# Both together into a dpkg root of their own: dpkg refuses a file that another
# package already holds, and a kelvane-cli dependency the other does not meet.
# The system's libraries are not in that root: only those dependencies are forced.
droot=$scratch/dpkg-root
admin=$droot/var/lib/dpkg
mkdir -p "$admin/info" "$admin/updates" "$admin/triggers"
: >"$admin/status"
: >"$admin/available"
if dpkg --root="$droot" --admindir="$admin" --force-not-root --force-depends \
    --log="$scratch/dpkg.log" -i "$cli" "$deb" >"$scratch/dpkg.out" 2>&1; then
    grep 'depends on kelvane-cli' "$scratch/dpkg.out" &&
        fail "kelvane's dependency on kelvane-cli not met by the package built beside it"
    [ -x "$droot/usr/bin/kelvane" ] && [ -x "$droot/usr/bin/kelvane-cli" ] ||
        fail "dpkg root lacks the programs"
    dpkg --root="$droot" --admindir="$admin" -S /usr/share/kelvane/Kelvane_German.lng \
        >/dev/null 2>&1 || fail "nobody owns the language files"
    echo "dpkg: both packages installed together into a private root"
else
    cat "$scratch/dpkg.out"
    fail "the two packages do not install together"
fi

if command -v lintian >/dev/null 2>&1; then
    for p in "$cli" "$deb"; do
        lintian --tag-display-limit 0 "$p" >"$scratch/lintian.out" 2>&1
        cat "$scratch/lintian.out"
        grep -q '^E: ' "$scratch/lintian.out" && fail "lintian errors in $(basename "$p")"
    done
else
    echo "lintian not installed: package not linted"
fi

root=$scratch/root
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
dpkg-deb -x "$cli" "$root" || fail "dpkg-deb -x kelvane-cli"
check_headless_run "$root/usr/bin/kelvane"
"$root/usr/bin/kelvane-cli" --version >/dev/null || fail "kelvane-cli --version from the package"
finish
