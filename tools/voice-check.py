#!/usr/bin/env python3
"""Checks that the spoken announcements are understood: the word error rate of a speech recogniser.

Writes a varied set of announced files with quillgen (tones, levels, sample rates, sweeps, noises
and phase checks), cuts out what each one says (a tone's, sweep's or noise's announcement ends at
the first marker after "Announcement"; a phase check is spoken throughout, less its noise bursts)
and has pocketsphinx (en-us model, held to a grammar of the phrases the voices say) recognise it.

What the program meant to say is learnt from the program too: every case is written a second time
with voices that are tags (a block of a length of its own per voice name), and the order of the
tags in that file is the order of the voices. The word error rate is the edits (substitutions,
deletions, insertions) between recognised and meant words over the number of meant words.

Usage: voice-check.py [--quillgen PATH] [--resources DIR] [--worst N] [--max-wer PERCENT]
                      [--bits 16|24] [--keep DIR] [--only SUBSTRING]
Exits 1 when the word error rate is above --max-wer (default: no limit).
       voice-check.py --loudness [--resources DIR]: the speech level of every voice sample and
                      their spread.
       voice-check.py --speech-gain SAMPLE LEVEL LOWEST HIGHEST: the gain in dB that brings
                      the speech level of SAMPLE to LEVEL dBFS, as far as its peak stays between
                      LOWEST and HIGHEST dBFS (for tools/make-voices.sh).
Needs: pocketsphinx, pocketsphinx-en-us, sox (scripts/install-deps.sh voice-check).
"""
import argparse
import array
import json
import math
import os
import shutil
import subprocess
import sys
import tempfile
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
MODEL = "/usr/share/pocketsphinx/model/en-us"

# The words of the voices whose names are not what they say.
WORDS = {
    "0": "zero", "1": "one", "2": "two", "3": "three", "4": "four", "5": "five", "6": "six",
    "7": "seven", "8": "eight", "9": "nine", "10": "ten", "11": "eleven", "12": "twelve",
    "13": "thirteen", "14": "fourteen", "15": "fifteen", "20": "twenty", "30": "thirty",
    "40": "forty", "50": "fifty", "60": "sixty", "70": "seventy", "80": "eighty",
    "90": "ninety", "100": "hundred", "1000": "thousand",
    "KiloHertz": "kilohertz", "SamplingRate": "sampling rate", "SineSweep": "sine sweep",
    "PinkNoise": "pink noise", "WhiteNoise": "white noise", "RMS": "r m s",
    "PhaseAndChannelCheck": "phase and channel check", "LevelCheck": "level check",
    "GoodbyeNice": "goodbye and have a nice day", "LeftSurround": "left surround",
    "RightSurround": "right surround", "LFE": "l f e", "SurroundBack": "surround back",
    "InPhase+noise": "in phase", "OutOfPhase+noise": "out of phase",
}
# Voices said as their own lower-case name.
PLAIN = ["Point", "Minus", "Plus", "Hertz", "At", "Decibel", "Linear", "Left", "Right", "Center",
         "Mono", "Surround", "Wide", "High", "Side", "Rear", "Top", "Front", "Middle"]
# A digit followed by "Teen" is one word.
TEENS = {"6": "sixteen", "7": "seventeen", "8": "eighteen", "9": "nineteen"}
# Words only the grammar has: what "6" "Teen" and the like are heard as.
EXTRA_WORDS = list(TEENS.values())
# Pronunciations the model's dictionary lacks.
EXTRA_PRONUNCIATIONS = {"kilohertz": "K IH L OW HH ER T S"}

