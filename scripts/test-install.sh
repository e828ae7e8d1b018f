#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses the installed programs as
# a user would: the program folder under libexec/calvera, links on bin/, ffmpeg
# from PATH, outputs in ~/Videos/Calvera/. Checks the desktop files against
# their validators where those are installed, and that uninstalling by the
# install manifest leaves nothing behind.
#   scripts/test-install.sh BUILD_FOLDER
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
manifest="$build/install_manifest.txt"

fail() { echo "FAIL: $*" >&2; exit 1; }
version=$(sed -n 's/^project(Calvera VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
folder="$prefix/libexec/calvera"
[ -L "$prefix/bin/calvera" ] && [ -L "$prefix/bin/calvera-batch" ] || fail "no links on bin/"
[ "$(readlink "$prefix/bin/calvera-batch")" = ../libexec/calvera/calvera-batch ] || fail "bin/ links are not relative"
[ -f "$folder/command" ] || fail "no catalogue next to the installed programs"
[ -f "$folder/help/index.html" ] || fail "no help page next to the installed programs"
[ -x "$prefix/share/doc/calvera-batch/examples/calvera-array.sbatch" ] || fail "no Slurm job-array example"
[ -s "$prefix/share/doc/calvera-batch/examples/calvera-watch.service" ] || fail "no systemd unit example"
[ ! -e "$folder/bin/ffmpeg" ] || fail "an installed folder carries no ffmpeg of its own"
for file in share/bash-completion/completions/calvera-batch share/bash-completion/completions/calvera \
    share/zsh/vendor-completions/_calvera-batch share/fish/vendor_completions.d/calvera-batch.fish \
    share/icons/hicolor/scalable/apps/org.calvera_video.Calvera.svg share/mime/packages/org.calvera_video.Calvera.xml \
    share/doc/calvera/copyright share/doc/calvera/changelog.gz \
    share/doc/calvera-batch/copyright share/doc/calvera-batch/changelog.gz; do
    [ -s "$prefix/$file" ] || fail "$file is not installed"
done

# One version everywhere: the programs, the man pages, the metainfo, the changelog.
[ "$("$prefix/bin/calvera-batch" --version)" = "calvera-batch $version" ] || fail "calvera-batch --version"
[ "$("$prefix/bin/calvera" --version)" = "calvera $version" ] || fail "calvera --version"
for page in calvera calvera-batch; do
    gzip -t "$prefix/share/man/man1/$page.1.gz" || fail "$page.1.gz is not gzip"
    zcat "$prefix/share/man/man1/$page.1.gz" | head -n 1 | grep -q "\"Calvera $version\"" || fail "$page(1) version"
done
metainfo="$prefix/share/metainfo/org.calvera_video.calvera.metainfo.xml"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo's release is not $version"
zcat "$prefix/share/doc/calvera/changelog.gz" | head -n 1 | grep -q "^calvera ($version)" || fail "changelog version"
# The metainfo's screenshots are the ones kept in the repository.
for shot in $(grep -o 'https://calvera-video.org/screenshots/[^<]*' "$metainfo"); do
    [ -s "$source/resources/screenshots/$(basename "$shot")" ] || fail "no resources/screenshots/ for $shot"
done
"$prefix/bin/calvera-batch" --formats | grep -q $'^0\t' || fail "the installed catalogue is not read"

# A real conversion with no output folder: it goes to the user's Videos/Calvera/.
export HOME="$work/home" XDG_STATE_HOME="$work/state" XDG_CACHE_HOME="$work/cache"
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
    # The metainfo with the desktop entry and icons it names; no network for its URLs.
    appstreamcli validate-tree --pedantic --no-net "$prefix" >"$work/appstream.txt" 2>&1 \
        || fail "AppStream: $(cat "$work/appstream.txt")"
    grep -q '^✔ Validation was successful.$' "$work/appstream.txt" || fail "AppStream: $(cat "$work/appstream.txt")"
else
    echo "skipped: appstreamcli is not installed (appstream)"
fi
if command -v update-mime-database >/dev/null; then
    # As the system's trigger does, on a copy: its output is not the package's.
    cp -r "$prefix/share/mime" "$work/mime"
    update-mime-database "$work/mime" 2>"$work/mime.txt" || fail "MIME package: $(cat "$work/mime.txt")"
    grep -q '^application/x-calvera-list:\*\.qfl$' "$work/mime/globs" || fail "no *.qfl glob"
else
    echo "skipped: update-mime-database is not installed (shared-mime-info)"
fi

# Uninstalling by the manifest takes every file, the links on bin/ included;
# the uninstall script also the folders of Calvera's own.
grep -qx "$prefix/bin/calvera-batch" "$manifest" || fail "the bin/ links are not in install_manifest.txt"
cp -a "$prefix" "$work/copy"
xargs -d '\n' rm -f <"$manifest"
left=$(find "$prefix" ! -type d)
[ -z "$left" ] || fail "left after uninstalling by the manifest: $left"
rm -rf "$prefix"
mv "$work/copy" "$prefix"
mkdir "$prefix/share/doc/other"
cmake -DMANIFEST="$manifest" -P "$source/cmake/Uninstall.cmake" >/dev/null
left=$(find "$prefix" -name '*calvera*')
[ -z "$left" ] || fail "left after the uninstall script: $left"
[ -d "$prefix/share/doc/other" ] || fail "the uninstall script removed a folder not of Calvera's"
echo "1 passed, 0 failed"
