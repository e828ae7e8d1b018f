#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian (any error or warning
# fails), installs it with apt-get, converts with the installed calvera-batch
# as a user who is not root, and removes the package.
# Needs root (CI runs it); elsewhere it says why it skipped.
#   scripts/test-package.sh BUILD_FOLDER
set -euo pipefail
build=$(cd "$1" && pwd)
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: installing a package needs root"
    exit 0
fi
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -f "$build"/calvera_*.deb
# Under Debian's umask, which the .deb's ar members take their modes from.
(umask 022 && cd "$build" && cpack -G DEB >/dev/null)
package=$(ls "$build"/calvera_*.deb)
echo "built $(basename "$package"), $(stat -c %s "$package") bytes"
dpkg-deb --field "$package" Depends

user=calvera-test
id "$user" >/dev/null 2>&1 || useradd --create-home "$user"
home=$(getent passwd "$user" | cut -d: -f6)
as_user() { runuser -u "$user" -- env HOME="$home" "$@"; }

# lintian as Debian runs it, not as root (which it warns about).
work=$(mktemp -d)
chmod 755 "$work"
cp "$package" "$work/"
as_user lintian --display-info --fail-on error,warning "$work/$(basename "$package")" \
    || fail "lintian reports errors or warnings"
echo "lintian: no errors, no warnings"

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "$package" >/dev/null
trap 'apt-get remove -y -qq calvera >/dev/null; rm -rf "$work"' EXIT

[ "$(readlink -f /usr/bin/calvera-batch)" = /usr/libexec/calvera/calvera-batch ] || fail "/usr/bin/calvera-batch"
as_user calvera --version | grep -q '^calvera ' || fail "calvera --version"
as_user calvera-batch --formats | head -3
as_user ffmpeg -v error -y -f lavfi -i testsrc=duration=1:size=160x120:rate=10 -c:v mpeg4 "$home/clip.avi"
mp4=$(as_user calvera-batch --formats | awk -F'\t' '$3 == "mp4" { print $1; exit }')
as_user calvera-batch -f "$mp4" "$home/clip.avi"
[ -s "$home/Videos/Calvera/clip.mp4" ] || fail "no output in $home/Videos/Calvera/"
[ -f /usr/share/man/man1/calvera-batch.1.gz ] || fail "no man page"
# The installed bash completion, loaded as bash-completion loads it, offers the formats.
reply=$(as_user bash --norc -c 'source /usr/share/bash-completion/completions/calvera-batch
    COMP_WORDS=(calvera-batch --format ""); COMP_CWORD=2; _calvera_batch; printf "%s\n" "${COMPREPLY[@]}"')
[ "$(printf '%s\n' "$reply" | head -n 1)" = "0  $(as_user calvera-batch --formats | head -n 1 | cut -f2)" ] \
    || fail "bash completion of --format: $reply"
rm -rf "$home/Videos/Calvera" "$home/clip.avi"
echo "1 passed, 0 failed"
