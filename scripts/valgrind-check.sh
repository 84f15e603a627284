#!/usr/bin/env bash
# Runs a tone, a Broadcast WAVE sweep and a phase check through quillgen under valgrind's
# memcheck; fails on any memory error or leak. Usage: scripts/valgrind-check.sh [build-dir]
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
memcheck sweep --quiet --from 20 --to 2000 --length 1 --format bwf --bits 24 --no-announce -o sweep
memcheck phase-check --quiet --layout stereo --repeats 1 --silence 0.2 -o phase
memcheck info tone.aif --json
echo "valgrind: tone, sweep, phase check and info ran clean"
