#!/usr/bin/env python3
"""Draws the themed controls' artwork as PNG files beside this script.

Track-bar thumb sets are strips of four cells: image, hot image, disabled image, mask. Mapped sets
use the 16 key colours that the track bar replaces by the current system and highlight colours;
the XP sets and the round thumb hold their own colours. Cursors are 32 x 32 with alpha.
Run it again after changing a design; the build embeds whatever PNGs lie here.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# Key colours of the mapped sets, as RGB.
BLACK, WHITE = (0, 0, 0), (255, 255, 255)
SILVER, GRAY, OLIVE, YELLOW = (192, 192, 192), (128, 128, 128), (128, 128, 0), (255, 255, 0)
GREEN, BLUE, NAVY, AQUA = (0, 128, 0), (0, 0, 255), (0, 0, 128), (0, 255, 255)
RED, MAROON, FUCHSIA = (255, 0, 0), (128, 0, 0), (255, 0, 255)
TEAL, PURPLE, LIME = (0, 128, 128), (128, 0, 128), (0, 255, 0)


def write_png(name, w, h, px, alpha=False):
    rows = b""
    for y in range(h):
        rows += b"\0"
        for x in range(w):
            p = px[y][x]
            rows += bytes(p if alpha else p[:3])
    def chunk(t, d):
        c = struct.pack(">I", len(d)) + t + d
        return c + struct.pack(">I", zlib.crc32(t + d) & 0xFFFFFFFF)
    ihdr = struct.pack(">IIBBBBB", w, h, 8, 6 if alpha else 2, 0, 0, 0)
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")
    with open(os.path.join(HERE, name + ".png"), "wb") as f:
        f.write(data)


def bevel(w, h, inside, look):
    """One cell: outside black; edges lit from the top-left; look picks the colours."""
    light, dark, shade, face, inner = look
    px = [[BLACK] * w for _ in range(h)]
    ins = lambda x, y: 0 <= x < w and 0 <= y < h and inside(x, y)
    for y in range(h):
        for x in range(w):
            if not ins(x, y):
                continue
            if not ins(x + 1, y) or not ins(x, y + 1) or not ins(x + 1, y + 1):
                c = dark
            elif not ins(x - 1, y) or not ins(x, y - 1) or not ins(x - 1, y - 1):
                c = light
            elif not ins(x + 2, y) or not ins(x, y + 2):
                c = shade
            elif not ins(x - 2, y) or not ins(x, y - 2):
                c = inner
            else:
                c = face
            px[y][x] = c
    return px


def mask(w, h, inside):
    return [[BLACK if inside(x, y) else WHITE for x in range(w)] for y in range(h)]


def strip(name, w, h, inside, looks, extra=None):
    cells = [bevel(w, h, inside, look) for look in looks]
    if extra:
        for c, look in zip(cells, looks):
            extra(c, look)
    cells.append(mask(w, h, inside))
    px = [sum((c[y] for c in cells), []) for y in range(h)]
    write_png(name, w * len(cells), h, px)


MAPPED = [
    (WHITE, OLIVE, GRAY, SILVER, YELLOW),      # normal
    (FUCHSIA, MAROON, RED, FUCHSIA, AQUA),     # hot
    (WHITE, GRAY, TEAL, SILVER, SILVER),       # disabled
]
FLAT = [
    (TEAL, TEAL, SILVER, SILVER, SILVER),
    (MAROON, MAROON, FUCHSIA, FUCHSIA, FUCHSIA),
    (LIME, LIME, SILVER, SILVER, SILVER),
]
XP = [
    ((255, 255, 255), (28, 81, 128), (176, 196, 222), (244, 244, 240), (250, 250, 250)),
    ((255, 255, 255), (28, 81, 128), (255, 170, 60), (248, 240, 225), (255, 214, 150)),
    ((250, 250, 250), (172, 168, 153), (214, 210, 200), (236, 236, 232), (240, 240, 236)),
]

box = lambda x, y: True
ptr_up = lambda x, y: y >= 5 or abs(x - 5) <= y
ptr_down = lambda x, y: y <= 15 or abs(x - 5) <= 20 - y
ptr_left = lambda x, y: x >= 5 or abs(y - 5) <= x


def mixer_h(px, look):
    for y in range(3, 13):
        px[y][10], px[y][11] = look[1], look[0]


def mixer_v(px, look):
    for x in range(3, 13):
        px[10][x], px[11][x] = look[1], look[0]


def xp_band(horizontal):
    def paint(px, look):
        h, w = len(px), len(px[0])
        band = (33, 161, 33) if look[2] == (176, 196, 222) else look[2]
        if horizontal:
            for y in (h - 4, h - 3):
                for x in range(2, w - 2):
                    if px[y][x] != BLACK:
                        px[y][x] = band
        else:
            for x in (w - 4, w - 3):
                for y in range(2, h - 2):
                    if px[y][x] != BLACK:
                        px[y][x] = band
    return paint


strip("KVTRKBAR_H_BOX", 11, 21, box, MAPPED)
strip("KVTRKBAR_V_BOX", 21, 11, box, MAPPED)
strip("KVTRKBAR_H_MIXER", 21, 16, box, MAPPED, mixer_h)
strip("KVTRKBAR_V_MIXER", 16, 21, box, MAPPED, mixer_v)
strip("KVTRKBAR_H_PTR", 11, 21, ptr_up, MAPPED)
strip("KVTRKBAR_V_PTR", 21, 11, ptr_left, MAPPED)
strip("KVTRKBAR_WIN95", 11, 21, ptr_down, MAPPED)
strip("KVTRKBAR_H_FLAT", 10, 20, box, FLAT)
strip("KVTRKBAR_V_FLAT", 20, 10, box, FLAT)
strip("KVTRKBAR_H_XPPTR", 11, 21, ptr_up, XP, xp_band(True))
strip("KVTRKBAR_V_XPPTR", 21, 11, ptr_left, XP, xp_band(False))
strip("KVTRKBAR_H_XPBOX", 11, 21, box, XP, xp_band(True))
strip("KVTRKBAR_V_XPBOX", 21, 11, box, XP, xp_band(False))


def round_thumb():
    """An 18 x 18 round knob: image, mask and disabled cells side by side (54 x 18)."""
    n = 18
    c = (n - 1) / 2
    def cell(ring, top, bottom):
        px = [[BLACK] * n for _ in range(n)]
        for y in range(n):
            for x in range(n):
                d = ((x - c) ** 2 + (y - c) ** 2) ** 0.5
                if d <= 8.6:
                    if d > 7.2:
                        px[y][x] = ring
                    else:
                        t = y / (n - 1)
                        px[y][x] = tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
        return px
    img = cell((50, 153, 204), (255, 255, 255), (170, 214, 240))
    dis = cell((160, 160, 160), (245, 245, 245), (210, 210, 210))
    msk = [[BLACK if ((x - c) ** 2 + (y - c) ** 2) ** 0.5 <= 8.6 else WHITE for x in range(n)] for y in range(n)]
    write_png("TRACKBAR_ROUND_THUMB", 3 * n, n, [img[y] + msk[y] + dis[y] for y in range(n)])


round_thumb()


def cursor(name, horizontal):
    """A double arrow, black with a white rim, its hot spot at (15, 15)."""
    n = 32
    shape = set()
    for i in range(-10, 11):
        shape.add((15 + i, 15) if horizontal else (15, 15 + i))
        shape.add((15 + i, 14) if horizontal else (14, 15 + i))
    for k in range(5):
        for j in range(-k, k + 1):
            for end in (-11, 11):
                tip = -10 + k if end < 0 else 10 - k
                p = (15 + tip, 15 + j) if horizontal else (15 + j, 15 + tip)
                shape.add(p)
                p = (15 + tip, 14 + j) if horizontal else (14 + j, 15 + tip)
                shape.add(p)
    px = [[(0, 0, 0, 0)] * n for _ in range(n)]
    for (x, y) in shape:
        for dx in (-1, 0, 1):
            for dy in (-1, 0, 1):
                if 0 <= x + dx < n and 0 <= y + dy < n and (x + dx, y + dy) not in shape:
                    px[y + dy][x + dx] = (255, 255, 255, 255)
    for (x, y) in shape:
        px[y][x] = (0, 0, 0, 255)
    write_png(name, n, n, px, alpha=True)


cursor("KVTRKBAR_H_CURSOR", True)
cursor("KVTRKBAR_V_CURSOR", False)
