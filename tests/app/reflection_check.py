#!/usr/bin/env python3
"""Independent reference for the reflection tests, computed with Pillow from the source file alone.

  reflection_check.py make SRC_PNG SRC_JPG
  reflection_check.py makewide DIR        (16-bit gray DICOM, 48-bit PNG, palette GIF, CMYK JPEG, and for
                                           each a PNG of what it shows, worked out here)
  reflection_check.py checkall MANIFEST   (one check's arguments per line)
  reflection_check.py check SRC OUT SIDE SPACE SIZE START_OPACITY END_OPACITY COLOR_MODE WAVE REMOVE_ALPHA BG
"""
import os
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


def png_chunk(kind, data):
    import struct
    import zlib
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def make_wide(d):
    """Files that are not 24-bit, each beside <name>.ref.png holding the 8-bit picture it stands for."""
    import struct
    import zlib
    w, h = 37, 23

    # 16-bit gray DICOM (explicit VR little endian, no window): the reader stretches the stored range to
    # 0..65535 (truncating), and the screen takes the high byte.
    samples = [[(x * 1400 + y * 700 + 3000) & 0xFFFF for x in range(w)] for y in range(h)]
    lo = min(min(r) for r in samples)
    hi = max(max(r) for r in samples)
    gray = Image.new("L", (w, h))
    gp = gray.load()
    for y in range(h):
        for x in range(w):
            gp[x, y] = int((samples[y][x] - lo) / (hi - lo) * 65535) >> 8
    gray.save(f"{d}/gray16.dcm.ref.png")

    def element(group, elem, vr, value):
        if vr in (b"OB", b"OW", b"UN", b"SQ", b"UT"):
            return struct.pack("<HH", group, elem) + vr + b"\0\0" + struct.pack("<I", len(value)) + value
        return struct.pack("<HH", group, elem) + vr + struct.pack("<H", len(value)) + value

    def text(v):
        b = v.encode("ascii")
        return b + (b" " if len(b) % 2 else b"")

    def uid(v):
        b = v.encode("ascii")
        return b + (b"\0" if len(b) % 2 else b"")

    ts = "1.2.840.10008.1.2.1"
    meta_body = element(0x0002, 0x0001, b"OB", b"\0\1") + element(0x0002, 0x0002, b"UI", uid("1.2.840.10008.5.1.4.1.1.7")) + \
        element(0x0002, 0x0003, b"UI", uid("1.2.3.4")) + element(0x0002, 0x0010, b"UI", uid(ts))
    meta = element(0x0002, 0x0000, b"UL", struct.pack("<I", len(meta_body))) + meta_body
    pixels = b"".join(struct.pack("<H", v) for row in samples for v in row)
    body = element(0x0008, 0x0060, b"CS", text("OT")) + \
        element(0x0028, 0x0002, b"US", struct.pack("<H", 1)) + \
        element(0x0028, 0x0004, b"CS", text("MONOCHROME2")) + \
        element(0x0028, 0x0010, b"US", struct.pack("<H", h)) + \
        element(0x0028, 0x0011, b"US", struct.pack("<H", w)) + \
        element(0x0028, 0x0100, b"US", struct.pack("<H", 16)) + \
        element(0x0028, 0x0101, b"US", struct.pack("<H", 16)) + \
        element(0x0028, 0x0102, b"US", struct.pack("<H", 15)) + \
        element(0x0028, 0x0103, b"US", struct.pack("<H", 0)) + \
        element(0x7FE0, 0x0010, b"OW", pixels)
    with open(f"{d}/gray16.dcm", "wb") as f:
        f.write(b"\0" * 128 + b"DICM" + meta + body)

    # 48-bit PNG, written here by hand; 8 bits per channel keep each sample's high byte.
    rgb16 = [[((x * 1771 + 5) & 0xFFFF, (y * 2801 + 77) & 0xFFFF, ((x + y) * 997) & 0xFFFF) for x in range(w)]
             for y in range(h)]
    raw = b"".join(b"\0" + b"".join(struct.pack(">HHH", *px) for px in row) for row in rgb16)
    png = b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 16, 2, 0, 0, 0)) + \
        png_chunk(b"IDAT", zlib.compress(raw)) + png_chunk(b"IEND", b"")
    with open(f"{d}/rgb48.png", "wb") as f:
        f.write(png)
    ref = Image.new("RGB", (w, h))
    rp = ref.load()
    for y in range(h):
        for x in range(w):
            rp[x, y] = tuple(v >> 8 for v in rgb16[y][x])
    ref.save(f"{d}/rgb48.png.ref.png")

    # The same two pictures as other programs write them, when those programs are there: the DICOM file by
    # DCMTK's dump2dcm, with DCMTK's own min-max rendering (dcm2pnm) as its reference; the 48-bit PNG by
    # ImageMagick from a 16-bit PPM.
    import os
    import shutil
    import subprocess
    if shutil.which("dump2dcm") and shutil.which("dcm2pnm"):
        with open(f"{d}/gray16.raw", "wb") as f:
            f.write(pixels)
        with open(f"{d}/gray16.dump", "w") as f:
            f.write("(0002,0001) OB 00\\01\n(0002,0002) UI =SecondaryCaptureImageStorage\n"
                    "(0002,0003) UI [1.2.3.4.5]\n(0002,0010) UI =LittleEndianExplicit\n"
                    "(0008,0016) UI =SecondaryCaptureImageStorage\n(0008,0018) UI [1.2.3.4.5]\n"
                    "(0008,0060) CS [OT]\n(0028,0002) US 1\n(0028,0004) CS [MONOCHROME2]\n"
                    f"(0028,0010) US {h}\n(0028,0011) US {w}\n(0028,0100) US 16\n(0028,0101) US 16\n"
                    f"(0028,0102) US 15\n(0028,0103) US 0\n(7fe0,0010) OW ={d}/gray16.raw\n")
        subprocess.run(["dump2dcm", "-q", f"{d}/gray16.dump", f"{d}/gray16_dcmtk.dcm"], check=True)
        subprocess.run(["dcm2pnm", "-q", "+Wm", "+on", f"{d}/gray16_dcmtk.dcm", f"{d}/gray16_dcmtk.dcm.ref.png"],
                       check=True)
    else:
        print("makewide: DCMTK is not installed, its DICOM file is left out")
    if shutil.which("convert"):
        with open(f"{d}/rgb48.ppm", "wb") as f:
            f.write(f"P6 {w} {h} 65535\n".encode() +
                    b"".join(struct.pack(">HHH", *px) for row in rgb16 for px in row))
        subprocess.run(["convert", f"{d}/rgb48.ppm", "-depth", "16", f"png48:{d}/rgb48_im.png"], check=True)
        os.link(f"{d}/rgb48.png.ref.png", f"{d}/rgb48_im.png.ref.png")
    else:
        print("makewide: ImageMagick is not installed, its 48-bit PNG is left out")

    # Palette GIF of 16 colours, and the colours it shows.
    pal = Image.new("P", (w, h))
    palette = []
    for i in range(16):
        palette += [(i * 16) % 256, (255 - i * 13) % 256, (i * 40) % 256]
    pal.putpalette(palette + [0] * (768 - len(palette)))
    pp = pal.load()
    for y in range(h):
        for x in range(w):
            pp[x, y] = (x // 3 + y // 2) % 16
    pal.save(f"{d}/pal.gif")
    Image.open(f"{d}/pal.gif").convert("RGB").save(f"{d}/pal.gif.ref.png")

    # CMYK JPEG at high quality; Pillow's own reading of it through the installed printer profile (the
    # one ours uses) is the reference; the conversion may differ a little, so it has a tolerance.
    cmyk = Image.new("CMYK", (w, h))
    cp = cmyk.load()
    for y in range(h):
        for x in range(w):
            cp[x, y] = ((x * 6) % 256, (y * 10) % 256, 90, (x * 2 + y) % 64)
    cmyk.save(f"{d}/cmyk.jpg", quality=100)
    shown = Image.open(f"{d}/cmyk.jpg")
    profile = "/usr/share/color/icc/ghostscript/default_cmyk.icc"
    if os.path.exists(profile):
        from PIL import ImageCms
        shown = ImageCms.profileToProfile(shown, ImageCms.getOpenProfile(profile), ImageCms.createProfile("sRGB"),
                                          renderingIntent=0, outputMode="RGB")
    shown.convert("RGB").save(f"{d}/cmyk.jpg.ref.png")


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


def check(src_path, out_path, side, space, size, a, b, mode, wave, remove_alpha, bg, tol=None):
    src = Image.open(src_path)
    out = Image.open(out_path)
    bg_rgb = (bg & 0xFF, (bg >> 8) & 0xFF, (bg >> 16) & 0xFF)
    cw, ch, canvas, refl, (rx, ry, rw, rh) = reference(src, side, space, size, a, b)
    if out.size != (cw, ch):
        print(f"size {out.size} != {(cw, ch)}")
        return 1
    keeps_alpha = out_path.endswith((".png", ".tif")) and not remove_alpha
    lossy = out_path.endswith(".jpg")
    if tol is None:
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


def check_psd(psd_path, png_path, layers, x, y):
    """The PSD holds the given number of layers, the last at (x, y), and its composite is the PNG."""
    psd = Image.open(psd_path)
    if len(psd.layers) != layers:
        print(f"{len(psd.layers)} layers, not {layers}")
        return 1
    box = psd.layers[-1][2]
    if box[:2] != (x, y):
        print(f"last layer at {box[:2]}, not {(x, y)}")
        return 1
    # The composite holds the colour channels of the merged picture.
    got = psd.convert("RGB")
    want = Image.open(png_path).convert("RGBA").convert("RGB")
    if got.size != want.size or list(got.getdata()) != list(want.getdata()):
        print("the composite differs from the merged picture")
        return 1
    return 0


def run_line(args):
    tol = None
    if args and args[-1].startswith("tol="):
        tol = int(args[-1][4:])
        args = args[:-1]
    if len(args) == 12:
        return check_lossy(args[1], args[11])
    return check(args[0], args[1], *[int(v) for v in args[2:]], tol=tol)


def main():
    if sys.argv[1] == "make":
        make(sys.argv[2], sys.argv[3])
        return 0
    if sys.argv[1] == "psdlayers":
        return check_psd(sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5]), int(sys.argv[6]))
    if sys.argv[1] == "makewide":
        make_wide(sys.argv[2])
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
