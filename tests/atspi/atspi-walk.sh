#!/bin/sh
# The AT-SPI walk of the main window (atspi_walk.py) in a private D-Bus session,
# virtual display and home. Exit 77 (skipped) where the tools are not installed.
set -eu
EXE=$1
HERE=$(cd "$(dirname "$0")" && pwd)
for tool in Xvfb dbus-run-session python3; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed (packages xvfb, dbus)"
        exit 77
    fi
done
# The distribution's Python has the bindings; another one earlier on PATH may not.
PY=""
for p in /usr/bin/python3 python3; do
    if "$p" -c 'import pyatspi' >/dev/null 2>&1; then
        PY=$p
        break
    fi
done
if [ -z "$PY" ]; then
    echo "SKIP: python3-pyatspi is not installed"
    exit 77
fi
if [ ! -x /usr/libexec/at-spi-bus-launcher ]; then
    echo "SKIP: at-spi2-core is not installed"
    exit 77
fi
D=$(mktemp -d /tmp/kv.XXXXXX)
[ -n "$D" ] && [ -d "$D" ] || exit 1
trap 'rm -rf -- "$D"' EXIT
mkdir -p "$D/home/.config" "$D/run"
chmod 700 "$D/run"
cd "$D"
HOME="$D/home" XDG_CONFIG_HOME="$D/home/.config" XDG_RUNTIME_DIR="$D/run" \
    dbus-run-session -- "$PY" "$HERE/atspi_walk.py" "$EXE"
