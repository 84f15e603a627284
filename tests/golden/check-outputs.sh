#!/bin/sh
# Runs every job of jobs.txt through quillgen and compares the SHA-256 of each file written
# with outputs.sha256: a restructuring of the engine must not change one byte of what the
# program writes. With --record the hashes are written instead (only for a deliberate change
# of the output, said in the commit).
#
#   check-outputs.sh QUILLGEN [--record]
set -eu
quillgen=$1
mode=${2:-check}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The user's preferences stay out of it.
export XDG_CONFIG_HOME="$work/config"
out="$work/out"
mkdir "$out"

grep -v '^#' "$here/jobs.txt" | grep -v '^[[:space:]]*$' | while read -r name args; do
    # Single-file jobs get a file path, the sets a folder; the extension follows the format.
    case "$args" in
        *--format\ bwf*) extension=wav ;;
        *) extension=aif ;;
    esac
    case "$args" in
        phase-check*|level-check*) target="$out/$name" ;;
        *) target="$out/$name.$extension" ;;
    esac
    # shellcheck disable=SC2086 # the arguments are split on purpose
    if ! "$quillgen" $args --quiet --output "$target" >"$work/$name.log" 2>&1; then
        echo "job $name failed:" >&2
        cat "$work/$name.log" >&2
        exit 1
    fi
done

(cd "$out" && find . -type f -print0 | LC_ALL=C sort -z |
    xargs -0 sha256sum | sed 's|  \./|  |') >"$work/hashes"

if [ "$mode" = --record ]; then
    cp "$work/hashes" "$here/outputs.sha256"
    echo "recorded $(wc -l <"$here/outputs.sha256") hashes"
    exit 0
fi
if ! diff -u "$here/outputs.sha256" "$work/hashes"; then
    echo "the files written differ from the recorded ones (- recorded, + now)" >&2
    exit 1
fi
echo "$(wc -l <"$work/hashes") files as recorded"
