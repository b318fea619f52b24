#!/bin/bash
# Drives the completion of kelvane-cli in bash (COMP_WORDS and the function),
# zsh (a zsh in a pseudo-terminal, TAB typed) and fish (complete -C), in a
# scratch folder holding one file and one folder, and checks what each offers.
# Every long option that "kelvane-cli --help" and the subcommands' help name is
# offered by each shell. Skipped (77) after the bash checks when zsh or fish is
# missing.
# usage: check-completions.sh <kelvane-cli> <folder of the completion files>
set -u
cli=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
dir=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d) || exit 1
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1
touch afile
mkdir adir
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# What a shell offers for a command line (the last word is being completed),
# one a line, sorted, without descriptions.
offers() {
    case $1 in
    bash)
        bash --norc --noprofile -c '
            source "$1"; shift
            read -ra COMP_WORDS <<<"$1"
            [[ $1 == *" " ]] && COMP_WORDS+=("")
            # As bash splits the line: "--passes=" is "--passes" "=" "".
            last=${COMP_WORDS[-1]}
            if [[ $last == --*=* ]]; then
                unset "COMP_WORDS[-1]"
                COMP_WORDS+=("${last%%=*}" "=" "${last#*=}")
            fi
            COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
            _kelvane_cli
            printf "%s\n" "${COMPREPLY[@]}"' _ "$dir/kelvane-cli.bash" "$2" ;;
    zsh) timeout 30 zsh -f "$here/zsh-complete.zsh" "$dir" "$2" ;;
    fish) fish --no-config -c 'source $argv[1]; complete -C $argv[2]' "$dir/kelvane-cli.fish" "$2" |
        cut -f1 ;;
    esac | sed 's|/$||' | sort -u
}

# expect <shell> <line> <words that must be offered> [-- <words that must not>]
expect() {
    sh=$1 line=$2
    shift 2
    got=$(offers "$sh" "$line")
    want=1
    for w in "$@"; do
        [ "$w" = -- ] && { want=0; continue; }
        # bash splits "--passes=" at "=": its offers are the bare values.
        if printf '%s\n' "$got" | grep -qxF -e "$w" -e "${line##* }$w"; then
            [ $want = 1 ] || fail "$sh: '$line' offers $w"
        else
            [ $want = 0 ] || fail "$sh: '$line' does not offer $w (offers: $(echo $got))"
        fi
    done
}

# The long options the program knows, from its help texts.
options=$(for c in "" shred free-space check verify-report key; do "$cli" $c --help 2>/dev/null; done |
    grep -oE -- '--[a-z][a-z0-9-]+' | sort -u)
[ -n "$options" ] || fail "no options in kelvane-cli --help"

check_shell() {
    sh=$1
    expect "$sh" "kelvane-cli " shred free-space check verify-report key schedule run-job
    expect "$sh" "kelvane-cli schedule " add list remove run
    expect "$sh" "kelvane-cli schedule add --every " daily weekly monthly -- afile
    expect "$sh" "kelvane-cli schedule add --every daily shred --keep-f" --keep-folder
    expect "$sh" "kelvane-cli verify-report " afile adir -- shred check
    expect "$sh" "kelvane-cli verify-report --tr" --trust
    expect "$sh" "kelvane-cli shred --passes=" 1 3 35 -- afile adir
    expect "$sh" "kelvane-cli shred --keep-f" --keep-folder
    expect "$sh" "kelvane-cli shred --rep" --report --report-dir
    expect "$sh" "kelvane-cli free-space --no-l" --no-log
    expect "$sh" "kelvane-cli free-space " adir -- afile
    expect "$sh" "kelvane-cli check --keep" -- --keep-folder --keep-names
    expect "$sh" "kelvane-cli key --" --public --allowed-signers --key -- --passes
    expect "$sh" "kelvane-cli shred " afile adir -- shred
    all=$(for c in shred free-space check verify-report key "schedule add" "schedule list" run-job; do
        offers "$sh" "kelvane-cli $c --"
    done |
        sed 's/=$//' | sort -u)
    for o in $options; do
        [ "$o" = --version ] && continue
        printf '%s\n' "$all" | grep -qxF -- "$o" || fail "$sh does not complete $o"
    done
}

check_shell bash
missing=
for sh in zsh fish; do
    if command -v "$sh" >/dev/null 2>&1; then check_shell "$sh"; else missing="$missing $sh"; fi
done
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
[ -z "$missing" ] || { echo "not installed:$missing (skipped)"; exit 77; }
echo "all checks passed"
