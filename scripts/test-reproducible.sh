#!/usr/bin/env bash
# Builds the Debian package twice from this source, in two different build
# folders, under another umask and time zone, with the same SOURCE_DATE_EPOCH
# (the last commit's time unless set), and checks that the two packages are
# byte for byte the same. Only the programs are built (no tests, tools or
# benchmarks), as for a release.
#   scripts/test-reproducible.sh
set -euo pipefail
source=$(cd "$(dirname "$0")/.." && pwd)
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$source" log -1 --format=%ct)}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
jobs=${JOBS:-$(nproc)}

package() { # BUILD_FOLDER UMASK TZ
    (
        umask "$2"
        export TZ=$3
        cmake -S "$source" -B "$1" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DCALVERA_TOOLS=OFF \
            -DCALVERA_BENCH=OFF >"$work/log" 2>&1 || { cat "$work/log"; exit 1; }
        cmake --build "$1" -j"$jobs" --target calvera calvera-batch compressed_docs >"$work/log" 2>&1 \
            || { cat "$work/log"; exit 1; }
        # cpack gives the .deb's ar members the umask's modes; Debian's tools package under 022.
        umask 022
        cd "$1" && cpack -G DEB >"$work/log" 2>&1 || { cat "$work/log"; exit 1; }
    )
    ls "$1"/calvera_*.deb
}
first=$(package "$work/one/build" 022 UTC)
second=$(package "$work/second-build-elsewhere" 002 Pacific/Auckland)

if cmp -s "$first" "$second"; then
    echo "reproducible: $(basename "$first"), $(stat -c %s "$first") bytes, sha256 $(sha256sum <"$first" | cut -c1-16)…"
    echo "1 passed, 0 failed"
    exit 0
fi
echo "FAIL: two builds with SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH differ" >&2
for deb in "$first" "$second"; do
    mkdir -p "$deb.x"
    dpkg-deb --raw-extract "$deb" "$deb.x"
done
diff <(dpkg-deb -c "$first") <(dpkg-deb -c "$second") >&2 || true
diff "$first.x/DEBIAN" "$second.x/DEBIAN" >&2 || true
diff -r "$first.x" "$second.x" >&2 || true
ar tv "$first" >&2
ar tv "$second" >&2
echo "0 passed, 1 failed"
exit 1
