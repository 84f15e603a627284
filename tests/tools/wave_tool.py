#!/usr/bin/env python3
"""Reads and writes WAVE files with Python's own wave module, for the format tests.

  wave_tool.py read FILE
      prints one JSON object: channels, sampleWidth (bytes), frameRate, frames and every
      sample as a signed integer (8-bit samples with their offset removed)
  wave_tool.py write FILE
      writes a 16-bit stereo file at 22050 Hz, 500 frames: channel 0 holds the frame index
      times 7, channel 1 its negation
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


def write(path):
    with wave.open(path, "wb") as f:
        f.setnchannels(2)
        f.setsampwidth(2)
        f.setframerate(22050)
        frames = b"".join(struct.pack("<hh", 7 * i, -7 * i) for i in range(500))
        f.writeframes(frames)


if __name__ == "__main__":
    if sys.argv[1] == "read":
        read(sys.argv[2])
    else:
        write(sys.argv[2])
