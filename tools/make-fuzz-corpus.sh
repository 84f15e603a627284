#!/usr/bin/env bash
# Remakes the fuzz seed corpora in tests/fuzz/corpus/<target>/ from scratch: a handful of
# short files (a few frames each) per target, written by quillgen, by the engine and
# libsndfile (fuzz_seed_writer: markers, loops, sampler information, cue points, regions,
# bext, float samples, RF64) and by sox (AIFF with a comment chunk, AIFC, 8-bit unsigned and extensible WAVE).
#
# Usage: tools/make-fuzz-corpus.sh   (builds quillgen and fuzz_seed_writer in build/release)
# Needs: sox (scripts/install-deps.sh build installs it).
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
scripts/install-deps.sh build
[ -f build/release/build.ninja ] || cmake --preset release >/dev/null
cmake --build --preset release -j 2 --target quillgen fuzz_seed_writer >/dev/null
quillgen=build/release/quillgen

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

build/release/tests/fuzz/fuzz_seed_writer "$work"

q() { "$quillgen" "$@" --rate 8000 --no-announce --quiet >/dev/null; }
q tone --freq 1000 --level -10 --length 0.001 -o "$work/quillgen-tone16.aif"
q tone --freq 1000 --level -10 --length 0.001 --format bwf -o "$work/quillgen-tone16.wav"
q sweep --from 100 --to 3000 --from-level -30 --to-level -6 --length 0.01 --bits 24 \
  -o "$work/quillgen-sweep24.aif"
q full-sweep --level -20 --length 0.02 --format bwf --bits 24 -o "$work/quillgen-sweep24.wav"
q tone --freq 1000 --level 0 --length 0.002 --format bwf --bits 32f -o "$work/quillgen-float.wav"

s() { sox -R -D -n -r 8000 "$@" synth 0.001 sine 440; } # no dither: the same bytes each time
s -c 2 -b 16 --comment "sox seed" "$work/sox-stereo16-comment.aif"
s -c 1 -b 8 -t aifc "$work/sox-mono8.aifc"
s -c 2 -b 16 "$work/sox-stereo16.wav"
s -c 1 -b 8 -e unsigned "$work/sox-mono8.wav"
s -c 1 -b 24 "$work/sox-mono24-extensible.wav"

seed() { # seed TARGET FILE...
  local target="$1"
  shift
  mkdir -p "tests/fuzz/corpus/$target"
  for f in "$@"; do cp "$work/$f" "tests/fuzz/corpus/$target/$f"; done
}
rm -rf tests/fuzz/corpus
seed aiff_reader engine-stereo16-markers-loops.aif engine-mono8-odd.aif sndfile-mono24.aif \
  sndfile-stereo32.aif sox-stereo16-comment.aif sox-mono8.aifc quillgen-tone16.aif \
  quillgen-sweep24.aif
seed wave_reader engine-mono24-markers-region.wav engine-mono8-odd.wav \
  sndfile-stereo16-cues-inst-bext.wav sndfile-mono8.wav sox-stereo16.wav sox-mono8.wav \
  sox-mono24-extensible.wav quillgen-sweep24.wav engine-4ch-float-mask.wav \
  sndfile-mono-float.wav sndfile-stereo16-cues-bext.rf64.wav quillgen-float.wav
seed bwf_reader engine-stereo16-regions-marker.bwf.wav engine-mono32.bwf.wav \
  engine-6ch16-mask-marker.bwf.wav quillgen-tone16.wav quillgen-sweep24.wav sndfile-stereo16-cues-inst-bext.wav sox-stereo16.wav \
  engine-stereo-float-marker.bwf.wav engine-stereo16-marker-region.rf64.bwf.wav \
  sndfile-stereo16-cues-bext.rf64.wav quillgen-float.wav
seed info quillgen-tone16.aif quillgen-sweep24.wav engine-stereo16-markers-loops.aif \
  engine-stereo16-regions-marker.bwf.wav engine-mono24-markers-region.wav \
  sndfile-stereo16-cues-inst-bext.wav sox-mono8.aifc sox-mono24-extensible.wav \
  engine-6ch16-mask-marker.bwf.wav engine-stereo-float-marker.bwf.wav \
  engine-stereo16-marker-region.rf64.bwf.wav sndfile-stereo16-cues-bext.rf64.wav
echo "$(find tests/fuzz/corpus -type f | wc -l) seed files, $(cat tests/fuzz/corpus/*/* | wc -c) bytes"
