# Fish completion for brontaflex-cli: its commands, each command's options and
# the values of the options that take one of a few words. The commands and
# options are read from the program's own help, so they follow the program.

function __brontaflex_cli_commands
    brontaflex-cli --help 2>/dev/null | sed -n '/^Commands:/,/^$/s/^  \([^ ]*\)  *\(.*\)/\1\t\2/p'
end

function __brontaflex_cli_options
    set -l command (commandline -opc)[2]
    brontaflex-cli $command --help 2>/dev/null |
        sed -n '/^Options:/,/^$/s/^  \(-[a-z], \)\{0,1\}\(--[^ ]*\).*/\2/p'
end

# The serial numbers of the PODs that list sees.
function __brontaflex_cli_pods
    brontaflex-cli list 2>/dev/null | sed -n 's/.* serial \([^ ,]*\).*/\1/p'
end

# Whether the command being typed takes the option $argv[1].
function __brontaflex_cli_takes
    contains -- $argv[1] (__brontaflex_cli_options)
end

function __brontaflex_cli_option_wanted
    string match -q -- '-*' (commandline -ct)
end

complete -c brontaflex-cli -f -n __fish_use_subcommand -a '(__brontaflex_cli_commands)'
complete -c brontaflex-cli -f -n 'not __fish_use_subcommand; and __brontaflex_cli_option_wanted' \
    -a '(__brontaflex_cli_options)'
complete -c brontaflex-cli -l device -x -n '__brontaflex_cli_takes --device' \
    -a 'F2801 F2802 F2806 F2808 F2809'
complete -c brontaflex-cli -l erase -x -n '__brontaflex_cli_takes --erase' -a 'intelligent all'
complete -c brontaflex-cli -l driver -x -n '__brontaflex_cli_takes --driver' -a 'd2xx tty emulator'
complete -c brontaflex-cli -l pod -x -n '__brontaflex_cli_takes --pod' -a '(__brontaflex_cli_pods)'
complete -c brontaflex-cli -l trace -r -F -n '__brontaflex_cli_takes --trace'
complete -c brontaflex-cli -l serial-width -x -n '__brontaflex_cli_takes --serial-width' -a '1 2'
complete -c brontaflex-cli -l serial-counter -r -F -n '__brontaflex_cli_takes --serial-counter'
complete -c brontaflex-cli -l log -r -F -n '__brontaflex_cli_takes --log'
complete -c brontaflex-cli -l csm-file -r -F -n '__brontaflex_cli_takes --csm-file'
complete -c brontaflex-cli -l config -r -F -n '__brontaflex_cli_takes --config'
