# bash completion for calvera-batch                        -*- shell-script -*-
# Self-contained: it needs nothing from the bash-completion package.

# The value of --catalogue on the line so far, so that -f offers that
# catalogue's formats.
_calvera_batch_catalogue()
{
    local i word
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ $word == --catalogue=?* ]]; then
            printf '%s\n' "${word#--catalogue=}"
        elif [[ $word == --catalogue ]]; then
            # bash splits "--catalogue=FILE" at '=' when COMP_WORDBREAKS holds it
            if [[ ${COMP_WORDS[i + 1]} == = ]]; then
                printf '%s\n' "${COMP_WORDS[i + 2]}"
            else
                printf '%s\n' "${COMP_WORDS[i + 1]}"
            fi
        fi
    done | tail -n 1
}

# Format indexes starting with $1, asked of the program being completed.
# Several are shown as "INDEX  NAME"; those lines share no prefix past the
# index, so bash never inserts a name, and a single match is the bare index.
_calvera_batch_formats()
{
    local cur=$1 program=${COMP_WORDS[0]} catalogue
    [[ $program == \~* ]] && program=$HOME${program#\~}
    command -v "$program" >/dev/null 2>&1 || return 0
    local -a arguments=(--formats)
    catalogue=$(_calvera_batch_catalogue)
    [[ $catalogue == \~* ]] && catalogue=$HOME${catalogue#\~}
    [[ -n $catalogue ]] && arguments+=(--catalogue "$catalogue")

    local index name extension parameters origin
    local -a indexes=() shown=()
    while IFS=$'\t' read -r index name extension parameters origin; do
        [[ $index == "$cur"* ]] || continue
        [[ $origin == unavailable* ]] && name+=" (unavailable)"
        indexes+=("$index")
        shown+=("$index  $name")
    done < <("$program" "${arguments[@]}" 2>/dev/null)
    if ((${#indexes[@]} == 1)); then
        COMPREPLY=("${indexes[0]}")
    else
        COMPREPLY=("${shown[@]}")
        compopt -o nosort 2>/dev/null
    fi
    return 0
}

_calvera_batch_files()
{
    local cur=$1 pattern=$2
    local -a found
    if [[ -n $pattern ]]; then
        mapfile -t found < <(compgen -f -X "!$pattern" -- "$cur"; compgen -d -- "$cur")
    else
        mapfile -t found < <(compgen -f -- "$cur")
    fi
    COMPREPLY+=("${found[@]}")
    compopt -o filenames 2>/dev/null
}

_calvera_batch()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local option="" prefix=""
    COMPREPLY=()

    # Long options take "--option=VALUE" too, split at '=' or not.
    if [[ $cur == = && $prev == --* ]]; then
        option=$prev
        cur=""
    elif [[ $prev == = ]] && ((COMP_CWORD >= 2)) && [[ ${COMP_WORDS[COMP_CWORD - 2]} == --* ]]; then
        option=${COMP_WORDS[COMP_CWORD - 2]}
    elif [[ $cur == --*=* ]]; then
        option=${cur%%=*}
        prefix=$option=
        cur=${cur#*=}
    else
        case $prev in
        -f | --format | -o | --output | -s | --save-list | -j | --jobs | --journal | --shard | --catalogue | \
            --ffmpeg | --files-from | --files0-from | --watch | --fit | -r | --recursive | --include | --exclude)
            option=$prev
            ;;
        esac
    fi

    local i only_files=""
    for ((i = 1; i < COMP_CWORD; i++)); do
        [[ ${COMP_WORDS[i]} == -- ]] && only_files=1
    done

    if [[ -z $only_files ]]; then
        case $option in
        -f | --format) _calvera_batch_formats "$cur" ;;
        -o | --output | --watch | -r | --recursive)
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            compopt -o filenames 2>/dev/null
            ;;
        -s | --save-list) _calvera_batch_files "$cur" '*.qfl' ;;
        --journal | --catalogue | --files-from | --files0-from) _calvera_batch_files "$cur" ;;
        --ffmpeg)
            mapfile -t COMPREPLY < <(compgen -c -- "$cur"; compgen -f -- "$cur")
            compopt -o filenames 2>/dev/null
            ;;
        -j | --jobs)
            local cores
            cores=$(nproc 2>/dev/null || echo 1)
            mapfile -t COMPREPLY < <(compgen -W "$(seq 0 "$cores")" -- "$cur")
            ;;
        --verify) mapfile -t COMPREPLY < <(compgen -W "none duration decode" -- "$cur") ;;
        --progress) mapfile -t COMPREPLY < <(compgen -W "json lines" -- "$cur") ;;
        --shard | --fit | --include | --exclude) ;;
        *)
            if [[ $cur == -* ]]; then
                local options="-f --format -o --output -n --dry-run -s --save-list -l --formats -j --jobs
                    --journal --retry-failed --shard --progress= --catalogue --ffmpeg -q --quiet -v --verbose
                    --files-from --files0-from --verify= --watch --new-only --settle= --exclude= -r --recursive
                    --include= --flat --skip-existing --skip-same -h --help --version --fit="
                mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
                [[ ${COMPREPLY[*]} == *= ]] && compopt -o nospace 2>/dev/null
            else
                _calvera_batch_files "$cur"
            fi
            ;;
        esac
    else
        _calvera_batch_files "$cur"
    fi

    if [[ -n $prefix ]]; then
        for i in "${!COMPREPLY[@]}"; do
            COMPREPLY[i]=$prefix${COMPREPLY[i]}
        done
    fi
    return 0
}

complete -F _calvera_batch calvera-batch
