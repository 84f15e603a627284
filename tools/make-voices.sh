#!/usr/bin/env bash
# Makes every voice sample the generator speaks, from scratch, with flite's "slt" voice and sox.
#
# Each sample is headerless signed 16-bit big-endian mono at 48000 Hz, trimmed of leading
# and trailing silence and levelled by its speech loudness: the mean power of its speaking
# parts (see tools/voice-check.py --loudness) is brought to one level for every sample, as far
# as its peak stays between -6 and -1 dBFS. Words joined at run time ("7" + "Teen", "1" +
# "1000") so follow each other at one loudness, whatever their peaks, without gaps of their own.
# The two test noises are the spoken phrase, a short pause and one pink noise burst made
# with a fixed seed: both end in exactly the same burst.
#
# Usage: tools/make-voices.sh [OUTPUT_DIR [NAME...]]   (default: resources/ of this tree)
# With NAMEs, only those samples are made (e.g. new words), and every other file is left as it
# is: a new voice or synthesiser version would not remake the existing ones byte for byte.
# Environment: QUILL_VOICE (flite voice, default slt), QUILL_VOICE_STRETCH (duration factor,
# above 1 is slower, default 1.0), QUILL_VOICE_LEVEL (speech loudness in dBFS, default -14).
# Needs: flite, sox, python3 (scripts/install-deps.sh tools installs them).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
out="${1:-$here/../resources}"
shift || true
only=" $* "
# wanted NAME: whether NAME is to be made this run.
wanted() { [ "$only" = "  " ] || [[ "$only" == *" $1 "* ]]; }
voice="${QUILL_VOICE:-slt}"
stretch="${QUILL_VOICE_STRETCH:-1.0}"
level="${QUILL_VOICE_LEVEL:--14}"
# The peaks a sample may reach: one whose speech level would take it further is louder or
# quieter than the rest (by at most a dB with this voice).
lowest_peak=-5.9
highest_peak=-1.1

for tool in flite sox python3; do
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

# speak NAME TEXT: one trimmed, levelled voice sample NAME.sample in DIR (default $out).
# TEXT is what flite reads: a spelling of its own where the plain word is heard wrongly.
# With `before=SECONDS` or `after=SECONDS speak ...`, the sample starts or ends in that much
# silence: a word whose end runs into the next word's start ("Hertz" "2" heard as "hertz
# zero") keeps them apart. Samples are joined back to back, so this is never more than a
# consonant's length. With
# `phones=1 speak ...`, TEXT is flite's phones, for a word whose reading no spelling mends.
speak() {
  local name="$1" text="$2" dir="${3:-$out}"
  [ "$dir" != "$out" ] || wanted "$name" || return 0
  local how=-t
  [ -z "${phones:-}" ] || how=-p
  flite -voice "$voice" --setf duration_stretch="$stretch" "$how" "$text" -o "$work/speech.wav"
  # -D: no dither, so the same speech always gives the same bytes.
  sox -D "$work/speech.wav" "$work/trimmed.wav" highpass 60 "${trim[@]}" rate -v 48000
  # 3 ms ramps so the cut ends do not click; the length is only known once trimmed.
  sox -D "$work/trimmed.wav" "${raw[@]}" "$work/shaped.raw" fade h 0.003 -0 0.003 \
      pad "${before:-0}" "${after:-0}"
  local gain
  gain="$(python3 "$here/voice-check.py" --speech-gain "$work/shaped.raw" "$level" "$lowest_peak" \
                                  "$highest_peak")"
  sox -D "${raw[@]}" "$work/shaped.raw" "${raw[@]}" "$dir/$name.sample" vol "$gain" dB
}

# Numbers. 16-19 are spoken as a digit followed by "Teen".
digits=(zero one two three four five six seven eight nine)
for i in "${!digits[@]}"; do
  # "2" also stands for "to" after "Hertz", and follows "20": without a breath before it, it
  # is heard as "zero" there.
  if [ "$i" = 2 ]; then before=0.02 speak "$i" "${digits[$i]}"; else speak "$i" "${digits[$i]}"; fi
done
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
after=0.02 speak Hertz hertz
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
# Read as a word, its released "t" is heard as "eight", and "right" as "nine" or "wide".
phones=1 after=0.02 speak Right "pau r ay t pau"
speak Center center
speak LeftSurround "left surround"
speak RightSurround "right surround"
speak LFE "L F E"
speak Mono mono
speak Surround surround
speak SurroundBack "surround back"
speak Wide wide
speak High high
# For the layouts to come: "Left Top Front" is three samples.
speak Side side
speak Rear rear
speak Top top
speak Front front
speak Middle middle

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
