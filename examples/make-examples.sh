#!/usr/bin/env bash
# Regenerates the sample workbooks examples/*.xls from their flat XML sources
# examples/src/*.fods, using LibreOffice's Excel 97-2003 export.
#
# Needs LibreOffice Calc (Debian/Ubuntu: apt-get install libreoffice-calc-nogui).
# Run it by hand after changing a source; the .xls files it writes are
# committed next to this script, so building and testing never need it.
#
# Usage: examples/make-examples.sh [SOURCE.fods...]   (default: all of src/)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

soffice_bin="$(command -v soffice || command -v libreoffice || true)"
if [[ -z "$soffice_bin" ]]; then
    echo "make-examples.sh: soffice not found; install libreoffice-calc-nogui" >&2
    exit 1
fi

if [[ $# -gt 0 ]]; then
    sources=("$@")
else
    sources=("$here"/src/*.fods)
fi

# A throwaway profile: LibreOffice then runs as root and in CI, never touches
# a user's own settings, and cannot collide with a LibreOffice already open.
profile="$(mktemp -d /tmp/vorlix-examples-profile.XXXXXX)"
trap 'rm -rf "$profile"' EXIT

# A fixed locale keeps the exported number formats the same on every machine
# (C is taken as English, United States).
export LC_ALL=C.UTF-8

for src in "${sources[@]}"; do
    name="$(basename "$src" .fods)"
    rm -f "$here/$name.xls"
    # LibreOffice chats on stdout and stderr (a javaldx warning without Java
    # is normal); show it only when the conversion fails.
    if ! log="$("$soffice_bin" -env:UserInstallation="file://$profile" --headless \
            --norestore --convert-to 'xls:MS Excel 97' --outdir "$here" "$src" 2>&1)" \
        || [[ ! -s "$here/$name.xls" ]]; then
        printf '%s\n' "$log" >&2
        echo "make-examples.sh: LibreOffice wrote no $name.xls from $src" >&2
        exit 1
    fi
    echo "wrote examples/$name.xls"
done
