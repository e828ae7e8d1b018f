#!/usr/bin/env bash
# Builds the Debian package, installs it with apt-get, converts with the
# installed calvera-batch as a user who is not root, and removes the package.
# Needs root (CI runs it); elsewhere it says why it skipped.
#   scripts/test-package.sh BUILD_FOLDER
set -euo pipefail
build=$(cd "$1" && pwd)
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: installing a package needs root"
    exit 0
fi
(cd "$build" && cpack -G DEB >/dev/null)
package=$(ls "$build"/calvera_*.deb)
echo "built $(basename "$package")"
dpkg-deb --field "$package" Depends
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "$package" >/dev/null
trap 'apt-get remove -y -qq calvera >/dev/null' EXIT

user=calvera-test
id "$user" >/dev/null 2>&1 || useradd --create-home "$user"
home=$(getent passwd "$user" | cut -d: -f6)
as_user() { runuser -u "$user" -- env HOME="$home" "$@"; }
as_user calvera-batch --formats | head -3
as_user ffmpeg -v error -y -f lavfi -i testsrc=duration=1:size=160x120:rate=10 -c:v mpeg4 "$home/clip.avi"
mp4=$(as_user calvera-batch --formats | awk -F'\t' '$3 == "mp4" { print $1; exit }')
as_user calvera-batch -f "$mp4" "$home/clip.avi"
[ -s "$home/Videos/Calvera/clip.mp4" ] || { echo "FAIL: no output in $home/Videos/Calvera/"; exit 1; }
man -w calvera-batch >/dev/null 2>&1 || [ -f /usr/share/man/man1/calvera-batch.1.gz ] || [ -f /usr/share/man/man1/calvera-batch.1 ] \
    || { echo "FAIL: no man page"; exit 1; }
rm -rf "$home/Videos/Calvera" "$home/clip.avi"
echo "1 passed, 0 failed"
