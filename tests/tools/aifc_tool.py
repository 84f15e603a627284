#!/usr/bin/env python3
"""Reads and writes AIFF files with Python's own aifc module, for the format tests.

  aifc_tool.py read FILE
      prints one JSON object: channels, sampleWidth (bytes), frameRate, frames,
      compression, markers ([id, position, name]) and the first samples of each channel
  aifc_tool.py write FILE aiff|aifc
      writes a 16-bit stereo file at 32000 Hz, 1000 frames: channel 0 holds the frame index,
      channel 1 its negation; markers 1 "One" at 10, 2 "Numbered" at 500, 3 "Odd" at 999
"""
import json
import struct
import sys
import warnings

warnings.simplefilter("ignore", DeprecationWarning)
import aifc  # noqa: E402


def read(path):
    with aifc.open(path, "rb") as f:
        channels, width, rate, frames = (f.getnchannels(), f.getsampwidth(),
                                         f.getframerate(), f.getnframes())
        markers = [[m[0], m[1], m[2].decode("mac_roman")] for m in (f.getmarkers() or [])]
        data = f.readframes(min(frames, 16))
        comptype = f.getcomptype().decode("ascii")
    fmt = {1: "b", 2: "h", 4: "i"}.get(width)
    samples = []
    if fmt:
        count = len(data) // width
        samples = list(struct.unpack(">%d%s" % (count, fmt), data))
    elif width == 3:
        for i in range(0, len(data) - 2, 3):
            samples.append(int.from_bytes(data[i:i + 3], "big", signed=True))
    print(json.dumps({"channels": channels, "sampleWidth": width, "frameRate": rate,
                      "frames": frames, "compression": comptype, "markers": markers,
                      "samples": samples}))


def write(path, kind):
    with aifc.open(path, "wb") as f:
        if kind == "aiff":
            f.aiff()
        else:
            f.aifc()
        f.setnchannels(2)
        f.setsampwidth(2)
        f.setframerate(32000)
        frames = b"".join(struct.pack(">hh", i, -i) for i in range(1000))
        f.setmark(1, 10, b"One")
        f.setmark(2, 500, b"Numbered")
        f.setmark(3, 999, b"Odd")
        f.writeframes(frames)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "read":
        read(sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == "write" and sys.argv[3] in ("aiff", "aifc"):
        write(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
