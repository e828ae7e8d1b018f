#!/usr/bin/env bash
# Builds the Debian packages (calvera-batch and calvera) twice from this
# source, in two different build folders, under another umask and time zone,
# with the same SOURCE_DATE_EPOCH (the last commit's time unless set), and
# checks that each package is byte for byte the same both times. Only the
# programs are built (no tests, tools or benchmarks), as for a release.
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
}

# What differs between two packages that should be the same.
explain() { # FIRST SECOND
    for deb in "$1" "$2"; do
        mkdir -p "$deb.x"
        dpkg-deb --raw-extract "$deb" "$deb.x"
    done
    diff <(dpkg-deb -c "$1") <(dpkg-deb -c "$2") >&2 || true
    diff "$1.x/DEBIAN" "$2.x/DEBIAN" >&2 || true
    diff -r "$1.x" "$2.x" >&2 || true
    ar tv "$1" >&2
    ar tv "$2" >&2
}

package "$work/one/build" 022 UTC
package "$work/second-build-elsewhere" 002 Pacific/Auckland

differing=0
for name in calvera-batch calvera; do
    first=$(ls "$work/one/build/${name}"_*.deb)
    second=$(ls "$work/second-build-elsewhere/${name}"_*.deb)
    if cmp -s "$first" "$second"; then
        echo "reproducible: $(basename "$first"), $(stat -c %s "$first") bytes, sha256 $(sha256sum <"$first" | cut -c1-16)…"
        continue
    fi
    differing=1
    echo "FAIL: two builds of $name with SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH differ" >&2
    explain "$first" "$second"
done
if [ "$differing" = 0 ]; then
    echo "1 passed, 0 failed"
    exit 0
fi
echo "0 passed, 1 failed"
exit 1
