#!/usr/bin/env python3
"""Independent reference for the reflection tests, computed with Pillow from the source file alone.

  reflection_check.py make SRC_PNG SRC_JPG
  reflection_check.py checkall MANIFEST   (one check's arguments per line)
  reflection_check.py check SRC OUT SIDE SPACE SIZE START_OPACITY END_OPACITY COLOR_MODE WAVE REMOVE_ALPHA BG
"""
import sys

from PIL import Image

LEFT, TOP, RIGHT, BOTTOM = 1, 2, 3, 4


def make(png_path, jpg_path):
    w, h = 37, 23
    rgba = Image.new("RGBA", (w, h))
    px = rgba.load()
    for y in range(h):
        for x in range(w):
            a = 255 if x < 5 else (0 if x > 33 else (x * 9 + y * 5) % 256)
            px[x, y] = ((x * 7) % 256, (y * 11) % 256, (x * 3 + y * 5) % 256, a)
    rgba.save(png_path)
    rgb = Image.new("RGB", (w, h))
    px = rgb.load()
    for y in range(h):
        for x in range(w):
            px[x, y] = ((x * 6) % 256, (y * 10) % 256, 128)
    rgb.save(jpg_path, quality=95)


def ramp(n, size, a, b, side):
    """Opacity cut per line: a list of (is_ramp, opacity)."""
    step = 0.0 if n == 0 or size == 0 else (a - b) / (n * size / 100)
    g = a + step
    far = side in (LEFT, TOP)
    t = round((100 - size) * n / 100) if far else round(size * n / 100)
    lines = [None] * n
    order = range(n - 1, -1, -1) if far else range(n)
    for line in order:
        if (line >= t) if far else (line <= t):
            g -= step
            lines[line] = max(0, min(255, round(g)))
        else:
            lines[line] = None
    return lines


def reference(src, side, space, size, a, b):
    """The merged picture as (rgb, alpha) per canvas pixel, and the reflection's rectangle."""
    src = src.convert("RGBA")
    w, h = src.size
    sp = src.load()
    horizontal = side in (LEFT, RIGHT)
    cw, ch = (2 * w + space, h) if horizontal else (w, 2 * h + space)
    if cw <= 0 or ch <= 0:
        cw, ch = w, h
    x0 = cw - w if side == LEFT else 0
    y0 = ch - h if side == TOP else 0
    rx = w + space if side == RIGHT else 0
    ry = h + space if side == BOTTOM else 0
    canvas = {}
    for y in range(h):
        for x in range(w):
            r_, g_, b_, al = sp[x, y]
            canvas[(x + x0, y + y0)] = ((r_, g_, b_), al)
    n = w if horizontal else h
    cuts = ramp(n, size, a, b, side)
    refl = {}
    for y in range(h):
        for x in range(w):
            mx, my = (w - 1 - x, y) if horizontal else (x, h - 1 - y)
            r_, g_, b_, al = sp[mx, my]
            line = x if horizontal else y
            o = cuts[line]
            al = 0 if o is None else max(0, al - (255 - o))
            refl[(x + rx, y + ry)] = ((r_, g_, b_), al)
    return cw, ch, canvas, refl, (rx, ry, w, h)


def merged(canvas, refl, x, y):
    base = canvas.get((x, y))
    top = refl.get((x, y))
    if top is None:
        return base if base is not None else (None, 0)
    if base is None or base[1] == 0:
        return top
    (p1, a1), (p2, a2) = base, top
    fa1, fa2 = a1 / 255, a2 / 255
    t = (1 - fa2) * fa1
    al = fa2 + t
    rgb = tuple(max(0, min(255, round((c2 * fa2 + c1 * t) / al))) for c1, c2 in zip(p1, p2))
    return rgb, max(0, min(255, round(al * 255)))


def flatten(rgb, al, bg):
    if rgb is None:
        return bg
    return tuple(k + (((c - k) * al) >> 8) for c, k in zip(rgb, bg))


