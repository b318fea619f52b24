#!/bin/sh
# The Ansible collection, as an administrator uses it: built with ansible-galaxy,
# its documentation rendered by ansible-doc, and its modules and role run by
# ansible-playbook against localhost on a scratch tree (and, as root, on a loop
# image mounted in a private mount namespace).
# Usage: collection-test.sh KELVANE_CLI SOURCE_DIR
set -eu
CLI=$1
SRC=$2
if ! command -v ansible-playbook >/dev/null 2>&1; then
    echo "SKIP: ansible-playbook is not installed (Debian package ansible-core)"
    exit 77
fi
# As root, go on in a mount namespace of our own, so the loop image's mount is
# private and goes with the test whatever happens.
if [ "$(id -u)" -eq 0 ] && [ -z "${KELVANE_ANSIBLE_NS:-}" ] && command -v unshare >/dev/null 2>&1; then
    if KELVANE_ANSIBLE_NS=1 unshare -m --propagation private true 2>/dev/null; then
        KELVANE_ANSIBLE_NS=1 exec unshare -m --propagation private sh "$0" "$@"
    fi
fi
T=$(mktemp -d)
case "$T" in /tmp/*|/var/tmp/*|"${TMPDIR:-/nonexistent}"/*) ;; *) echo "mktemp gave '$T'"; exit 1 ;; esac
cleanup() {
    if mountpoint -q "$T/drive" 2>/dev/null; then umount "$T/drive" || true; fi
    rm -rf "$T"
}
trap cleanup EXIT

mkdir -p "$T/collections/ansible_collections/kelvane" "$T/dist" "$T/ansible"
ln -s "$SRC/packaging/ansible" "$T/collections/ansible_collections/kelvane/erasure"
export ANSIBLE_COLLECTIONS_PATH="$T/collections" ANSIBLE_HOME="$T/ansible" \
       ANSIBLE_LOCAL_TEMP="$T/ansible/tmp" ANSIBLE_REMOTE_TEMP="$T/ansible/tmp" \
       ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_STDOUT_CALLBACK=default \
       ANSIBLE_LOCALHOST_WARNING=0 ANSIBLE_INVENTORY_UNPARSED_WARNING=0 ANSIBLE_DEPRECATION_WARNINGS=0

echo "== ansible-galaxy collection build"
ansible-galaxy collection build "$SRC/packaging/ansible" --output-path "$T/dist" >/dev/null
ls "$T/dist"/kelvane-erasure-*.tar.gz >/dev/null

echo "== ansible-doc"
for m in kelvane_shred kelvane_free_space kelvane_check kelvane_verify_report; do
    ansible-doc "kelvane.erasure.$m" > "$T/doc.txt" 2>&1 || { cat "$T/doc.txt"; exit 1; }
    grep -q "EXAMPLES" "$T/doc.txt" && grep -q "RETURN VALUES" "$T/doc.txt" || {
        echo "ansible-doc kelvane.erasure.$m rendered no examples or return values"; cat "$T/doc.txt"; exit 1; }
done
ansible-doc -t role kelvane.erasure.erase_and_verify > "$T/doc.txt" 2>&1 || { cat "$T/doc.txt"; exit 1; }

# A file system of our own for the free-space module and the failing entry.
IMG=""
if [ -n "${KELVANE_ANSIBLE_NS:-}" ] && command -v mkfs.ext4 >/dev/null 2>&1; then
    mkdir "$T/drive"
    truncate -s 16M "$T/drive.img"
    mkfs.ext4 -q -F "$T/drive.img"
    if mount -o loop "$T/drive.img" "$T/drive" 2>/dev/null; then IMG=1; fi
fi
[ -n "$IMG" ] || echo "note: no loop image (not root or no mount namespace); free-space and immutable-file cases skipped"

echo "== ansible-playbook"
ansible-playbook -i localhost, -c local "$SRC/tests/ansible/collection-test.yml" \
    -e "cli=$CLI root=$T with_image=${IMG:-0}"
