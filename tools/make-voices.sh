#!/usr/bin/env bash
# Makes every voice sample the generator speaks, from scratch, with espeak-ng and sox.
#
# Each sample is headerless signed 16-bit big-endian mono at 48000 Hz, trimmed of leading
# and trailing silence and normalised to a peak of -3 dBFS, so words joined at run time
# ("7" + "Teen", "1" + "1000") follow each other at one loudness without gaps of their own.
# The two test noises are the spoken phrase, a short pause and one pink noise burst made
# with a fixed seed: both end in exactly the same burst.
#
# Usage: tools/make-voices.sh [OUTPUT_DIR [NAME...]]   (default: resources/ of this tree)
# With NAMEs, only those samples are made (e.g. new words), and every other file is left as it
# is: a new voice or synthesiser version would not remake the existing ones byte for byte.
# Environment: QUILL_VOICE (espeak-ng voice, default en-us), QUILL_VOICE_SPEED (words per
# minute, default 165), QUILL_VOICE_PITCH (0-99, default 45).
# Needs: espeak-ng, sox, python3 (scripts/install-deps.sh tools installs them).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
out="${1:-$here/../resources}"
shift || true
only=" $* "
# wanted NAME: whether NAME is to be made this run.
wanted() { [ "$only" = "  " ] || [[ "$only" == *" $1 "* ]]; }
voice="${QUILL_VOICE:-en-us}"
speed="${QUILL_VOICE_SPEED:-165}"
pitch="${QUILL_VOICE_PITCH:-45}"

for tool in espeak-ng sox python3; do
  command -v "$tool" >/dev/null || { echo "make-voices: $tool is missing (scripts/install-deps.sh tools)" >&2; exit 1; }
done
mkdir -p "$out"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

raw=(-t raw -r 48000 -e signed -b 16 -B -c 1)

# Leading and trailing parts quieter than this count as silence and are cut off.
trim_db=-50
# Cuts silence at both ends: the effect finds the first sound, the reversal finds the last.
trim=(silence 1 0.002 "${trim_db}d" reverse silence 1 0.002 "${trim_db}d" reverse)

# speak NAME TEXT: one trimmed, normalised voice sample NAME.sample in DIR (default $out).
speak() {
  local name="$1" text="$2" dir="${3:-$out}"
  [ "$dir" != "$out" ] || wanted "$name" || return 0
  espeak-ng -v "$voice" -s "$speed" -p "$pitch" -w "$work/speech.wav" -- "$text"
  # -D: no dither, so the same speech always gives the same bytes.
  sox -D "$work/speech.wav" "$work/trimmed.wav" highpass 60 "${trim[@]}"
  # 3 ms ramps so the cut ends do not click; the length is only known once trimmed.
  sox -D "$work/trimmed.wav" "${raw[@]}" "$dir/$name.sample" \
      fade h 0.003 -0 0.003 rate -v 48000 gain -n -3
}

# Numbers. 16-19 are spoken as a digit followed by "Teen", so the digits are said plainly,
# the way they sound at the start of "sixteen" ... "nineteen".
digits=(zero one two three four five six seven eight nine)
for i in "${!digits[@]}"; do speak "$i" "${digits[$i]}"; done
speak 10 ten
speak 11 eleven
speak 12 twelve
speak 13 thirteen
speak 14 fourteen
speak 15 fifteen
tens=([2]=twenty [3]=thirty [4]=forty [5]=fifty [6]=sixty [7]=seventy [8]=eighty [9]=ninety)
for t in "${!tens[@]}"; do speak "${t}0" "${tens[$t]}"; done
speak 100 hundred
speak 1000 thousand

# Words of the number reading and of the tone and sweep announcements.
speak Teen teen
speak Point point
speak Minus minus
speak Plus plus
speak Hertz hertz
speak KiloHertz kilohertz
speak At at
speak Decibel decibel
speak SamplingRate "sampling rate"
speak Linear linear
speak SineSweep "sine sweep"
speak PinkNoise "pink noise"
speak WhiteNoise "white noise"
speak RMS "R M S"

# Opening and closing of the phase and channel check, and the level check's opening.
speak PhaseAndChannelCheck "phase and channel check"
speak LevelCheck "level check"
speak GoodbyeNice "goodbye, and have a nice day"

# Speaker names: the speaker table (speakers.json) lists which of these announce which speaker.
speak Left left
speak Right right
speak Center center
speak LeftSurround "left surround"
speak RightSurround "right surround"
speak LFE "L F E"
speak Mono mono
speak Surround surround
speak SurroundBack "surround back"
speak Wide wide
speak High high

# The test noises: phrase, 0.25 s pause, then the same burst of pink noise in both.
wanted InPhase+noise || wanted OutOfPhase+noise || exit 0
python3 "$here/pink-noise.py" "$work/burst.raw" --seconds 3 --seed 1 --peak-db -3
head -c 24000 /dev/zero >"$work/pause.raw"   # 0.25 s of 16-bit silence
noise() {
  local name="$1" text="$2"
  wanted "$name" || return 0
  speak phrase "$text" "$work"
  cat "$work/phrase.sample" "$work/pause.raw" "$work/burst.raw" >"$out/$name.sample"
}
noise InPhase+noise "in phase"
noise OutOfPhase+noise "out of phase"