def check_lossy(out_path, twin_path):
    """A JPEG must be the lossless twin encoded at the same quality, up to encoder rounding."""
    import io
    twin = Image.open(twin_path).convert("RGB")
    buf = io.BytesIO()
    twin.save(buf, "JPEG", quality=80)
    buf.seek(0)
    want = Image.open(buf).convert("RGB")
    got = Image.open(out_path).convert("RGB")
    if got.size != want.size:
        print(f"size {got.size} != {want.size}")
        return 1
    g, w = got.load(), want.load()
    total = 0
    for y in range(got.size[1]):
        for x in range(got.size[0]):
            total += sum(abs(p - q) for p, q in zip(g[x, y], w[x, y]))
    mean = total / (3 * got.size[0] * got.size[1])
    if mean > 1.0:
        print(f"mean difference {mean:.2f} from the twin encoded by Pillow")
        return 1
    return 0


def check(src_path, out_path, side, space, size, a, b, mode, wave, remove_alpha, bg):
    src = Image.open(src_path)
    out = Image.open(out_path)
    bg_rgb = (bg & 0xFF, (bg >> 8) & 0xFF, (bg >> 16) & 0xFF)
    cw, ch, canvas, refl, (rx, ry, rw, rh) = reference(src, side, space, size, a, b)
    if out.size != (cw, ch):
        print(f"size {out.size} != {(cw, ch)}")
        return 1
    keeps_alpha = out_path.endswith((".png", ".tif")) and not remove_alpha
    lossy = out_path.endswith(".jpg")
    tol = 2 if src_path.endswith(".jpg") else 0
    o = out.convert("RGBA").load()
    errors = 0
    total_diff = 0
    count = 0

    def in_refl(x, y):
        return rx <= x < rx + rw and ry <= y < ry + rh

    for y in range(ch):
        for x in range(cw):
            got = o[x, y]
            reflected = in_refl(x, y)
            rgb, al = merged(canvas, refl, x, y)
            if reflected and (wave or mode != 0):
                # The reflection's own pixels depend on the colour mode or wave; check what they must obey.
                if lossy or wave:
                    continue
                if mode == 1 and keeps_alpha:
                    if abs(got[3] - al) > 0:
                        errors += 1
                    elif al > 0 and not (abs(got[0] - got[1]) <= 0 and abs(got[1] - got[2]) <= 0):
                        errors += 1
                    continue
                if mode == 2:
                    cands = [flatten((v, v, v), al, bg_rgb) for v in (0, 255)]
                    if tuple(got[:3]) not in cands:
                        errors += 1
                    continue
                continue
            if keeps_alpha:
                if abs(got[3] - al) > tol:
                    errors += 1
                elif al > 0 and max(abs(g - e) for g, e in zip(got[:3], rgb)) > tol + (1 if tol else 0):
                    errors += 1
            else:
                want = flatten(rgb, al, bg_rgb)
                d = max(abs(g - e) for g, e in zip(got[:3], want))
                if lossy:
                    total_diff += sum(abs(g - e) for g, e in zip(got[:3], want)) / 3
                    count += 1
                elif d > tol:
                    if errors < 5:
                        print(f"({x},{y}) got {got[:3]} want {want}")
                    errors += 1
    if lossy and count and total_diff / count > 4.0:
        print(f"mean difference {total_diff / count:.2f}")
        return 1
    if errors:
        print(f"{errors} pixels differ in {out_path}")
        return 1
    return 0


def run_line(args):
    if len(args) == 12:
        return check_lossy(args[1], args[11])
    return check(args[0], args[1], *[int(v) for v in args[2:]])


def main():
    if sys.argv[1] == "make":
        make(sys.argv[2], sys.argv[3])
        return 0
    if sys.argv[1] == "checkall":
        failed = 0
        with open(sys.argv[2]) as f:
            for line in f:
                args = line.split()
                if args and run_line(args) != 0:
                    print("failed:", line.strip())
                    failed += 1
        return 1 if failed else 0
    args = sys.argv[2:]
    if len(args) == 12:
        return check_lossy(args[1], args[11])
    return check(args[0], args[1], *[int(v) for v in args[2:]])


if __name__ == "__main__":
    sys.exit(main())
