#!/bin/sh
# Runs every benchmark program of a build folder in turn (the encoder bench takes
# VANTAQ_BENCH_SECONDS and VANTAQ_BENCH_RATES; see bench/encoder_bench.cpp). The pulldown bench takes
# VANTAQ_BENCH_MIB (stream size, default 1024), VANTAQ_BENCH_DIR (default /dev/shm) and
# VANTAQ_BENCH_ROUNDS (default 5) from the environment.
set -e
build=${1:-build}
for b in "$build"/bench/vantaq_*_bench; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    "$b"
done
