#!/usr/bin/env bash
# Runs a tone, a Broadcast WAVE sweep with its inverse filter, a phase check, a line-up signal
# and info with its levels and loudness through quillgen under valgrind's memcheck; fails on any memory error or leak. Usage: scripts/valgrind-check.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
quillgen="$(pwd)/$build/quillgen"
export QUILL_RESOURCES="$(pwd)/resources"
export XDG_CONFIG_HOME
XDG_CONFIG_HOME="$(mktemp -d)"
work="$(mktemp -d)"
trap 'rm -rf "$work" "$XDG_CONFIG_HOME"' EXIT

memcheck() {
  valgrind --quiet --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect \
    --show-leak-kinds=definite,indirect "$quillgen" "$@" > /dev/null
}

cd "$work"
memcheck tone --quiet --length 2 --announce -o tone
memcheck sweep --quiet --from 20 --to 2000 --length 1 --format bwf --bits 24 --no-announce \
  --inverse -o sweep
memcheck phase-check --quiet --layout stereo --repeats 1 --silence 0.2 -o phase
memcheck lineup blits --quiet --rate 8000 --length 1 --format bwf --bits 32f -o blits
memcheck info tone.aif --json
memcheck info blits.wav --levels
echo "valgrind: tone, sweep and inverse, phase check, line-up, info and levels ran clean"
