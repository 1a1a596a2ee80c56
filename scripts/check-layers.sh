#!/bin/sh
# Fails when a folder of src/ includes a header of a folder above it. Folders are listed from
# the bottom up; a folder may include its own headers and those of the folders listed before it.
root=${1:-.}
layers="platform store log templates env chapters framesrv source jobs ecl pulldown run author cluster app gui"

rank() {
    i=0
    for l in $layers; do
        [ "$l" = "$1" ] && { echo $i; return; }
        i=$((i + 1))
    done
    echo -1
}

status=0
for dir in "$root"/src/*/; do
    folder=$(basename "$dir")
    own=$(rank "$folder")
    if [ "$own" -lt 0 ]; then
        echo "src/$folder has no place in the layers of $0" >&2
        status=1
        continue
    fi
    hits=$(grep -rnoE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z_]+/' "$dir" \
        --include='*.h' --include='*.cpp' | sed -E 's/[[:space:]]*#[[:space:]]*include[[:space:]]*"//; s#/$##')
    for hit in $hits; do
        target=${hit##*:}
        where=${hit%:*}
        other=$(rank "$target")
        if [ "$other" -gt "$own" ] || [ "$other" -lt 0 ]; then
            echo "${where#"$root"/}: src/$folder includes $target/, a higher layer" >&2
            status=1
        fi
    done
done
exit $status
