#!/usr/bin/env python3
"""A user's run of the program in a real window, driven by the X server's test extension (xdotool).

  user_run.py QUORVEL HELPER OUTDIR

The program is copied with its language files into a scratch directory and started there. Through the menu
and the open dialog (keys typed) it opens a picture; the side, space, size, transparency and colour mode are
changed with mouse and keys; the reflection is saved through the save dialog as PNG, and as JPEG at quality 40
chosen in the dialog's save options; the language is switched to German and the program quits with Alt+F4.
Then:
  - the saved PNG equals what the headless pipeline (HELPER build) makes of the same picture and settings;
  - the JPEG was written at quality 40 (its quantisation tables are those of quality 40) and shows the same;
  - Options.ini holds the settings, and a second start shows them and writes them back unchanged.
Screenshots of what the user saw go to OUTDIR. Exit 0 pass, 1 fail.
"""
import io
import os
import shutil
import subprocess
import sys
import tempfile
import time

from PIL import Image, ImageChops

QUORVEL, HELPER, OUT = sys.argv[1], sys.argv[2], sys.argv[3]
failures = []
started = []


def fail(text):
    print("FAIL:", text, flush=True)
    failures.append(text)


def xdo(*args):
    try:
        return subprocess.run(["xdotool", *[str(a) for a in args]], capture_output=True, text=True,
                              timeout=30).stdout
    except subprocess.TimeoutExpired:
        return ""


def windows(pid):
    out = xdo("search", "--onlyvisible", "--pid", pid)
    return [w for w in out.split() if w]


def shot(wid):
    """The window's pixels as the X server shows them, or None while it cannot be read."""
    try:
        r = subprocess.run(["import", "-window", str(wid), "png:-"], capture_output=True, timeout=20)
    except subprocess.TimeoutExpired:
        return None
    if r.returncode != 0 or not r.stdout:
        return None
    return Image.open(io.BytesIO(r.stdout)).convert("RGB")


def same(a, b):
    return a is not None and b is not None and a.size == b.size and ImageChops.difference(a, b).getbbox() is None


def settle(wid, changed_from=None, timeout=30.0):
    """Waits until the window shows the same picture twice in a row (and, when given, another picture than
    changed_from); returns it."""
    end = time.time() + timeout
    last = None
    while time.time() < end:
        now = shot(wid)
        if same(now, last) and (changed_from is None or not same(now, changed_from)):
            return now
        last = now
        time.sleep(0.25)
    fail(f"window {wid} did not settle")
    return last


def save_shot(wid, name, changed_from=None):
    img = settle(wid, changed_from)
    if img is not None:
        img.save(os.path.join(OUT, name))
    return img


