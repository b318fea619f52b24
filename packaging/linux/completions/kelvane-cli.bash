# bash completion for kelvane-cli
_kelvane_cli() {
    local cur prev cmd i
    COMPREPLY=()
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    # "--passes=3": bash splits at "=" (COMP_WORDBREAKS) into "--passes" "=" "3".
    if [[ $cur == = ]]; then
        cur=
    elif [[ $prev == = && COMP_CWORD -ge 2 ]]; then
        prev=${COMP_WORDS[COMP_CWORD-2]}
    elif [[ $cur == --*=* ]]; then
        prev=${cur%%=*}
        cur=${cur#*=}
    fi
    cmd=
    local sub=
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            shred|free-space|check|verify-report|key|run-job) cmd=${COMP_WORDS[i]}; break ;;
            # "schedule add ... shred ...": the run's own command follows.
            schedule) cmd=schedule; sub=${COMP_WORDS[i+1]}; [[ $i -lt $((COMP_CWORD - 1)) ]] || sub= ;;
        esac
    done
    if [[ -z $cmd ]]; then
        COMPREPLY=($(compgen -W "shred free-space check verify-report key schedule run-job
                                 --help --version" -- "$cur"))
        return
    fi
    if [[ $cmd == schedule ]]; then
        case $prev in
            --every) COMPREPLY=($(compgen -W "daily weekly monthly" -- "$cur")); return ;;
            --at|--calendar|--name|--delay) return ;;
        esac
        case $sub in
            "") COMPREPLY=($(compgen -W "add list remove run" -- "$cur")) ;;
            add) COMPREPLY=($(compgen -W "--every --at --calendar --name --delay --json shred
                                          free-space" -- "$cur")) ;;
            list) COMPREPLY=($(compgen -W "--json" -- "$cur")) ;;
        esac
        return
    fi
    case $prev in
        --pattern|--files-from|--log|--key|--trust|--path|--report)
            COMPREPLY=($(compgen -f -- "$cur")); compopt -o filenames 2>/dev/null; return ;;
        --report-dir)
            COMPREPLY=($(compgen -d -- "$cur")); compopt -o filenames 2>/dev/null; return ;;
        -n|--passes)
            COMPREPLY=($(compgen -W "1 2 3 7 35" -- "$cur")); return ;;
        --keep-logs|--keep-reports)
            COMPREPLY=($(compgen -W "0 10 30 100" -- "$cur")); return ;;
        --keep-logs-days|--keep-reports-days)
            COMPREPLY=($(compgen -W "0 7 30 90 365" -- "$cur")); return ;;
        --value|--exclude|--allowed-signers)
            return ;;
    esac
    local opts common="--json --quiet --verbose --help"
    local keep="--log --no-log --report --report-dir --key --keep-logs --keep-logs-days
                --keep-reports --keep-reports-days"
    case $cmd in
        shred) opts="--passes --random --value --pattern --keep-names --keep-size --keep-folder
                     --verify --free-space-after --reserve --trash --exclude --one-file-system
                     --files-from --null --yes $keep $common" ;;
        free-space) opts="--passes --random --value --pattern --reserve --yes $keep $common" ;;
        check) opts="--exclude --one-file-system --files-from --null $common" ;;
        verify-report) opts="--trust --path --help" ;;
        key) opts="--public --allowed-signers --key --help" ;;
        run-job) opts="--check --json --help" ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$opts" -- "$cur"))
    elif [[ $cmd == key || $cmd == run-job ]]; then
        return
    elif [[ $cmd == free-space ]]; then
        COMPREPLY=($(compgen -d -- "$cur")); compopt -o filenames 2>/dev/null
    else
        COMPREPLY=($(compgen -f -- "$cur")); compopt -o filenames 2>/dev/null
    fi
}
complete -F _kelvane_cli kelvane-cli
