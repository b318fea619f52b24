# Shared by the install checks: a scratch folder, failure reporting, and a
# headless run of an installed program that shows whether it found its data.

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

expect_file() {
    [ -f "$1" ] || fail "missing $1"
}

# Runs "<program> -exec <scratch file>" without a display, with German chosen in
# a fresh configuration folder. The German status line can only come from the
# language files, so it proves the program found its data folder.
check_headless_run() {
    program=$1
    config=$scratch/config-$$-$(date +%s%N)
    mkdir -p "$config/Tessarin/Kelvane"
    printf '<?xml version="1.0" encoding="utf-8"?>\r\n<InitFile>\r\n  <Confirm>0</Confirm>\r\n  <Iterations>1</Iterations>\r\n  <LanguageName>Deutsch</LanguageName>\r\n</InitFile>\r\n' \
        >"$config/Tessarin/Kelvane/Kelvane.ini"
    victim=$scratch/victim-$$.txt
    echo "secret" >"$victim"
    status=0
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$config" \
        ASAN_OPTIONS=detect_leaks=0 timeout 120 "$program" -exec "$victim" </dev/null 2>&1) ||
        status=$?
    [ "$status" -eq 0 ] || fail "$program -exec ended with $status: $out"
    case $out in
    *"Schreddern beendet."*) ;;
    *) fail "$program did not speak German (language files not found): $out" ;;
    esac
    [ ! -e "$victim" ] || fail "$program left the scratch file behind"
}

finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    echo "all checks passed"
}
