#!/usr/bin/env bash
# Drives the shell completions in packaging/completions/ as each shell does:
# bash through the completion function with COMP_WORDS and COMP_CWORD set,
# fish through `complete -C`, zsh through its completion system on a
# pseudo-terminal (zpty). A shell that is not installed is skipped, saying so.
#   scripts/test-completions.sh BUILD_FOLDER
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$(dirname "$0")/.." && pwd)
completions=$source/packaging/completions
batch=$build/program/calvera-batch
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# --formats asks ffmpeg what it can do and caches the answer; none of it the user's.
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_STATE_HOME=$work/state

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
# expect WHAT GOT WANTED: the lines of GOT, sorted, must be WANTED's.
expect() {
    [ "$(printf '%s\n' "$2" | sort)" = "$(printf '%s\n' "$3" | sort)" ] \
        || fail "$1: got [$(printf '%s' "$2" | tr '\n' '|')], wanted [$(printf '%s' "$3" | tr '\n' '|')]"
}

# The files and folders completed against.
mkdir -p "$work/files/out-dir" "$work/files/jobs-dir"
touch "$work/files/jobs.qfl" "$work/files/jobs.txt" "$work/files/out-file"
cat >"$work/two.xml" <<'EOF'
<commands>
  <command><format>First test format</format><params>-c copy</params><ext>mkv</ext></command>
  <command><format>Second test format</format><params>-c copy</params><ext>mp4</ext></command>
</commands>
EOF
# Index and name, as the completions show them.
formats=$("$batch" --formats | awk -F'\t' -v OFS='\t' '{ print $1, $2 ($5 ~ /^unavailable/ ? " (unavailable)" : "") }')
[ -n "$formats" ] || fail "calvera-batch --formats printed nothing"
last=$(printf '%s\n' "$formats" | tail -n 1 | cut -f1)
all_options="-f --format -o --output -n --dry-run -s --save-list -l --formats -j --jobs --journal --retry-failed
    --shard --progress= --catalogue --ffmpeg -q --quiet -v --verbose --files-from --files0-from --verify= --watch
    --new-only --settle= --exclude= -r --recursive --include= --flat --skip-existing --skip-same -h --help
    --version --fit="

