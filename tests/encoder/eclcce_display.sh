#!/bin/sh
# The configuration call (EclCCE without arguments): without a display it prints its settings
# and ends; on a virtual X display it opens its settings window, which stays until it is ended.
# Exit status 77 (skipped) when Xvfb or xdotool is not installed; under CI (CI=true) that fails.
eclcce="$1"
skip() {
    echo "$1"
    [ "${CI:-}" != true ] || exit 1
    exit 77
}
command -v Xvfb >/dev/null 2>&1 || skip "Xvfb not installed: skipped"
command -v xdotool >/dev/null 2>&1 || skip "xdotool not installed: skipped"
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
cp "$eclcce" "$dir/EclCCE" || exit 1

# No display named, a headless Qt platform, and a display that nobody serves.
for setting in "DISPLAY=" "QT_QPA_PLATFORM=offscreen" "DISPLAY=:64999"; do
    # A window nobody can see would never end: the call must end by itself.
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$setting" \
          timeout 30 "$dir/EclCCE" </dev/null 2>&1) ||
        { echo "with $setting the call failed or did not end: $out"; exit 1; }
    case "$out" in
    *"--set-cce"*) ;;
    *) echo "with $setting it printed: $out"; exit 1 ;;
    esac
done

# A virtual X display of its own: -displayfd picks a free display number and writes it when the
# server is ready, so tests running at the same time never share or race for a display.
# -noreset: EclCCE's display probe connects and leaves; a server that resets when its last client
# leaves would refuse the settings window's own connection meanwhile.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$dir/display" </dev/null \
    >"$dir/xvfb.log" 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null; rm -rf "$dir"' EXIT
tries=0
until [ -s "$dir/display" ]; do
    tries=$((tries + 1))
    if [ $tries -gt 300 ] || ! kill -0 $xvfb 2>/dev/null; then
        echo "Xvfb did not start:"; cat "$dir/xvfb.log"; exit 1
    fi
    sleep 0.1
done
export DISPLAY=":$(cat "$dir/display")"

env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$dir/EclCCE" >"$dir/out" 2>&1 </dev/null &
pid=$!
tries=0
until xdotool search --name "^EclCCE settings\$" >/dev/null 2>&1; do
    if ! kill -0 $pid 2>/dev/null; then
        echo "it ended without a window:"; cat "$dir/out"; exit 1
    fi
    tries=$((tries + 1))
    if [ $tries -gt 600 ]; then
        echo "no window after 60 s:"; cat "$dir/out"; kill $pid; exit 1
    fi
    sleep 0.1
done
kill -TERM $pid
wait $pid
status=$?
[ $status -eq 143 ] || { echo "ended with status $status"; cat "$dir/out"; exit 1; }