def screen_area(wid):
    geo = dict(line.split("=", 1) for line in xdo("getwindowgeometry", "--shell", wid).split())
    x, y, w, h = (int(geo[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
    r = subprocess.run(["import", "-window", "root", "png:-"], capture_output=True, timeout=20)
    return Image.open(io.BytesIO(r.stdout)).convert("RGB").crop((x, y, x + w, y + h))


def new_window(pid, before, timeout=30.0):
    end = time.time() + timeout
    while time.time() < end:
        for w in windows(pid):
            if w not in before:
                return w
        time.sleep(0.1)
    return None


def focus(wid):
    xdo("windowfocus", "--sync", wid)


def key(*keys):
    xdo("key", "--delay", 60, *keys)
    time.sleep(0.2)


def open_menu(pid, wid, index):
    """F10 (which selects the bar), Right to the bar item of that index and Down to open it; returns the
    drop-down's window, its first item selected. (Alt + a letter opens
    it as well, but without a window manager the drop-down takes the keyboard when it shows, and an Alt
    still held then reads as a new press, which closes it again.)"""
    for _ in range(3):
        before = windows(pid)
        focus(wid)
        key("F10")
        for _ in range(index):
            key("Right")
        key("Down")
        menu = new_window(pid, before, timeout=10)
        if menu is not None:
            time.sleep(0.3)
            if menu in windows(pid):
                return menu
        key("Escape")
    fail(f"the menu {index} of the bar did not open")
    if started and started[-1].poll() is not None:
        fail(f"the program had ended, with status {started[-1].returncode}")
    return None


def type_text(text):
    xdo("type", "--delay", 25, text)
    time.sleep(0.2)


def click(wid, x, y):
    xdo("mousemove", "--window", wid, x, y)
    time.sleep(0.1)
    xdo("click", 1)
    time.sleep(0.3)


def wait_file(path, timeout=30.0):
    end = time.time() + timeout
    while time.time() < end:
        if os.path.exists(path) and os.path.getsize(path) > 0:
            time.sleep(0.3)
            return True
        time.sleep(0.1)
    return False


def start(workdir):
    env = dict(os.environ, QV_BACKEND="sdl")
    p = subprocess.Popen([os.path.join(workdir, "quorvel")], cwd=workdir, env=env)
    started.append(p)
    end = time.time() + 30
    while time.time() < end and not windows(p.pid):
        time.sleep(0.1)
    ws = windows(p.pid)
    if not ws:
        p.kill()
        raise SystemExit("the main window did not appear")
    wid = ws[0]
    focus(wid)
    # The pointer rests in the window's top bar, away from the controls.
    xdo("mousemove", "--window", wid, 600, 40)
    return p, wid


def quit_program(p, wid):
    focus(wid)
    key("alt+F4")
    try:
        rc = p.wait(timeout=30)
    except subprocess.TimeoutExpired:
        p.kill()
        fail("the program did not end on Alt+F4")
        return
    if rc != 0:
        fail(f"the program ended with status {rc}")


def read_ini(path):
    sections, cur = {}, None
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if line.startswith("["):
                cur = sections.setdefault(line[1:-1], {})
            elif "=" in line and cur is not None:
                k, v = line.split("=", 1)
                cur[k] = v
    return sections


def jpeg_tables(img):
    return {k: list(v) for k, v in img.quantization.items()}


def main():
    os.makedirs(OUT, exist_ok=True)
    for f in os.listdir(OUT):
        os.remove(os.path.join(OUT, f))
    layout = {}
    for line in subprocess.run([HELPER, "layout"], capture_output=True, text=True, check=True).stdout.splitlines():
        name, x, y = line.split()
        layout[name] = (int(x), int(y))
    advanced = tuple(int(v) for v in subprocess.run([HELPER, "savelayout"], capture_output=True, text=True,
                                                    check=True).stdout.split()[1:3])

    work = tempfile.mkdtemp(prefix="qv_user_run_")
    try:
        shutil.copy(QUORVEL, os.path.join(work, "quorvel"))
        shutil.copytree(os.path.join(os.path.dirname(QUORVEL), "Languages"), os.path.join(work, "Languages"))
        # English whatever the machine's locale; every other setting at its default.
        with open(os.path.join(work, "Options.ini"), "w") as f:
            f.write("[LANGUAGE]\nDefault=0\n")
        pics = os.path.join(work, "pictures")
        os.mkdir(pics)
        src = os.path.join(pics, "tulips.png")
        w, h = 240, 160
        img = Image.new("RGB", (w, h))
        px = img.load()
        for y in range(h):
            for x in range(w):
                px[x, y] = ((x * 255) // w, (y * 255) // h, 255 - ((x + y) * 255) // (w + h))
        for y in range(40, 120):
            for x in range(60, 180):
                if (x - 120) ** 2 + (y - 80) ** 2 < 1600:
                    px[x, y] = (230, 40, 60)
        img.save(src)

        p, wid = start(work)
        blank = save_shot(wid, "main_window_english_blank.png")

        # Open through the File menu and the open dialog.
        menu = open_menu(p.pid, wid, 0)
        if menu is not None:
            settle(menu)
            # The drop-down is a window of its own over the main window: the screen there shows both.
            screen_area(wid).save(os.path.join(OUT, "styled_menu_file_open.png"))
        before = windows(p.pid)
        key("o")
        dlg = new_window(p.pid, before)
        if dlg is None:
            raise SystemExit("the open dialog did not appear")
        focus(dlg)
        empty_dialog = settle(dlg)
        # Into the pictures' folder by its name, then the picture's name: the preview shows it.
        type_text("pictures")
        key("Return")
        in_folder = settle(dlg, changed_from=empty_dialog)
        type_text("tulips.png")
        time.sleep(1.0)
        save_shot(dlg, "open_dialog_preview.png", changed_from=in_folder)
        key("Return")
        focus(wid)
        opened = save_shot(wid, "main_window_english_opened.png", changed_from=blank)

        # The settings: left side, space 8, size 60 %, start transparency 20 %, gray.
        click(wid, *layout["BtnLeft"])
        click(wid, *layout["SpinEditSpc"])
        for _ in range(8):
            key("Up")
        click(wid, *layout["TrackBarSizeThumb"])
        key("Home")
        for _ in range(40):
            xdo("key", "Right")
        click(wid, *layout["TrackBarTranBeginThumb"])
        key("Home")
        for _ in range(20):
            xdo("key", "Right")
        click(wid, *layout["RadioButtonH"])
        xdo("mousemove", "--window", wid, 600, 40)
        changed = save_shot(wid, "main_window_english_settings.png", changed_from=opened)

        # Save as PNG: the name typed without a folder lands in the folder of the opened picture.
        out_png = os.path.join(pics, "result.png")
        open_menu(p.pid, wid, 0)
        before = windows(p.pid)
        key("s")
        dlg = new_window(p.pid, before)
        if dlg is None:
            raise SystemExit("the save dialog did not appear")
        focus(dlg)
        settle(dlg)
        key("ctrl+a")
        type_text("result.png")
        key("Return")
        if not wait_file(out_png):
            fail("result.png was not written")

        # Save as JPEG at quality 40, set in the dialog's save options.
        out_jpg = os.path.join(pics, "result.jpg")
        open_menu(p.pid, wid, 0)
        before = windows(p.pid)
        key("s")
        dlg = new_window(p.pid, before)
        if dlg is None:
            raise SystemExit("the save dialog did not appear again")
        focus(dlg)
        settle(dlg)
        key("ctrl+a")
        type_text("result.jpg")
        # The advanced button opens the save options of the typed name's type.
        time.sleep(1.0)
        save_shot(dlg, "save_dialog.png")
        before = windows(p.pid)
        click(dlg, *advanced)
        opts = new_window(p.pid, before, timeout=15)
        if opts is None:
            fail("the save options did not open")
        else:
            focus(opts)
            settle(opts)
            key("alt+q")
            key("ctrl+a")
            type_text("40")
            key("Tab")
            save_shot(opts, "save_dialog_options_jpeg.png")
            key("Return")
            end = time.time() + 10
            while opts in windows(p.pid) and time.time() < end:
                time.sleep(0.1)
            focus(dlg)
            # Back in the chooser: its name field still holds result.jpg.
            key("alt+n")
            key("Return")
            if not wait_file(out_jpg):
                fail("result.jpg was not written")

        # German, through the language menu.
        focus(wid)
        xdo("mousemove", "--window", wid, 600, 40)
        english = settle(wid)
        open_menu(p.pid, wid, 1)
        key("Down")
        key("Return")
        save_shot(wid, "main_window_german.png", changed_from=english)
        quit_program(p, wid)

        ini_path = os.path.join(work, "Options.ini")
        ini = read_ini(ini_path)
        want = {"Pos": "1", "Dis": "8", "Size": "60", "TranB": "20", "TranE": "100", "Wave": "0",
                "Amplitude": "10", "WaveLength": "30", "Phase": "0", "Color": "1", "RemoveAlpa": "0",
                "BkColor": "16777215"}
        got = ini.get("OPTIONS", {})
        for k, v in want.items():
            if got.get(k) != v:
                fail(f"Options.ini has {k}={got.get(k)}, not {v}")
        if ini.get("LANGUAGE", {}).get("Default") != "1":
            fail(f"Options.ini has Default={ini.get('LANGUAGE', {}).get('Default')}, not 1 (German)")
        with open(ini_path, "rb") as f:
            first_ini = f.read()

        # The saved PNG is the headless pipeline's picture of the same settings.
        ref_png = os.path.join(work, "reference.png")
        subprocess.run([HELPER, "build", src, ref_png, "1", "8", "60", "20", "100", "1", "0", "16777215"],
                       check=True)
        if os.path.exists(out_png):
            got_png, ref = Image.open(out_png), Image.open(ref_png)
            print(f"result.png: {got_png.size} {got_png.mode}; reference {ref.size} {ref.mode}")
            if got_png.size != ref.size or got_png.mode != ref.mode or \
                    ImageChops.difference(got_png.convert("RGBA"), ref.convert("RGBA")).getbbox() is not None:
                fail("result.png differs from the headless pipeline's picture")
            if got_png.size != (2 * w + 8, h):
                fail(f"result.png is {got_png.size}, not {(2 * w + 8, h)}")

        # The JPEG: quality 40's tables, and the same picture flattened on white.
        if os.path.exists(out_jpg):
            got_jpg = Image.open(out_jpg)
            flat = Image.new("RGB", Image.open(ref_png).size, (255, 255, 255))
            rgba = Image.open(ref_png).convert("RGBA")
            flat.paste(rgba, mask=rgba.split()[3])
            buf = io.BytesIO()
            flat.save(buf, "JPEG", quality=40)
            want_tables = jpeg_tables(Image.open(io.BytesIO(buf.getvalue())))
            if jpeg_tables(got_jpg) != want_tables:
                fail("result.jpg was not written at quality 40")
            diff = ImageChops.difference(got_jpg.convert("RGB"), flat)
            mean = sum(sum(b * i for i, b in enumerate(band.histogram())) for band in diff.split()) / \
                (3 * flat.size[0] * flat.size[1])
            print(f"result.jpg: {got_jpg.size}, mean difference from the flattened reference {mean:.2f}")
            if got_jpg.size != flat.size or mean > 6:
                fail("result.jpg does not show the reflection")

        # The next start shows the stored settings (in German) and writes them back as they were.
        p, wid = start(work)
        save_shot(wid, "main_window_german_next_start.png")
        quit_program(p, wid)
        with open(ini_path, "rb") as f:
            if f.read() != first_ini:
                fail("the second run changed Options.ini")
    finally:
        for q in started:
            if q.poll() is None:
                q.kill()
                q.wait()
        shutil.rmtree(work, ignore_errors=True)

    print("screenshots in", OUT)
    if failures:
        print(f"{len(failures)} failures")
        return 1
    print("the user's run went as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main())
