#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses the installed programs as
# a user would: the program folder under lib/calvera, links on bin/, ffmpeg from
# PATH, outputs in ~/Videos/Calvera/. Validates the desktop entry and the
# AppStream file where their validators are installed.
#   scripts/test-install.sh BUILD_FOLDER
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }
[ -L "$prefix/bin/calvera" ] && [ -L "$prefix/bin/calvera-batch" ] || fail "no links on bin/"
[ -f "$prefix/lib/calvera/command" ] || fail "no catalogue next to the installed programs"
[ -x "$prefix/share/doc/calvera/examples/calvera-array.sbatch" ] || fail "no Slurm job-array example"
[ ! -e "$prefix/lib/calvera/bin/ffmpeg" ] || fail "an installed folder carries no ffmpeg of its own"
version=$("$prefix/bin/calvera-batch" --version)
[ "$version" = "calvera-batch $(sed -n 's/^project(Calvera VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")" ] \
    || fail "version: $version"
"$prefix/bin/calvera" --version | grep -q '^calvera ' || fail "calvera --version"
"$prefix/bin/calvera-batch" --formats | grep -q $'^0\t' || fail "the installed catalogue is not read"

# A real conversion with no output folder: it goes to the user's Videos/Calvera/.
export HOME="$work/home" XDG_STATE_HOME="$work/state"
unset XDG_CONFIG_HOME
mkdir -p "$HOME"
ffmpeg -v error -f lavfi -i testsrc=duration=1:size=160x120:rate=10 -c:v mpeg4 "$work/clip.avi"
mp4=$("$prefix/bin/calvera-batch" --formats | awk -F'\t' '$3 == "mp4" { print $1; exit }')
"$prefix/bin/calvera-batch" -f "$mp4" "$work/clip.avi" >"$work/out.txt" 2>&1 || fail "conversion: $(cat "$work/out.txt")"
[ -s "$HOME/Videos/Calvera/clip.mp4" ] || fail "no output in ~/Videos/Calvera/: $(cat "$work/out.txt")"

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix/share/applications/org.calvera_video.Calvera.desktop" || fail "desktop entry"
else
    echo "skipped: desktop-file-validate is not installed (desktop-file-utils)"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$prefix/share/metainfo/org.calvera_video.Calvera.metainfo.xml" \
        || fail "AppStream file"
else
    echo "skipped: appstreamcli is not installed (appstream)"
fi
echo "1 passed, 0 failed"
