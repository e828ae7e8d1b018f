#!/usr/bin/env bash
# The catalogues of Calvera's texts, resources/translations/calvera_<language>.ts.
#   scripts/translations.sh update     brings them up to date with the sources (Qt's lupdate)
#   scripts/translations.sh add LANG   starts the catalogue of a new language (fr, pt_BR, …)
#   scripts/translations.sh check      fails unless they are up to date and every text is translated
# LUPDATE names lupdate when it is not where Qt 6 keeps its tools.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lupdate=${LUPDATE:-$(qtpaths6 --query QT_HOST_BINS 2>/dev/null || echo /usr/lib/qt6/bin)/lupdate}
sources=(app engine joblist widgets)

# The shipped catalogue's format names as a source lupdate reads (the catalogue
# itself stays plain XML): one <format> element a line, its XML escapes undone.
names() {
    echo "// Written by scripts/translations.sh from resources/command; run its update after changing the catalogue."
    echo
    echo '#include "ShippedFormatNames.h"'
    echo
    echo '#include <QtGlobal>'
    echo
    echo 'namespace {'
    echo
    echo 'const char* const kNames[] = {'
    sed -n 's|.*<format>\(.*\)</format>.*|\1|p' "$root/resources/command" |
        sed -e 's/&lt;/</g' -e 's/&gt;/>/g' -e 's/&quot;/"/g' -e "s/&apos;/'/g" -e 's/&amp;/\&/g' \
            -e 's/\\/\\\\/g' -e 's/"/\\"/g' -e 's/.*/    QT_TRANSLATE_NOOP("Catalogue", "&"),/'
    echo '};'
    echo
    echo '} // namespace'
    echo
    echo 'std::span<const char* const> shippedFormatNames()'
    echo '{'
    echo '    return kNames;'
    echo '}'
}
generated="$root/engine/ShippedFormatNames.cpp"

# Reads the sources into one catalogue, without line numbers (they would change with every edit).
refresh() {
    (cd "$root" && "$lupdate" "${sources[@]}" -locations none -no-obsolete -source-language en "${@:2}" -ts "$1")
}

case "${1:-}" in
update)
    names >"$generated"
    for catalogue in "$root"/resources/translations/calvera_*.ts; do
        refresh "$catalogue"
    done
    ;;
add)
    [ -n "${2:-}" ] || { echo "usage: $0 add LANGUAGE" >&2; exit 2; }
    refresh "$root/resources/translations/calvera_$2.ts" -target-language "$2"
    ;;
check)
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    status=0
    if ! names | cmp -s - "$generated"; then
        echo "$generated does not hold the names of resources/command: run scripts/translations.sh update"
        status=1
    fi
    for catalogue in "$root"/resources/translations/calvera_*.ts; do
        copy="$work/$(basename "$catalogue")"
        cp "$catalogue" "$copy"
        refresh "$copy" >"$work/said" 2>&1
        # lupdate names a source line only to warn about it.
        if grep -E '\.(cpp|h):[0-9]+' "$work/said"; then
            status=1
        fi
        if ! cmp -s "$catalogue" "$copy"; then
            echo "$catalogue is not up to date with the sources: run scripts/translations.sh update"
            diff -u "$catalogue" "$copy" | head -40
            status=1
        fi
        if grep -q 'type="unfinished"' "$copy"; then
            echo "$catalogue has texts without a translation:"
            grep -B2 'type="unfinished"' "$copy" | grep '<source>' | head -20
            status=1
        fi
    done
    exit $status
    ;;
*)
    echo "usage: $0 update | add LANGUAGE | check" >&2
    exit 2
    ;;
esac
