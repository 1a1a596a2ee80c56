#!/bin/sh
# Installs every Debian package the project needs to build, test and run.
# Quick when everything is present: it only calls apt-get for what is missing.
set -e

PACKAGES="build-essential make cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format
libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev sqlite3 qt6-base-dev qt6-charts-dev libqt6opengl6-dev nlohmann-json3-dev libx11-dev
libavformat-dev libavcodec-dev libavutil-dev
ffmpeg mjpegtools dvdauthor genisoimage xorriso lsdvd xvfb xauth openbox trayer wmctrl xdotool x11-utils xdg-utils
ccache dpkg-dev file scdoc librsvg2-bin lintian man-db desktop-file-utils appstream slurm-wlm munge"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $p"
    fi
done

if [ -n "$missing" ]; then
    echo "setup: installing$missing"
    if [ "$(id -u)" -ne 0 ]; then
        SUDO=sudo
    else
        SUDO=
    fi
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    # shellcheck disable=SC2086
    $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
