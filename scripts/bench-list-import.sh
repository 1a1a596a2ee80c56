#!/bin/sh
# Times the import of job lists through the real program: `vantaq -clear -source:LIST` without a
# display on a fresh store, from start to the list's summary line in the log, with the peak
# memory. An empty list is the baseline of the same run; each figure is also given as a ratio
# to it. VANTAQ_BENCH_LIST_LINES (default 1000) sets the lines of the two lists: one that names
# one source on every line, one that names a different source on each.
set -e
build=${1:-build}
bin=$(cd "$build/bin" && pwd)
lines=${VANTAQ_BENCH_LIST_LINES:-1000}
work=$(mktemp -d /tmp/vantaq-list-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
ffmpeg -v error -f lavfi -i testsrc2=size=720x480:rate=24000/1001 -t 1 -c:v mjpeg -q:v 5 \
    "$work/film.avi"
mkdir "$work/src"
make_list() { # LINES same|many FILE
    {
        printf '; 1.0.1.5\r\n'
        i=0
        while [ "$i" -lt "$1" ]; do
            if [ "$2" = same ]; then src="$work/film.avi"; else
                src="$work/src/f$i.avi"
                ln -f "$work/film.avi" "$src"
            fi
            printf '0,%s,0,8000,4000,2,1,-1,-1,-1,0,0,0,1,1\r\n' "$src"
            i=$((i + 1))
        done
    } >"$3"
}
import_list() { # FILE -> "seconds peakKiB summary"
    store="$work/store"
    rm -rf "$store"
    mkdir "$store"
    export VANTAQ_STORE="$store/store.sqlite"
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Pellmoor\\Vantaq]\r\n"EnableLogging"=dword:00000001\r\n"OutputSameDir"=dword:00000001\r\n' >"$store/s.reg"
    "$bin/vantaq-reg" import "$store/s.reg"
    rm -f "$bin/vantaq.log"
    start=$(date +%s.%N)
    QT_QPA_PLATFORM=offscreen "$bin/vantaq" -clear "-source:$1" -minimize >/dev/null 2>&1 &
    pid=$!
    peak=0
    until grep -q "Job list .*added" "$bin/vantaq.log" 2>/dev/null; do
        kill -0 "$pid" 2>/dev/null || break
        peak=$(awk '/VmHWM/{print $2}' "/proc/$pid/status" 2>/dev/null || echo "$peak")
        sleep 0.1
    done
    end=$(date +%s.%N)
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    echo "$(echo "$end - $start" | bc) $peak $(grep -a "Job list .*added" "$bin/vantaq.log" |
        tr -d '\r' | sed 's/.*: //')"
}
make_list 0 same "$work/empty.txt"
make_list "$lines" same "$work/same.txt"
make_list "$lines" many "$work/many.txt"
set -- $(import_list "$work/empty.txt")
base=$1
echo "empty list: ${base} s, peak ${2} KiB"
for list in same many; do
    set -- $(import_list "$work/$list.txt")
    secs=$1
    peak=$2
    shift 2
    echo "$lines lines, $list source(s): ${secs} s ($(echo "scale=1; $secs / $base" | bc) x empty)," \
        "peak ${peak} KiB; $*"
done
