# bash completion for calvera                              -*- shell-script -*-

_calvera()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    COMPREPLY=()
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "-h --help --version" -- "$cur")
    else
        # video files and list files (.qfl): any file can be either
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        compopt -o filenames 2>/dev/null
    fi
    return 0
}

complete -F _calvera calvera
