#!/bin/sh
# kelvane-helper through the real pkexec and polkitd: in a mount namespace of
# its own, a private system bus, polkitd, the Kelvane policy and a rule that
# lets "nobody" (and only it) fill the root reserve. "nobody" runs kelvane-cli
# free-space --reserve on a loop image whose root reserve alone holds a deleted
# marker: no copy may be left. "daemon", with no rule, is refused, and the run
# says so. Usage: polkit-e2e.sh BUILD_DIR. Exit 77 (skipped) without root,
# unshare, pkexec, polkitd or dbus-daemon.
set -eu
B=$(cd "$1" && pwd)
for tool in unshare pkexec dbus-daemon mkfs.ext4 losetup setpriv; do
    command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool missing"; exit 77; }
done
[ -x /usr/lib/polkit-1/polkitd ] || { echo "skipped: polkitd missing"; exit 77; }
[ "$(id -u)" = 0 ] || { echo "skipped: needs root"; exit 77; }
if [ "${KELVANE_IN_NAMESPACE:-}" != 1 ]; then
    KELVANE_IN_NAMESPACE=1 exec unshare -m sh "$0" "$@"
fi
d=$(mktemp -d /tmp/i40-pk.XXXXXX)
test -d "$d"
chmod 711 "$d"
mount --make-rprivate /
mount -t tmpfs none /run/dbus
mkdir -p "$d/actions" "$d/rules" "$d/local/libexec" "$d/home" "$d/mnt"
cp /usr/share/polkit-1/actions/* "$d/actions/"
cp "$B/packaging/example.kelvane.helper.policy" "$d/actions/"
mount --bind "$d/actions" /usr/share/polkit-1/actions
cat > "$d/rules/50-kelvane-test.rules" <<'R'
polkit.addRule(function(action, subject) {
    if (action.id == "example.kelvane.helper.fill-reserve" && subject.user == "nobody")
        return polkit.Result.YES;
});
R
mount --bind "$d/rules" /etc/polkit-1/rules.d
cp "$B/kelvane-helper" "$d/local/libexec/"
mount -t tmpfs none /usr/local
mkdir -p /usr/local/libexec
cp "$B/kelvane-helper" /usr/local/libexec/
dbus-daemon --system --fork
/usr/lib/polkit-1/polkitd --no-debug >"$d/polkitd.log" 2>&1 &
pk=$!
sleep 3
chown nobody "$d/home"
truncate -s 64M "$d/img"
mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0,nodiscard "$d/img"
loop=$(losetup -f --show "$d/img")
trap 'umount "$d/mnt" 2>/dev/null; losetup -d "$loop" 2>/dev/null; kill "$pk" 2>/dev/null' EXIT
mount "$loop" "$d/mnt"
chown nobody "$d/mnt"
cat > "$d/fill.py" <<'PY'
import os,sys
m=sys.argv[2].encode() if sys.argv[2] != "zero" else b"\0"*4096
c=m*(1024*1024//len(m))
fd=os.open(sys.argv[1],os.O_WRONLY|os.O_CREAT|os.O_EXCL,0o600)
n=len(c)
while n>=512:
    try: os.write(fd,c[:n])
    except OSError: n//=2
os.fsync(fd); os.close(fd)
PY
chmod 644 "$d/fill.py"
setpriv --reuid=65534 --regid=65534 --clear-groups /usr/bin/python3 "$d/fill.py" "$d/mnt/users-own" zero
/usr/bin/python3 "$d/fill.py" "$d/mnt/secret" KELVANE-HELPER-MARKER-5be1d0-
rm "$d/mnt/secret"; sync
echo "== run as nobody with --reserve"
allowed=$(setpriv --reuid=65534 --regid=65534 --clear-groups env HOME="$d/home" "$B/kelvane-cli" free-space -v --reserve -y -n 1 "$d/mnt" 2>&1 </dev/null) || true
echo "$allowed"
echo "== run as daemon (no rule for it) with --reserve"
chown daemon "$d/mnt"; mkdir -p "$d/home2"; chown daemon "$d/home2"
refused=$(setpriv --reuid=1 --regid=1 --clear-groups env HOME="$d/home2" "$B/kelvane-cli" free-space -v --reserve -y -n 1 "$d/mnt" </dev/null 2>&1) || true
echo "$refused"
umount "$d/mnt"
losetup -d "$loop"
# What the image holds on the disk, not what a cache of it remembers.
left=$(/usr/bin/python3 -c 'import os, sys
fd = os.open(sys.argv[1], os.O_RDONLY); os.fsync(fd); os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
print(os.read(fd, os.fstat(fd).st_size).count(b"KELVANE-HELPER-MARKER-5be1d0-"))' "$d/img")
echo "copies of the marker left: $left"
fail=0
case $allowed in *"kept back for root overwritten too"*) ;; *) echo "FAIL: the allowed run did not reach the reserve"; fail=1 ;; esac
[ "$left" = 0 ] || { echo "FAIL: $left copies of the marker left"; fail=1; }
case $refused in *"out of reach: not authorised"*"kept back for root not reached"*) ;; *) echo "FAIL: the refused run did not say so"; fail=1 ;; esac
kill "$pk" || true
dp=$(cat /run/dbus/pid 2>/dev/null || true)
[ -n "$dp" ] && kill "$dp" || true
sleep 1
umount /usr/local /etc/polkit-1/rules.d /usr/share/polkit-1/actions /run/dbus || true
trap - EXIT
rm -r "$d"
exit $fail
