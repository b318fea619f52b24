# bash completion for kelvane-cli
_kelvane_cli() {
    local cur prev cmd i
    COMPREPLY=()
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    cmd=
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            shred|free-space|check) cmd=${COMP_WORDS[i]}; break ;;
        esac
    done
    if [[ -z $cmd ]]; then
        COMPREPLY=($(compgen -W "shred free-space check --help --version" -- "$cur"))
        return
    fi
    case $prev in
        --pattern|--files-from|--log)
            COMPREPLY=($(compgen -f -- "$cur")); compopt -o filenames 2>/dev/null; return ;;
        -n|--passes)
            COMPREPLY=($(compgen -W "1 2 3 7 35" -- "$cur")); return ;;
        --value|--exclude)
            return ;;
    esac
    local opts
    case $cmd in
        shred) opts="--passes --random --value --pattern --keep-names --keep-size --verify
                     --free-space-after --reserve --trash
                     --exclude --one-file-system --files-from --null --yes --json --quiet
                     --verbose --log --help" ;;
        free-space) opts="--passes --random --value --pattern --reserve --yes --json --quiet --verbose
                          --log --help" ;;
        check) opts="--exclude --one-file-system --files-from --null --json --quiet --verbose
                     --help" ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$opts" -- "$cur"))
    elif [[ $cmd == free-space ]]; then
        COMPREPLY=($(compgen -d -- "$cur")); compopt -o filenames 2>/dev/null
    else
        COMPREPLY=($(compgen -f -- "$cur")); compopt -o filenames 2>/dev/null
    fi
}
complete -F _kelvane_cli kelvane-cli
