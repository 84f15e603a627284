#!/usr/bin/env python3
"""Draws the application's own pictures: resources/backdrop.png (the faint picture behind the
main window's controls: an exponential sweep over a frequency grid) and
resources/quillwavecaster.png (the icon). Standard library only; run from the repository root."""
import math
import struct
import zlib


def write_png(path, width, height, pixels):
    """pixels: list of rows, each a list of (r, g, b, a) tuples."""
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def blend(dst, color, alpha):
    return tuple(round(d * (1 - alpha) + c * alpha) for d, c in zip(dst, color))


def draw_curve(canvas, width, height, points, color, thickness):
    """Anti-aliased polyline by distance to each segment, within a band around it."""
    for (x0, y0), (x1, y1) in zip(points, points[1:]):
        lo_x, hi_x = int(min(x0, x1) - thickness - 1), int(max(x0, x1) + thickness + 2)
        lo_y, hi_y = int(min(y0, y1) - thickness - 1), int(max(y0, y1) + thickness + 2)
        dx, dy = x1 - x0, y1 - y0
        length2 = dx * dx + dy * dy or 1e-9
        for y in range(max(lo_y, 0), min(hi_y, height)):
            for x in range(max(lo_x, 0), min(hi_x, width)):
                t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
                d = math.hypot(x - (x0 + t * dx), y - (y0 + t * dy))
                cover = max(0.0, min(1.0, thickness / 2 + 0.5 - d))
                if cover > 0:
                    r, g, b, a = canvas[y][x]
                    nr, ng, nb = blend((r, g, b), color, cover)
                    canvas[y][x] = (nr, ng, nb, max(a, round(255 * cover)))


def sweep_points(width, height, top, amplitude, cycles, x_from=0, x_to=None):
    x_to = width if x_to is None else x_to
    points = []
    for i in range(0, (x_to - x_from) * 4 + 1):
        u = i / ((x_to - x_from) * 4)
        phase = 2 * math.pi * cycles * (math.exp(u * 3) - 1) / (math.exp(3) - 1)
        points.append((x_from + u * (x_to - x_from), top + amplitude * math.sin(phase)))
    return points


def backdrop():
    width, height = 640, 420
    canvas = [[(255, 255, 255, 0) for _ in range(width)] for _ in range(height)]
    grid = (60, 90, 140)
    # Octave lines of a logarithmic frequency axis and a few level lines.
    for octave in range(11):
        x = round(20 + octave * (width - 40) / 10)
        draw_curve(canvas, width, height, [(x, 10), (x, height - 10)], grid, 1.0)
    for level in range(7):
        y = round(20 + level * (height - 40) / 6)
        draw_curve(canvas, width, height, [(10, y), (width - 10, y)], grid, 1.0)
    draw_curve(canvas, width, height, sweep_points(width, height, height / 2, height * 0.32, 24),
               (20, 50, 110), 3.0)
    write_png("resources/backdrop.png", width, height, canvas)


def icon():
    size = 128
    canvas = [[(0, 0, 0, 0) for _ in range(size)] for _ in range(size)]
    radius, margin = 22, 6
    for y in range(size):
        for x in range(size):
            cx = min(max(x, margin + radius), size - margin - radius - 1)
            cy = min(max(y, margin + radius), size - margin - radius - 1)
            d = math.hypot(x - cx, y - cy)
            cover = max(0.0, min(1.0, radius + 0.5 - d))
            if cover > 0:
                shade = 1 - 0.35 * y / size
                canvas[y][x] = (round(30 * shade), round(70 * shade), round(140 * shade),
                                round(255 * cover))
    draw_curve(canvas, size, size,
               sweep_points(size, size, size / 2, 34, 5, x_from=14, x_to=size - 14),
               (250, 250, 255), 5.0)
    write_png("resources/quillwavecaster.png", size, size, canvas)


if __name__ == "__main__":
    backdrop()
    icon()
