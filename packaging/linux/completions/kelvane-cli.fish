# fish completion for kelvane-cli
set -l commands shred free-space check
complete -c kelvane-cli -f
complete -c kelvane-cli -n "not __fish_seen_subcommand_from $commands" -a shred -d 'Shred files and folders'
complete -c kelvane-cli -n "not __fish_seen_subcommand_from $commands" -a free-space -d 'Overwrite the free space of file systems'
complete -c kelvane-cli -n "not __fish_seen_subcommand_from $commands" -a check -d 'Tell what a shred would do, touching nothing'
complete -c kelvane-cli -n "not __fish_seen_subcommand_from $commands" -l version -d 'Show the version'
complete -c kelvane-cli -s h -l help -d 'Show the help'

complete -c kelvane-cli -n "__fish_seen_subcommand_from shred free-space" -s n -l passes -x -a '1 2 3 7 35' -d 'Overwrite N times (1 to 300)'
complete -c kelvane-cli -n "__fish_seen_subcommand_from shred free-space" -l random -d 'Overwrite with random data'
complete -c kelvane-cli -n "__fish_seen_subcommand_from shred free-space" -l value -x -d 'Overwrite with this byte'
complete -c kelvane-cli -n "__fish_seen_subcommand_from shred free-space" -l pattern -r -F -d 'Overwrite with the contents of a file'
complete -c kelvane-cli -n "__fish_seen_subcommand_from shred free-space" -s y -l yes -d 'Do not ask before each file'
complete -c kelvane-cli -n "__fish_seen_subcommand_from shred free-space" -l log -r -F -d 'Also append the log lines to a file'
complete -c kelvane-cli -n "__fish_seen_subcommand_from shred" -l keep-names -d 'Do not scramble the names'
complete -c kelvane-cli -n "__fish_seen_subcommand_from shred" -l trash -d 'Shred your trash in place of paths'
complete -c kelvane-cli -n "__fish_seen_subcommand_from shred" -l keep-size -d 'Do not change the sizes'
complete -c kelvane-cli -n "__fish_seen_subcommand_from shred" -l verify -d 'Read the last pass back and check it'
complete -c kelvane-cli -n "__fish_seen_subcommand_from shred" -l free-space-after -d 'Then overwrite the free space of the drives shredded on'
complete -c kelvane-cli -n "__fish_seen_subcommand_from shred check" -l exclude -x -d 'Leave entries matching a glob'
complete -c kelvane-cli -n "__fish_seen_subcommand_from shred check" -l one-file-system -d 'Leave what lies on another file system'
complete -c kelvane-cli -n "__fish_seen_subcommand_from shred check" -l files-from -r -F -d 'Read the paths from a file'
complete -c kelvane-cli -n "__fish_seen_subcommand_from shred check" -s 0 -l null -d 'The list is separated by NUL bytes'
complete -c kelvane-cli -n "__fish_seen_subcommand_from $commands" -l json -d 'One JSON object per line per entry and event'
complete -c kelvane-cli -n "__fish_seen_subcommand_from $commands" -s q -l quiet -d 'Print nothing but errors'
complete -c kelvane-cli -n "__fish_seen_subcommand_from $commands" -s v -l verbose -d 'Print a line per entry'
complete -c kelvane-cli -n "__fish_seen_subcommand_from shred check" -F
complete -c kelvane-cli -n "__fish_seen_subcommand_from free-space" -x -a '(__fish_complete_directories)'
