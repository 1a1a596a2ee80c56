#!/bin/sh
# An X session for the window tests: Xvfb on a free display, openbox as the window manager and
# trayer as the notification area.
#   xsession.sh start DIR   starts them; DIR/display gets the display number, DIR/pids the ids
#   xsession.sh stop DIR    ends exactly those processes, newest first, and waits for them
# Every child's output goes to a log in DIR, so that nothing keeps ctest's output open.
set -u
action=$1
dir=$2

fail() {
    echo "xsession: $*" >&2
    for log in "$dir"/*.log; do
        [ -s "$log" ] && { echo "--- $log" >&2; tail -n 20 "$log" >&2; }
    done
    exit 1
}

# Waits until the command succeeds, checking every tenth of a second, for at most 20 seconds.
wait_for() {
    what=$1
    shift
    tries=200
    until "$@" >/dev/null 2>&1; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || fail "$what did not come up"
        sleep 0.1
    done
}

# Whether the process still runs (an exited one may linger as a zombie until it is reaped).
running() {
    case "$(ps -o stat= -p "$1" 2>/dev/null)" in
    "" | Z*) return 1 ;;
    *) return 0 ;;
    esac
}

stop() {
    [ -f "$dir/pids" ] || return 0
    for pid in $(tac "$dir/pids"); do
        kill "$pid" 2>/dev/null
        tries=100
        while running "$pid" && [ "$tries" -gt 0 ]; do
            tries=$((tries - 1))
            sleep 0.05
        done
        kill -9 "$pid" 2>/dev/null
    done
    rm -f "$dir/pids" "$dir/display"
}

case "$action" in
start)
    for tool in Xvfb openbox trayer wmctrl xdotool xwininfo; do
        command -v "$tool" >/dev/null 2>&1 || fail "$tool is not installed (scripts/setup.sh)"
    done
    mkdir -p "$dir"
    stop
    : >"$dir/pids"
    # -displayfd: the server picks a free display and writes its number once it accepts clients.
    setsid Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$dir/display" \
        </dev/null >"$dir/xvfb.log" 2>&1 &
    echo $! >>"$dir/pids"
    wait_for "Xvfb" test -s "$dir/display"
    DISPLAY=":$(cat "$dir/display")"
    export DISPLAY
    unset DBUS_SESSION_BUS_ADDRESS
    setsid openbox </dev/null >"$dir/openbox.log" 2>&1 &
    echo $! >>"$dir/pids"
    wait_for "openbox" wmctrl -m
    setsid trayer --edge top --align right --SetDockType true --widthtype request \
        --height 24 </dev/null >"$dir/trayer.log" 2>&1 &
    echo $! >>"$dir/pids"
    wait_for "trayer" xdotool search --classname trayer
    echo "xsession: display $DISPLAY with openbox and trayer"
    ;;
stop)
    stop
    ;;
*)
    fail "usage: xsession.sh start|stop DIR"
    ;;
esac
