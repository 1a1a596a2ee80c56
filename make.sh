#!/bin/sh
# Entry point that works on a bare machine: installs what the project needs (make included),
# then runs the Makefile target, e.g. `./make.sh test` or `./make.sh run`.
set -e
cd "$(dirname "$0")"
./scripts/setup.sh
exec make "$@"