# The cases: (name, quillgen arguments). Short signals: only the announcement is heard.
TONE = ["tone", "--length", "0.2"]
CASES = (
    [(f"tone {f} Hz", TONE + ["--freq", f, "--level", "-18", "--rate", "48000"])
     for f in ["20", "31.5", "997", "1000", "12500", "20000"]]
    + [(f"tone {l} dB", TONE + ["--freq", "1000", "--level", l, "--rate", "44100"])
       for l in ["0", "-0.5", "-10", "-18", "-60"]]
    + [(f"tone at {r} Hz", TONE + ["--freq", "1000", "--level", "-20", "--rate", r])
       for r in ["8000", "11025", "16000", "22050", "32000", "44100", "48000", "88200",
                 "96000", "176400", "192000"]]
    + [("full sweep 44.1k", ["full-sweep", "--length", "0.2", "--rate", "44100"]),
       ("full sweep 96k", ["full-sweep", "--length", "0.2", "--rate", "96000", "--level",
                           "-6"]),
       ("full sweep 22.05k", ["full-sweep", "--length", "0.2", "--rate", "22050", "--level",
                              "-0.5"]),
       ("tone 31.5 Hz at 22.05k", TONE + ["--freq", "31.5", "--level", "-10.5", "--rate",
                                          "22050"]),
       ("sweep 20-20000", ["sweep", "--length", "0.2"]),
       ("sweep 31.5-16000", ["sweep", "--length", "0.2", "--from", "31.5", "--to", "16000",
                             "--from-level", "-0.5", "--to-level", "-10.5"]),
       ("sweep 1000-100", ["sweep", "--length", "0.2", "--from", "1000", "--to", "100",
                           "--from-level", "-40", "--to-level", "-12", "--rate", "96000"]),
       ("pink noise", ["noise", "--length", "0.2"]),
       ("white noise", ["noise", "--length", "0.2", "--color", "white", "--level", "-18.5"]),
       ("band noise", ["noise", "--length", "0.2", "--band", "500-2000", "--rate", "44100"]),
       ("white noise 192k", ["noise", "--length", "0.2", "--color", "white", "--rate",
                             "192000", "--level", "-30"]),
       ("third-octave noise", ["noise", "--length", "0.2", "--band", "31.5-16000", "--level",
                               "-18.5"]),
       ("phase check stereo", ["phase-check", "--layout", "stereo", "--repeats", "1"]),
       ("phase check lcrs", ["phase-check", "--layout", "lcrs", "--repeats", "1"]),
       ("phase check 5.1", ["phase-check", "--layout", "5.1", "--repeats", "1"]),
       ("phase check 7.1.4", ["phase-check", "--layout", "7.1.4", "--repeats", "1"]),
       ("phase check 9.1.6", ["phase-check", "--layout", "9.1.6", "--repeats", "1"])]
)

RATE = 16000  # what the recogniser hears
TAG_STEP = 480  # a tag's length grows by 10 ms from one voice name to the next
TAG_GAP = 240  # silence on either side of a tag, so that tags said in a row stay apart
NOISE_SECONDS = 3.0  # the bursts of the phase checks' test noises

SPEECH_WINDOW = 480  # 10 ms of a voice sample
SPEECH_RANGE_DB = 30.0  # windows this far below the loudest one are pauses, not speech


