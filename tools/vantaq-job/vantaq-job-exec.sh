#!/bin/sh
# Handed to sbatch as the batch script: runs the program and arguments that follow it, each
# argument as it came, with no shell parsing of their text.
exec "$@"
