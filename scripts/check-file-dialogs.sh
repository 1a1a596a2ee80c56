#!/bin/sh
# Fails when a file dialog could open the store's files: the static QFileDialog::get*() helpers,
# a QFileDialog made outside src/gui/file_dialogs.*, or a QFileSystemModel in a file that never
# sets an icon provider. Closing any descriptor of the store drops SQLite's locks on it.
root=${1:-.}
status=0
hits=$(grep -rn 'QFileDialog::get' "$root/src" --include='*.cpp' --include='*.h' || true)
if [ -n "$hits" ]; then
    echo "static QFileDialog helpers (use gui::ChooseExistingFile/ChooseExistingFolder):" >&2
    echo "$hits" >&2
    status=1
fi
hits=$(grep -rnE 'QFileDialog[[:space:]]*(\(|[[:space:]]+[A-Za-z_]+[[:space:]]*[({;]|\*[[:space:]]*[A-Za-z_]+[[:space:]]*=[[:space:]]*new)|new[[:space:]]+QFileDialog' \
    "$root/src" --include='*.cpp' --include='*.h' | grep -v '/src/gui/file_dialogs\.' || true)
if [ -n "$hits" ]; then
    echo "a QFileDialog made outside src/gui/file_dialogs (use gui::FileDialog):" >&2
    echo "$hits" >&2
    status=1
fi
for file in $(grep -rlE 'QFileSystemModel' "$root/src" --include='*.cpp' --include='*.h'); do
    if ! grep -q 'setIconProvider' "$file"; then
        echo "$file: a QFileSystemModel without setIconProvider (use gui::NameOnlyIconProvider)" >&2
        status=1
    fi
done
exit $status
