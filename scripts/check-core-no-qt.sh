#!/bin/sh
# Fails when a core folder includes a Qt header: only src/app/qt, src/platform/qt
# and the program's own folder may see Qt.
root=${1:-.}
hits=$(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](Q[A-Za-z]+|Qt[A-Za-z]*/)' \
    "$root/src" --include='*.h' --include='*.cpp' --include='*.hpp' \
    | grep -vE '^[^:]*/src/(platform/qt|gui)/' || true)
if [ -n "$hits" ]; then
    echo "Qt headers included by the core:" >&2
    echo "$hits" >&2
    exit 1
fi
exit 0
