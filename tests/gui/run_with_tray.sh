#!/bin/sh
# Runs a test program on a virtual X display with a notification area (trayer) running.
# Exit status 77 (skipped) when Xvfb or trayer is not installed.
command -v xvfb-run >/dev/null 2>&1 || { echo "xvfb-run not installed: skipped"; exit 77; }
command -v trayer >/dev/null 2>&1 || { echo "trayer not installed: skipped"; exit 77; }
exec xvfb-run -a -s "-screen 0 1280x800x24" sh -c '
    trayer --edge top --align right --widthtype pixel --width 120 --height 24 &
    tray=$!
    sleep 1
    "$@"
    status=$?
    kill $tray 2>/dev/null
    exit $status' sh "$@"
