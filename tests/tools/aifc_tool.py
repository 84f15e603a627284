#!/usr/bin/env python3
"""Reads an AIFF file with Python's own aifc module, for the tests.

  aifc_tool.py read FILE
      prints one JSON object: channels, sampleWidth (bytes), frameRate, frames,
      compression, markers ([id, position, name]) and the first samples of each channel
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


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "read":
        read(sys.argv[2])
    else:
        sys.exit(__doc__)
