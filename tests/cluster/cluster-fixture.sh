#!/bin/sh
# cluster-fixture.sh start|stop STATEFILE
# The cluster tests' one-node Slurm cluster. start: a fresh cluster in a short folder under
# /tmp on a free port; STATEFILE then holds "SLURM_CONF=..." and "DIR=...". Where no cluster
# can be started (Slurm or munge missing, not root, daemons refusing), STATEFILE holds
# "SKIP: <reason>" and the tests skip with that reason; start itself still succeeds, except
# under CI (CI=true), where it fails with that reason.
# stop: stops the cluster named in STATEFILE and removes its folder and STATEFILE.
set -u
[ $# -eq 2 ] || { echo "usage: $0 start|stop STATEFILE" >&2; exit 2; }
HERE=$(cd "$(dirname "$0")" && pwd)
STATE=$2

skip() {
    echo "SKIP: $*" > "$STATE"
    echo "cluster-fixture: not started: $*"
    # Under CI the cluster tests must run: a cluster that cannot start fails the run.
    [ "${CI:-}" != true ] || exit 1
    exit 0
}

port_busy() {
    awk -v p="$(printf ':%04X' "$1")" '$4 == "0A" && substr($2, length($2) - 4) == p' \
        /proc/net/tcp /proc/net/tcp6 2>/dev/null | grep -q .
}

case $1 in
start)
    # A start without its stop (ctest --repeat runs the setup again): the earlier cluster ends.
    old=$(sed -n 's/^DIR=//p' "$STATE" 2>/dev/null)
    if [ -n "$old" ]; then
        PATH="$PATH:/usr/sbin:/sbin" "$HERE/slurm/stop-cluster.sh" "$old" > /dev/null 2>&1
        rm -rf "$old"
    fi
    rm -f "$STATE"
    for prog in slurmctld slurmd munged sbatch scontrol; do
        PATH="$PATH:/usr/sbin:/sbin" command -v $prog > /dev/null ||
            skip "$prog is not installed (apt-get install slurm-wlm munge)"
    done
    [ "$(id -u)" -eq 0 ] || skip "the test cluster's daemons run as root; run the tests as root"
    dir=$(mktemp -d /tmp/vqslurm.XXXXXX) || skip "no folder under /tmp"
    # munged wants every folder above its socket searchable by all.
    chmod 755 "$dir"
    # A free pair of ports (slurmctld, slurmd) away from the standard ones.
    port=$((17000 + $$ % 2000 * 2))
    tries=0
    while port_busy "$port" || port_busy $((port + 1)); do
        port=$((port + 2)); tries=$((tries + 1))
        [ $tries -lt 200 ] || skip "no free port pair found"
    done
    if ! out=$(PATH="$PATH:/usr/sbin:/sbin" SLURM_TEST_PORT=$port SLURM_TEST_CPUS=2 \
            "$HERE/slurm/start-cluster.sh" "$dir" 2>&1); then
        rm -rf "$dir"
        echo "$out" >&2
        skip "start-cluster.sh failed: $(echo "$out" | grep -m1 'start-cluster:')"
    fi
    printf 'SLURM_CONF=%s/etc/slurm.conf\nDIR=%s\n' "$dir" "$dir" > "$STATE"
    echo "$out"
    ;;
stop)
    [ -f "$STATE" ] || exit 0
    dir=$(sed -n 's/^DIR=//p' "$STATE")
    if [ -n "$dir" ]; then
        PATH="$PATH:/usr/sbin:/sbin" "$HERE/slurm/stop-cluster.sh" "$dir"
        rm -rf "$dir"
    fi
    rm -f "$STATE"
    ;;
*)
    echo "usage: $0 start|stop STATEFILE" >&2
    exit 2
    ;;
esac
