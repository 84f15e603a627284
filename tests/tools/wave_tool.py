#!/usr/bin/env python3
"""Reads a WAVE file with Python's own wave module (no test uses it any more).

  wave_tool.py read FILE
      prints one JSON object: channels, sampleWidth (bytes), frameRate, frames and every
      sample as a signed integer (8-bit samples with their offset removed)
"""
import json
import struct
import sys
import wave


def read(path):
    with wave.open(path, "rb") as f:
        channels, width, rate, frames = (f.getnchannels(), f.getsampwidth(),
                                         f.getframerate(), f.getnframes())
        data = f.readframes(frames)
    samples = []
    if width == 1:
        samples = [b - 128 for b in data]
    elif width in (2, 4):
        fmt = {2: "h", 4: "i"}[width]
        samples = list(struct.unpack("<%d%s" % (len(data) // width, fmt), data))
    elif width == 3:
        for i in range(0, len(data) - 2, 3):
            samples.append(int.from_bytes(data[i:i + 3], "little", signed=True))
    print(json.dumps({"channels": channels, "sampleWidth": width, "frameRate": rate,
                      "frames": frames, "samples": samples}))


if __name__ == "__main__":
    read(sys.argv[2])
