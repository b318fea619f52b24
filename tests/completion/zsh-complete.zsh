#!/bin/zsh -f
# Prints, one a line, what zsh's completion offers for a command line: a zsh
# of its own runs in a pseudo-terminal with compinit and the completion
# function, the line is typed with a TAB, and every match that reaches compadd
# is written out instead of being shown.
# usage: zsh-complete.zsh <folder holding _kelvane-cli> <command line, without TAB>
zmodload zsh/zpty || exit 77
fdir=$1
line=$2
zpty z zsh -f -i
zpty -w z "PROMPT= RPROMPT= ; unsetopt zle_bracketed_paste 2>/dev/null"
zpty -w z "fpath=(${(q)fdir} \$fpath); autoload -U compinit; compinit -u -D"
zpty -w z "zstyle ':completion:*' list-grouped false; zstyle ':completion:*' insert-tab false"
zpty -w z "compprefuncs=( _kv_begin ); comppostfuncs=( _kv_end )"
# The markers are control characters, which the echo of the typed lines never holds.
zpty -w z '_kv_begin() { print -n -- $'"'"'\x01'"'"' }'
zpty -w z '_kv_end() { print -n -- $'"'"'\x04'"'"'; exit }'
# Each match is also added for real, so that a function that looks whether
# anything matched (_files trying its next kind) sees it.
zpty -w z 'compadd() {
  if [[ ${@[1,(i)(-|--)]} == *-(O|A|D)\ * ]]; then builtin compadd "$@"; return $?; fi
  typeset -a __hits __dscr __tmp
  builtin compadd -A __hits "$@"
  (( $#__hits )) || return 1
  builtin compadd "$@"
  local h; for h in $__hits; do print -n -- $'"'"'\x02'"'"'$h$'"'"'\x03'"'"'; done
}'
zpty -w z 'bindkey "^I" complete-word'
zpty -n -w z "$line"$'\t'
out=
while zpty -r z chunk; do
  out+=$chunk
  [[ $out == *$'\x04'* ]] && break
done
zpty -d z
out=${out#*$'\x01'}
out=${out%%$'\x04'*}
for m in ${(ps:\x03:)out}; do [[ $m == *$'\x02'* ]] && print -r -- ${m#*$'\x02'}; done
