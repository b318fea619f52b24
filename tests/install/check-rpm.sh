#!/bin/sh
# "cpack -G RPM" builds the same two packages as RPMs from the same configuration:
# the same files, the window's requiring kelvane-cli; both install together into
# a private rpm root, and rpmlint finds no error (its warnings are printed).
# Skipped (77) where rpmbuild is not installed.
# usage: check-rpm.sh <cpack> <build folder>
set -u
. "$(dirname "$0")/common.sh"
cpack=$1
build=$2
command -v rpmbuild >/dev/null 2>&1 || { echo "rpmbuild not installed: skipped"; exit 77; }

(cd "$scratch" && "$cpack" -G RPM --config "$build/CPackConfig.cmake" -B "$scratch/out") \
    >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; fail "cpack -G RPM"; finish; }
set -- "$scratch"/out/kelvane-cli-*.rpm
cli=$1
set -- "$scratch"/out/kelvane-[0-9]*.rpm
win=$1
[ -f "$cli" ] && [ -f "$win" ] || { ls "$scratch/out"; fail "no kelvane and kelvane-cli RPMs"; finish; }
echo "packages: $(basename "$cli") $(basename "$win")"

rpm -qlp "$cli" >"$scratch/cli-files" 2>/dev/null || fail "rpm -qlp kelvane-cli"
rpm -qlp "$win" >"$scratch/win-files" 2>/dev/null || fail "rpm -qlp kelvane"
for f in /usr/bin/kelvane-cli /usr/share/man/man1/kelvane-cli.1.gz \
    /usr/share/kelvane/kelvane-report-2.schema.json /usr/share/kelvane/Kelvane_German.lng; do
    grep -qx "$f" "$scratch/cli-files" || fail "kelvane-cli RPM lacks $f"
done
for f in /usr/bin/kelvane /usr/share/kelvane/Kelvane_English.html; do
    grep -qx "$f" "$scratch/win-files" || fail "kelvane RPM lacks $f"
done
rpm -qRp "$win" 2>/dev/null | grep -q '^kelvane-cli = ' || fail "kelvane does not require kelvane-cli"
rpm -qRp "$cli" 2>/dev/null | grep -qi 'qt' && fail "kelvane-cli requires Qt"

# Both into an rpm root of their own: a file in both is a conflict there.
rroot=$scratch/rpm-root
mkdir -p "$rroot"
rpm --root "$rroot" --initdb || fail "rpm --initdb"
if rpm --root "$rroot" -i --nodeps --noscripts "$cli" "$win" >"$scratch/rpm.out" 2>&1; then
    [ -x "$rroot/usr/bin/kelvane" ] && [ -x "$rroot/usr/bin/kelvane-cli" ] ||
        fail "rpm root lacks the programs"
    echo "rpm: both packages installed together into a private root"
else
    cat "$scratch/rpm.out"
    fail "the two RPMs do not install together"
fi

if command -v rpmlint >/dev/null 2>&1; then
    rpmlint "$cli" "$win" >"$scratch/rpmlint.out" 2>&1
    cat "$scratch/rpmlint.out"
    # Not errors of these packages: they are not signed (a distribution signs
    # them), Dolphin's service menus are executable on purpose, and openSUSE's
    # rule of a locales package does not apply to files of our own format.
    grep ': E: ' "$scratch/rpmlint.out" | grep -v -e ': E: no-signature' \
        -e ': E: script-without-shebang /usr/share/kio/servicemenus/' \
        -e ': E: no-dependency-on locales-' && fail "rpmlint errors"
else
    echo "rpmlint not installed: not linted"
fi
finish