def read_sample(path):
    """A voice sample's values, full scale 1.0."""
    values = array.array("h")
    with open(path, "rb") as f:
        data = f.read()
    values.frombytes(data[:len(data) // 2 * 2])
    if sys.byteorder == "little":
        values.byteswap()
    return [v / 32768.0 for v in values]


def speech_level(values):
    """The speech level of a voice in dBFS: the mean power of its 10 ms windows that lie within
    SPEECH_RANGE_DB of the loudest, so that pauses inside a phrase do not count."""
    powers = []
    for at in range(0, len(values), SPEECH_WINDOW):
        window = values[at:at + SPEECH_WINDOW]
        powers.append(sum(v * v for v in window) / len(window))
    loudest = max(powers, default=0.0)
    if loudest == 0.0:
        return float("-inf")
    speaking = [p for p in powers if p >= loudest * 10 ** (-SPEECH_RANGE_DB / 10)]
    return 10 * math.log10(sum(speaking) / len(speaking))


def peak_level(values):
    peak = max((abs(v) for v in values), default=0.0)
    return 20 * math.log10(peak) if peak > 0 else float("-inf")


def loudness_report(resources):
    """Prints each voice sample's speech level and peak, and the spread of the levels."""
    levels = []
    for name in voice_names(resources):
        values = read_sample(os.path.join(resources, name + ".sample"))
        if name.endswith("+noise"):
            # The spoken phrase only: it ends at the pause of digital silence before the burst.
            for at in range(len(values) - 2400):
                if not any(values[at:at + 2400]):
                    values = values[:at]
                    break
        levels.append((speech_level(values), peak_level(values), name))
    for level, peak, name in sorted(levels):
        print(f"{name:22} speech {level:6.1f} dBFS  peak {peak:6.1f} dBFS")
    spread = levels and max(l[0] for l in levels) - min(l[0] for l in levels)
    print(f"speech level spread {spread:.1f} dB over {len(levels)} voice samples")


def voice_names(resources):
    """The names of the voice samples in `resources`, sorted."""
    return sorted(f[:-7] for f in os.listdir(resources) if f.endswith(".sample"))


def make_tags(resources, folder, names):
    """Tag voices into `folder`: name i is a block of (i + 1) * TAG_STEP samples."""
    os.makedirs(folder, exist_ok=True)
    for f in os.listdir(resources):
        if not f.endswith(".sample"):
            shutil.copy(os.path.join(resources, f), folder)
    for i, name in enumerate(names):
        block = b"\x00\x00" * TAG_GAP + b"\x40\x00" * ((i + 1) * TAG_STEP) + b"\x00\x00" * TAG_GAP
        with open(os.path.join(folder, name + ".sample"), "wb") as out:
            out.write(block)


def write_case(quillgen, resources, args, folder, bits):
    """Runs quillgen with `resources`; the file written."""
    os.makedirs(folder, exist_ok=True)
    env = dict(os.environ, QUILL_RESOURCES=resources)
    full = list(args)
    if args[0] == "phase-check":
        full = args + ["--interleaved"]
    out = os.path.join(folder, "out" if args[0] == "phase-check" else "out.aif")
    full += ["--bits", str(bits), "--quiet", "-o", out]
    subprocess.run([quillgen] + full, env=env, check=True, stdout=subprocess.DEVNULL)
    if args[0] == "phase-check":
        return os.path.join(out, os.listdir(out)[0])
    return out


def spoken_frames(quillgen, path):
    """The frames the announcement takes (None: the whole file is spoken)."""
    info = json.loads(subprocess.run([quillgen, "info", "--json", path], check=True,
                                     capture_output=True, text=True).stdout)
    names = [m["name"] for m in info["markers"]]
    if "Announcement" not in names:
        return None
    start = names.index("Announcement")
    after = [m["position"] for m in info["markers"][start + 1:]
             if m["position"] > info["markers"][start]["position"]]
    return min(after)


def read_mono(path, frames):
    """The first `frames` frames (all when None) at RATE, one channel: in each 10 ms the channel
    that is loudest there (the first of about equal ones), so that a voice in one channel of a
    phase check, the same voice in all, and a noise with its inverted copy are each heard once."""
    cmd = ["sox", path, "-t", "raw", "-e", "floating-point", "-b", "32", "-L", "-"]
    if frames is not None:
        cmd += ["trim", "0", f"{frames}s"]
    channels = int(subprocess.run(["soxi", "-c", path], check=True, capture_output=True,
                                  text=True).stdout)
    cmd += ["rate", "-v", str(RATE)]
    raw = array.array("f")
    raw.frombytes(subprocess.run(cmd, check=True, capture_output=True).stdout)
    if sys.byteorder == "big":
        raw.byteswap()
    if channels == 1:
        return list(raw)
    out = []
    block = RATE // 100
    for at in range(0, len(raw) // channels, block):
        frames_here = raw[at * channels:(at + block) * channels]
        energies = [sum(x * x for x in frames_here[c::channels]) for c in range(channels)]
        loudest = max(energies)
        chosen = next(c for c in range(channels) if energies[c] >= 0.98 * loudest)
        out += frames_here[chosen::channels]
    return out


def runs(samples, quiet, shortest_gap):
    """(start, end) of the parts louder than `quiet`, split at quieter stretches of at least
    `shortest_gap` (at least 1) frames."""
    shortest_gap = max(shortest_gap, 1)
    parts, start, last_loud = [], None, None
    for i, x in enumerate(samples):
        if abs(x) > quiet:
            if start is None:
                start = i
            elif i - last_loud - 1 >= shortest_gap:
                parts.append((start, last_loud + 1))
                start = i
            last_loud = i
    if start is not None:
        parts.append((start, last_loud + 1))
    return parts


def meant_words(samples, names):
    """The words of the tags in `samples`, in order."""
    peak = max((abs(x) for x in samples), default=0.0)
    if peak == 0.0:
        return []
    voices = []
    step = TAG_STEP * RATE / 48000.0
    for start, end in runs(samples, peak / 2, 0):
        index = round((end - start) / step) - 1
        if not 0 <= index < len(names):
            raise RuntimeError(f"a tag of {end - start} frames fits no voice")
        voices.append(names[index])
    words = []
    for i, name in enumerate(voices):
        if name == "Teen":
            continue
        if i + 1 < len(voices) and voices[i + 1] == "Teen" and name in TEENS:
            words.append(TEENS[name])
        else:
            words += WORDS.get(name, name.lower()).split()
    return words


def speech_only(samples, is_phase_check):
    """`samples` without the phase checks' noise bursts (parts of the test noise's length)."""
    if not is_phase_check:
        return samples
    peak = max((abs(x) for x in samples), default=0.0)
    kept = []
    for start, end in runs(samples, peak * 1e-3, int(0.1 * RATE)):
        if abs((end - start) / RATE - NOISE_SECONDS) < 0.05:
            continue
        kept += samples[start:end] + [0.0] * int(0.3 * RATE)
    return kept


def write_wav(path, samples):
    """`samples` as 16-bit WAVE at a peak of -3 dBFS, with a second of silence before and after:
    the recogniser learns the room from the first frames and misses words that start at once."""
    peak = max((abs(x) for x in samples), default=0.0) or 1.0
    samples = [0.0] * RATE + samples + [0.0] * RATE
    pcm = array.array("h", (int(x / peak * 0.7 * 32767) for x in samples))
    if sys.byteorder == "big":
        pcm.byteswap()
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(pcm.tobytes())


def make_grammar(folder, phrases):
    """A grammar of any row of the voices' phrases (a voice of several words is heard as those
    words together, not as any of them alone), and the pronunciations of their words."""
    phrases = sorted(set(phrases))
    words = {w for phrase in phrases for w in phrase.split()}
    gram = os.path.join(folder, "words.gram")
    with open(gram, "w") as out:
        out.write("#JSGF V1.0;\ngrammar announcement;\npublic <words> = ( "
                  + " | ".join(phrases) + " )* ;\n")
    known = {}
    with open(os.path.join(MODEL, "cmudict-en-us.dict")) as dictionary:
        for line in dictionary:
            word, _, phones = line.partition(" ")
            if word.split("(")[0] in words:
                known.setdefault(word, phones.strip())
    known.update(EXTRA_PRONUNCIATIONS)
    missing = [w for w in words if w not in known]
    if missing:
        raise RuntimeError("no pronunciation for: " + " ".join(sorted(missing)))
    dic = os.path.join(folder, "words.dict")
    with open(dic, "w") as out:
        for word in sorted(known):
            out.write(f"{word} {known[word]}\n")
    return gram, dic


def recognise(wav, gram, dic):
    """The words pocketsphinx hears in `wav`."""
    result = subprocess.run(
        ["pocketsphinx_continuous", "-infile", wav, "-hmm", os.path.join(MODEL, "en-us"),
         "-jsgf", gram, "-dict", dic, "-samprate", str(RATE), "-logfn", os.devnull,
         # A low word insertion probability: the grammar's short words ("at", "two") are
         # otherwise found in every breath between two words.
         "-wip", "1e-2",
         # Wide beams: with the default ones a long, badly heard utterance can lose every path
         # to the grammar's end, and then nothing at all is reported for it.
         "-beam", "1e-80", "-pbeam", "1e-80", "-wbeam", "1e-60"],
        check=True, capture_output=True, text=True)
    return [w for line in result.stdout.splitlines() for w in line.split()
            if not w.startswith("<")]


def edits(meant, heard):
    """Levenshtein distance between two word lists."""
    row = list(range(len(heard) + 1))
    for i, m in enumerate(meant, 1):
        previous, row[0] = row[0], i
        for j, h in enumerate(heard, 1):
            previous, row[j] = row[j], min(row[j] + 1, row[j - 1] + 1, previous + (m != h))
    return row[len(heard)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--quillgen", default=os.path.join(HERE, "../build/release/quillgen"))
    parser.add_argument("--resources", default=os.path.join(HERE, "../resources"))
    parser.add_argument("--worst", type=int, default=5)
    parser.add_argument("--bits", type=int, choices=[16, 24], default=24,
                        help="the files' word length (16: quiet announcements are coarser)")
    parser.add_argument("--max-wer", type=float, default=None)
    parser.add_argument("--keep", help="keep the files written in this folder")
    parser.add_argument("--only", default="", help="only the cases whose name holds this")
    parser.add_argument("--loudness", action="store_true")
    parser.add_argument("--speech-gain", nargs=4, metavar=("SAMPLE", "LEVEL", "LOWEST", "HIGHEST"))
    options = parser.parse_args()
    if options.speech_gain:
        values = read_sample(options.speech_gain[0])
        level, lowest, highest = (float(v) for v in options.speech_gain[1:])
        peak = peak_level(values)
        gain = min(max(level - speech_level(values), lowest - peak), highest - peak)
        print(f"{gain:.2f}")
        return 0
    if options.loudness:
        loudness_report(options.resources)
        return 0
    for tool in ["sox", "soxi", "pocketsphinx_continuous"]:
        if shutil.which(tool) is None:
            sys.exit(f"voice-check: {tool} is missing (scripts/install-deps.sh voice-check)")
    if not os.path.isdir(MODEL):
        sys.exit("voice-check: the en-us model is missing (scripts/install-deps.sh voice-check)")
    resources = os.path.abspath(options.resources)
    work = options.keep or tempfile.mkdtemp(prefix="voice-check.")
    os.makedirs(work, exist_ok=True)
    try:
        names = voice_names(resources)
        tags = os.path.join(work, "tags")
        make_tags(resources, tags, names)
        gram, dic = make_grammar(work, EXTRA_WORDS + list(WORDS.values())
                                 + [n.lower() for n in PLAIN])
        results = []
        for number, (name, args) in enumerate(c for c in CASES if options.only in c[0]):
            folder = os.path.join(work, f"case{number:02}")
            is_phase_check = args[0] == "phase-check"
            tagged = write_case(options.quillgen, tags, args, os.path.join(folder, "tags"),
                                options.bits)
            meant = meant_words(read_mono(tagged, spoken_frames(options.quillgen, tagged)), names)
            spoken = write_case(options.quillgen, resources, args, os.path.join(folder, "voice"),
                                options.bits)
            wav = os.path.join(folder, "heard.wav")
            samples = read_mono(spoken, spoken_frames(options.quillgen, spoken))
            write_wav(wav, speech_only(samples, is_phase_check))
            heard = recognise(wav, gram, dic)
            results.append((name, meant, heard, edits(meant, heard)))
        total_words = sum(len(r[1]) for r in results)
        total_edits = sum(r[3] for r in results)
        wer = 100.0 * total_edits / max(total_words, 1)
        print(f"word error rate {wer:.1f} % ({total_edits} edits in {total_words} words, "
              f"{len(results)} announcements)")
        worst = sorted(results, key=lambda r: (-r[3] / max(len(r[1]), 1), r[0]))
        print(f"worst {min(options.worst, len(worst))}:")
        for name, meant, heard, count in worst[:options.worst]:
            print(f"  {name}: {count} of {len(meant)} words wrong\n"
                  f"    meant: {' '.join(meant)}\n    heard: {' '.join(heard)}")
        if options.max_wer is not None and wer > options.max_wer:
            print(f"voice-check: above {options.max_wer} %", file=sys.stderr)
            return 1
        return 0
    finally:
        if not options.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
