#!/bin/sh
# run-fuzzer.sh FUZZER SEEDS WORKDIR MAX_LEN
# Runs a libFuzzer program on the committed seeds in SEEDS, growing a fresh corpus in
# WORKDIR/corpus (emptied first). With FUZZ_SECONDS set it runs that long from a random seed
# (`make fuzz-long`); otherwise FUZZ_RUNS inputs (2000 when unset) from a fixed seed, so each run
# tries the same inputs (the ctest fuzz_* tests). A failing input is left in WORKDIR as crash-*,
# leak-*, timeout-* or oom-*.
set -eu
[ $# -eq 4 ] || { echo "usage: $0 FUZZER SEEDS WORKDIR MAX_LEN" >&2; exit 2; }
fuzzer=$1 seeds=$2 work=$3 maxlen=$4
rm -rf "$work/corpus"
mkdir -p "$work/corpus"
cd "$work"
if [ -n "${FUZZ_SECONDS:-}" ]; then
    limit="-max_total_time=$FUZZ_SECONDS -seed=0"
else
    limit="-runs=${FUZZ_RUNS:-2000} -seed=1"
fi
# One input may take at most 10 s and 1 GiB; a slower or larger one is a finding.
# shellcheck disable=SC2086
exec "$fuzzer" $limit -max_len="$maxlen" -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 \
    -artifact_prefix="$work/" corpus "$seeds"
