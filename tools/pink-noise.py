#!/usr/bin/env python3
"""Writes a burst of pink noise as headerless signed 16-bit big-endian mono samples.

The burst is the same on every run for a given seed, so the in-phase and out-of-phase
test noises carry identical noise and regenerating them changes nothing.

Usage: pink-noise.py OUTPUT [--seconds 3] [--rate 48000] [--seed 1] [--peak-db -3]
"""
import argparse
import math
import random
import struct


def pink(count, seed):
    """Gaussian white noise through a -3 dB/octave filter (Paul Kellet's refined
    method), then a gentle high-pass at about 20 Hz so no sub-sonic drift reaches
    the monitors."""
    rng = random.Random(seed)
    b0 = b1 = b2 = b3 = b4 = b5 = b6 = 0.0
    hp_in = hp_out = 0.0
    hp_coeff = math.exp(-2.0 * math.pi * 20.0 / 48000.0)
    out = []
    for _ in range(count):
        white = rng.gauss(0.0, 1.0)
        b0 = 0.99886 * b0 + white * 0.0555179
        b1 = 0.99332 * b1 + white * 0.0750759
        b2 = 0.96900 * b2 + white * 0.1538520
        b3 = 0.86650 * b3 + white * 0.3104856
        b4 = 0.55000 * b4 + white * 0.5329522
        b5 = -0.7616 * b5 - white * 0.0168980
        value = b0 + b1 + b2 + b3 + b4 + b5 + b6 + white * 0.5362
        b6 = white * 0.115926
        hp_out = hp_coeff * (hp_out + value - hp_in)
        hp_in = value
        out.append(hp_out)
    return out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("output")
    parser.add_argument("--seconds", type=float, default=3.0)
    parser.add_argument("--rate", type=int, default=48000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--peak-db", type=float, default=-3.0)
    parser.add_argument("--fade-ms", type=float, default=5.0)
    args = parser.parse_args()

    count = int(args.seconds * args.rate)
    # Let the filter settle before the burst starts, so its first samples are not a ramp.
    settle = args.rate // 2
    samples = pink(settle + count, args.seed)[settle:]

    peak = max(abs(v) for v in samples)
    gain = 32768.0 * 10.0 ** (args.peak_db / 20.0) / peak
    fade = max(1, int(args.fade_ms * args.rate / 1000.0))
    # Short raised-cosine ramps at both ends keep the burst free of clicks.
    for i in range(fade):
        ramp = 0.5 - 0.5 * math.cos(math.pi * (i + 0.5) / fade)
        samples[i] *= ramp
        samples[-1 - i] *= ramp

    ints = [max(-32768, min(32767, int(round(v * gain)))) for v in samples]
    with open(args.output, "wb") as f:
        f.write(struct.pack(">%dh" % len(ints), *ints))


if __name__ == "__main__":
    main()
