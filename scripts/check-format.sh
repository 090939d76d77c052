#!/usr/bin/env bash
# Fails when a C++ source of the project differs from what clang-format makes of it.
# Usage: scripts/check-format.sh        (scripts/check-format.sh --fix rewrites them)
set -euo pipefail
cd "$(dirname "$0")/.."

# The layout is that of clang-format 14 (Debian 12's); other versions lay some constructs
# out differently, so they can only rewrite, not judge.
format=clang-format
command -v clang-format-14 >/dev/null && format=clang-format-14
version=$("$format" --version | sed -n 's/.*version \([0-9]*\).*/\1/p')

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
    mapfile -t files < <(find platform xls app cli tests bench \( -name '*.cpp' -o -name '*.h' \) | sort)
fi
if [[ "${1:-}" == "--fix" ]]; then
    "$format" -i "${files[@]}"
    exit 0
fi
if [[ "$version" != 14 ]]; then
    echo "clang-format $version is not version 14: the layout check is left out." >&2
    exit 0
fi
if ! "$format" --dry-run --Werror "${files[@]}"; then
    echo "Sources differ from their clang-format layout; scripts/check-format.sh --fix rewrites them." >&2
    exit 1
fi
