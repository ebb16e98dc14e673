#!/usr/bin/env python3
"""Draws the four preset images and writes them as PNG files plus the byte arrays the library embeds.

Each file is padded with a text chunk to the size the preset table records for it."""
import math
import struct
import zlib

TARGETS = [9376, 1055, 1252, 3329]


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else (b if pb <= pc else c)


def filtered(rows, bpp):
    out = bytearray()
    prev = bytes(len(rows[0]))
    for row in rows:
        best = None
        for f in range(5):
            line = bytearray()
            for i, x in enumerate(row):
                a = row[i - bpp] if i >= bpp else 0
                b = prev[i]
                c = prev[i - bpp] if i >= bpp else 0
                pred = (0, a, b, (a + b) // 2, paeth(a, b, c))[f]
                line.append((x - pred) & 0xFF)
            score = sum(v if v < 128 else 256 - v for v in line)
            if best is None or score < best[0]:
                best = (score, f, line)
        out.append(best[1])
        out += best[2]
        prev = row
    return bytes(out)


def png(width, height, colour_type, rows, bpp, palette=None, trns=None, target=None):
    body = chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0))
    if palette:
        body += chunk(b"PLTE", bytes(c for rgb in palette for c in rgb))
    if trns:
        body += chunk(b"tRNS", bytes(trns))
    body += chunk(b"IDAT", zlib.compress(filtered(rows, bpp), 9))
    tail = chunk(b"IEND", b"")
    data = b"\x89PNG\r\n\x1a\n" + body + tail
    if target:
        pad = target - len(data) - 12 - len(b"Comment\0")
        if pad < 0:
            raise SystemExit("preset too large: %d > %d" % (len(data), target))
        text = (b"Quorvel preset image " * (pad // 21 + 1))[:pad]
        data = b"\x89PNG\r\n\x1a\n" + body + chunk(b"tEXt", b"Comment\0" + text) + tail
        assert len(data) == target
    return data


def clamp(v):
    return max(0, min(255, int(round(v))))


def preset1():
    # A card with a sky gradient and a sun, on a soft transparent shadow.
    w, h = 162, 159
    rows = []
    for y in range(h):
        row = bytearray()
        for x in range(w):
            inside = 18 <= x < 140 and 29 <= y < 119
            if inside:
                t = (y - 29) / 90
                r, g, b = 70 + 120 * t, 130 + 80 * t, 230 - 30 * t
                if (x - 110) ** 2 + (y - 55) ** 2 < 14 ** 2:
                    r, g, b = 255, 214, 90
                if y > 95 + 6 * math.sin((x - 18) / 14):
                    r, g, b = 60, 150, 70
                row += bytes((clamp(r), clamp(g), clamp(b), 255))
            else:
                dx = max(18 - x, 0, x - 143)
                dy = max(29 - y, 0, y - 122)
                d = math.hypot(dx, dy)
                a = clamp(90 * max(0.0, 1 - d / 10)) if x >= 21 and y >= 32 else 0
                row += bytes((0, 0, 0, a))
        rows.append(bytes(row))
    return png(w, h, 6, rows, 4, target=TARGETS[0])


def preset2():
    # A flat frame: light border, dark panel.
    w, h = 112, 100
    rows = []
    for y in range(h):
        row = bytearray()
        for x in range(w):
            if 13 <= x < 95 and 1 <= y < 98:
                c = (40, 44, 52) if 16 <= x < 92 and 4 <= y < 95 else (200, 200, 205)
            else:
                c = (245, 245, 245)
            row += bytes(c)
        rows.append(bytes(row))
    return png(w, h, 2, rows, 3, target=TARGETS[1])


def preset3():
    # An orange ellipse with a rim on a transparent ground (palette with transparency).
    w, h = 163, 108
    palette = [(0, 0, 0), (240, 140, 40), (180, 90, 20), (255, 220, 170)]
    rows = []
    cx, cy, rx, ry = (30 + 147) / 2, (14 + 92) / 2, (147 - 30) / 2, (92 - 14) / 2
    for y in range(h):
        row = bytearray()
        for x in range(w):
            d = ((x + 0.5 - cx) / rx) ** 2 + ((y + 0.5 - cy) / ry) ** 2
            row.append(0 if d > 1 else (2 if d > 0.85 else (3 if d < 0.1 else 1)))
        rows.append(bytes(row))
    return png(w, h, 3, rows, 1, palette=palette, trns=[0], target=TARGETS[2])


def preset4():
    # Nested squares in four colours.
    w, h = 150, 150
    palette = [(255, 255, 255), (30, 60, 120), (90, 140, 200), (220, 230, 240), (250, 200, 60)]
    rows = []
    for y in range(h):
        row = bytearray()
        for x in range(w):
            if 17 <= x < 131 and 17 <= y < 131:
                k = min(x - 17, y - 17, 130 - x, 130 - y)
                row.append(1 + (k // 6) % 4)
            else:
                row.append(0)
        rows.append(bytes(row))
    return png(w, h, 3, rows, 1, palette=palette, target=TARGETS[3])


def main():
    images = [preset1(), preset2(), preset3(), preset4()]
    with open("preset_images.inc", "w") as out:
        out.write("// Generated by presets/make_presets.py from the PNG files beside it.\n")
        for i, data in enumerate(images, 1):
            with open("preset%d.png" % i, "wb") as f:
                f.write(data)
            out.write("static const uint8_t kPreset%d[%d] = {\n" % (i, len(data)))
            for j in range(0, len(data), 20):
                out.write("    " + ", ".join("0x%02X" % b for b in data[j:j + 20]) + ",\n")
            out.write("};\n")


if __name__ == "__main__":
    main()
