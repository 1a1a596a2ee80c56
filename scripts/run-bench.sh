#!/bin/sh
# Runs every benchmark program of a build folder in turn.
set -e
build=${1:-build}
for b in "$build"/bench/vantaq_*_bench; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    "$b"
done