# --- bash: the words as bash splits them, '=' a word of its own.
bash_complete() { # FUNCTION FILE WORD...
    bash --norc --noprofile -c '
        function=$1 file=$2
        shift 2
        source "$file"
        COMP_WORDS=("$@")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        "$function"
        if ((${#COMPREPLY[@]})); then printf "%s\n" "${COMPREPLY[@]}"; fi' bash "$@"
}
b() { bash_complete _calvera_batch "$completions/calvera-batch.bash" "$batch" "$@"; }
expect "bash: -f lists every format with its name" "$(b -f '')" "$(printf '%s\n' "$formats" | sed 's/\t/  /')"
expect "bash: --format=, split at '='" "$(b --format = '')" "$(printf '%s\n' "$formats" | sed 's/\t/  /')"
expect "bash: one format left is its bare index" "$(b -f "$last")" "$last"
expect "bash: --catalogue's formats" "$(b --catalogue "$work/two.xml" -f '')" \
    "$(printf '0  First test format\n1  Second test format')"
expect "bash: --catalogue=FILE's formats" "$(b --catalogue = "$work/two.xml" -f '')" \
    "$(printf '0  First test format\n1  Second test format')"
expect "bash: --verify=" "$(b --verify = '')" "$(printf 'none\nduration\ndecode')"
expect "bash: --verify=d, not split" "$(b --verify=d)" "$(printf -- '--verify=duration\n--verify=decode')"
expect "bash: --progress=" "$(b --progress = '')" "$(printf 'json\nlines')"
expect "bash: -o completes folders" "$(b -o "$work/files/out")" "$work/files/out-dir"
expect "bash: --watch completes folders" "$(b --watch "$work/files/out")" "$work/files/out-dir"
expect "bash: -s completes list files and folders" "$(b -s "$work/files/jobs")" \
    "$(printf '%s\n' "$work/files/jobs.qfl" "$work/files/jobs-dir")"
expect "bash: files" "$(b -f 0 "$work/files/jobs")" \
    "$(printf '%s\n' "$work/files/jobs.qfl" "$work/files/jobs.txt" "$work/files/jobs-dir")"
expect "bash: files after --" "$(b -- -)" ""
expect "bash: options" "$(b - | sort)" "$(printf '%s\n' $all_options | sort)"
expect "bash: --re" "$(b --re)" "$(printf -- '--recursive\n--retry-failed')"
expect "bash: -r completes folders" "$(b -r "$work/files/out")" "$work/files/out-dir"
expect "bash: --recursive completes folders" "$(b --recursive "$work/files/out")" "$work/files/out-dir"
expect "bash: --files" "$(b --files)" "$(printf -- '--files-from\n--files0-from')"
expect "bash: --fit offers no file" "$(b --fit '')" ""
expect "bash: --fit=" "$(b --fit)" "--fit="
expect "bash: -j counts up from 0" "$(b -j '' | head -n 2)" "$(printf '0\n1')"
w() { bash_complete _calvera "$completions/calvera.bash" calvera "$@"; }
expect "bash: calvera's options" "$(w --)" "$(printf -- '--help\n--version')"
expect "bash: calvera's files" "$(w "$work/files/jobs.")" "$(printf '%s\n' "$work/files/jobs.qfl" "$work/files/jobs.txt")"
echo "bash: passed"

# --- fish: its own completion engine, given the command line.
if command -v fish >/dev/null; then
    for file in "$completions"/*.fish; do
        fish --no-execute "$file" || fail "fish cannot read $file"
    done
    f() { fish --no-config -c "source '$completions/calvera-batch.fish'; complete -C \"\$argv[1]\"" "$batch $*"; }
    expect "fish: -f lists every format with its name" "$(f -f '')" "$formats"
    expect "fish: --catalogue's formats" "$(f --catalogue "$work/two.xml" -f '')" \
        "$(printf '0\tFirst test format\n1\tSecond test format')"
    expect "fish: --verify=" "$(f --verify= | cut -f1)" \
        "$(printf -- '--verify=none\n--verify=duration\n--verify=decode')"
    expect "fish: --new" "$(f --new | cut -f1)" "--new-only"
    expect "fish: --fit" "$(f --fit | cut -f1)" "--fit"
    expect "fish: -o completes folders" "$(f -o "$work/files/out" | cut -f1)" "$work/files/out-dir/"
    echo "fish: passed"
else
    echo "skipped: fish is not installed"
fi

# --- zsh: a real interactive zsh on a pseudo-terminal completes the line; its
# compadd is wrapped to print what it is offered.
if command -v zsh >/dev/null; then
    zsh -n "$completions/_calvera-batch" || fail "zsh cannot read _calvera-batch"
    cat >"$work/complete.zsh" <<'EOF'
# complete.zsh FOLDER LINE: the matches zsh offers at the end of LINE, one a line.
zmodload zsh/zpty
zpty shell zsh -f -i
zpty -w shell "PS1=''; fpath=(${(q)1} \$fpath); autoload -Uz compinit; compinit -u -D"
# The markers are put together, so that the terminal's echo of these lines has none.
zpty -w shell 'offered=offe; offered+=red:; finished=fini; finished+=shed:'
zpty -w shell 'compadd() { if (( ${@[(I)-[OAD]]} )); then builtin compadd "$@"; return; fi
    local -a found; builtin compadd -A found "$@"; (( $#found )) && print -rl -- ${found/#/$offered}
    builtin compadd "$@"; }'
zpty -w shell 'completed() { print -r -- $finished; exit; }; comppostfuncs=(completed)'
zpty -w shell 'bindkey "^I" complete-word'
zpty -n -w shell "$2"$'\t'
while zpty -r shell line; do
    line=${line%$'\r'*}
    [[ $line == *finished:* ]] && break
    [[ $line == *offered:* ]] && print -r -- ${line#*offered:}
done
zpty -d shell
EOF
    z() { timeout 60 zsh -f "$work/complete.zsh" "$completions" "$*" | sort -u; }
    expect "zsh: -f lists every format" "$(z "$batch" -f '')" "$(printf '%s\n' "$formats" | cut -f1)"
    expect "zsh: --catalogue's formats" "$(z "$batch" --catalogue "$work/two.xml" -f '')" "$(printf '0\n1')"
    expect "zsh: --verify=" "$(z "$batch" --verify=)" "$(printf 'none\nduration\ndecode')"
    expect "zsh: -s completes list files and folders" "$(z "$batch" -s "$work/files/jobs")" \
        "$(printf '%s\n' jobs-dir jobs.qfl)"
    expect "zsh: --retry" "$(z "$batch" --retry)" "--retry-failed"
    expect "zsh: calvera's options" "$(z calvera --ver)" "--version"
    echo "zsh: passed"
else
    echo "skipped: zsh is not installed"
fi
echo "1 passed, 0 failed"
