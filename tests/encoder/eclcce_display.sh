#!/bin/sh
# The configuration call (EclCCE without arguments): without a display it prints its settings
# and ends; on a virtual X display it opens its settings window, which stays until it is ended.
# Exit status 77 (skipped) when Xvfb or xdotool is not installed.
eclcce="$1"
command -v xvfb-run >/dev/null 2>&1 || { echo "xvfb-run not installed: skipped"; exit 77; }
command -v xdotool >/dev/null 2>&1 || { echo "xdotool not installed: skipped"; exit 77; }
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

xvfb-run -a sh -c '
    env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$1" >"$2/out" 2>&1 </dev/null &
    pid=$!
    tries=0
    until xdotool search --name "^EclCCE settings\$" >/dev/null 2>&1; do
        if ! kill -0 $pid 2>/dev/null; then
            echo "it ended without a window:"; cat "$2/out"; exit 1
        fi
        tries=$((tries + 1))
        if [ $tries -gt 600 ]; then
            echo "no window after 60 s:"; cat "$2/out"; kill $pid; exit 1
        fi
        sleep 0.1
    done
    kill -TERM $pid
    wait $pid
    status=$?
    [ $status -eq 143 ] || { echo "ended with status $status"; cat "$2/out"; exit 1; }
' sh "$dir/EclCCE" "$dir"
