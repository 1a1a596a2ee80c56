#!/bin/sh
# phase.sh FILE NAME COMMAND...  runs COMMAND and adds "NAME  SECONDS" (and FAILED) to FILE.
# phase.sh --report FILE         prints FILE's phases and their total.
if [ "$1" = --report ]; then
    [ -f "$2" ] || exit 0
    echo "== time per phase"
    cat "$2"
    awk '{ for (i = 1; i <= NF; i++) if ($i ~ /^[0-9]+s$/) t += $i } END { printf "%-18s %5ds\n", "total", t }' "$2"
    exit 0
fi
file=$1
name=$2
shift 2
start=$(date +%s)
"$@"
status=$?
seconds=$(($(date +%s) - start))
if [ "$status" -eq 0 ]; then result=""; else result="  FAILED"; fi
printf '%-18s %5ds%s\n' "$name" "$seconds" "$result" >>"$file"
exit "$status"
