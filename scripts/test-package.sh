#!/usr/bin/env bash
# Builds the two Debian packages, calvera-batch (without a window) and calvera
# (the window, which depends on it), checks them with lintian (any error or
# warning fails), also as a non-native version with a Debian revision, checks
# their Installed-Size against their files, installs calvera-batch alone and
# converts with it as a user who is not root, then installs calvera too, and
# removes both without a trace.
# Needs root (CI runs it); elsewhere it says why it skipped.
#   scripts/test-package.sh BUILD_FOLDER
set -euo pipefail
build=$(cd "$1" && pwd)
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: installing a package needs root"
    exit 0
fi
fail() { echo "FAIL: $*" >&2; exit 1; }
export DEBIAN_FRONTEND=noninteractive
user=calvera-test
id "$user" >/dev/null 2>&1 || useradd --create-home "$user"
home=$(getent passwd "$user" | cut -d: -f6)
as_user() { runuser -u "$user" -- env HOME="$home" "$@"; }
work=$(mktemp -d)
chmod 755 "$work"
revision=$(sed -n 's/^CALVERA_DEBIAN_REVISION:STRING=//p' "$build/CMakeCache.txt")
cleanup() {
    apt-get remove -y -qq calvera calvera-batch >/dev/null 2>&1 || true
    cmake -DCALVERA_DEBIAN_REVISION="$revision" "$build" >/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The packages of the build folder, with the Debian revision given (empty: a native version).
packages() {
    cmake -DCALVERA_DEBIAN_REVISION="$1" "$build" >/dev/null
    rm -f "$build"/calvera_*.deb "$build"/calvera-batch_*.deb
    # Under Debian's umask, which the .deb's ar members take their modes from.
    (umask 022 && cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
    batch=$(ls "$build"/calvera-batch_*.deb)
    window=$(ls "$build"/calvera_*.deb)
    # lintian as Debian runs it, not as root (which it warns about), both packages at once.
    rm -f "$work"/*.deb
    cp "$batch" "$window" "$work/"
    as_user lintian --display-info --fail-on error,warning "$work"/*.deb \
        || fail "lintian reports errors or warnings (revision '$1')"
}

packages 1
[ "$(dpkg-deb --field "$batch" Version)" = "$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")-1" ] \
    || fail "the Debian revision is not in the version"
# (grep -q would end the pipe early, which pipefail takes for a failure.)
dpkg-deb --contents "$window" | grep ' ./usr/share/doc/calvera/changelog.Debian.gz$' >/dev/null \
    || fail "no changelog.Debian.gz"
echo "lintian with a Debian revision: no errors, no warnings"

packages ""
for package in "$batch" "$window"; do
    echo "built $(basename "$package"), $(stat -c %s "$package") bytes"
    dpkg-deb --field "$package" Depends
    # Installed-Size as dpkg-gencontrol counts it: each file its KiB rounded up, each link (its target's
    # name, a few bytes) and each folder 1.
    counted=$(dpkg-deb --contents "$package" | awk '{ if ($1 ~ /^-/) size += int(($3 + 1023) / 1024); else size += 1 }
        END { print size }')
    [ "$(dpkg-deb --field "$package" Installed-Size)" = "$counted" ] \
        || fail "$(basename "$package"): Installed-Size $(dpkg-deb --field "$package" Installed-Size), files $counted KiB"
done
echo "lintian: no errors, no warnings"
# The package without a window needs no GUI library.
! dpkg-deb --field "$batch" Depends | grep -Eq 'libqt6(gui|widgets|dbus)|qpa' || fail "calvera-batch depends on GUI libraries"
dpkg-deb --field "$window" Depends | grep -q "calvera-batch (= $(dpkg-deb --field "$batch" Version))" \
    || fail "calvera does not depend on its calvera-batch"
! dpkg-deb --contents "$batch" | grep 'libexec/calvera/calvera$' >/dev/null || fail "calvera-batch carries the window"

# calvera-batch alone, as on a server.
apt-get install -y -qq "$batch" >/dev/null
[ "$(readlink -f /usr/bin/calvera-batch)" = /usr/libexec/calvera/calvera-batch ] || fail "/usr/bin/calvera-batch"
[ ! -e /usr/bin/calvera ] || fail "calvera-batch installed the window"
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
# The shipped systemd unit, as systemd reads it.
if command -v systemd-analyze >/dev/null; then
    unit=/usr/share/doc/calvera-batch/examples/calvera-watch.service
    install -d -o "$user" -m 700 "$work/runtime"
    as_user env XDG_RUNTIME_DIR="$work/runtime" systemd-analyze verify --user "$unit" >"$work/unit.txt" 2>&1 \
        || fail "systemd-analyze verify: $(cat "$work/unit.txt")"
else
    echo "skipped: systemd-analyze is not installed (systemd)"
fi
rm -rf "$home/Videos/Calvera" "$home/clip.avi"

# The window on top of it.
apt-get install -y -qq "$window" >/dev/null
as_user calvera --version | grep -q '^calvera ' || fail "calvera --version"
[ -f /usr/libexec/calvera/help/index.html ] || fail "no help page"

apt-get remove -y -qq calvera calvera-batch >/dev/null
left=$(find /usr -path '*calvera*' 2>/dev/null)
[ -z "$left" ] || fail "left after removing the packages: $left"
echo "1 passed, 0 failed"
