#!/bin/sh
# Runs every benchmark program of a build folder in turn (the encoder bench takes
# VANTAQ_BENCH_SECONDS and VANTAQ_BENCH_RATES; see bench/encoder_bench.cpp). The pulldown bench takes
# VANTAQ_BENCH_MIB (stream size, default 1024), VANTAQ_BENCH_DIR (default /dev/shm) and
# VANTAQ_BENCH_ROUNDS (default 5) from the environment; the job list import bench takes
# VANTAQ_BENCH_LIST_LINES.
set -e
build=${1:-build}
for b in "$build"/bench/vantaq_*_bench; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    "$b"
done
# The job list import through the real program (VANTAQ_BENCH_LIST_LINES lines, default 1000).
if [ -x "$build/bin/vantaq" ] && command -v ffmpeg >/dev/null; then
    echo "== job list import (vantaq -source:)"
    "$(dirname "$0")/bench-list-import.sh" "$build"
fi
