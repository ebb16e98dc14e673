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
import time

from PIL import Image, ImageChops

sys.dont_write_bytecode = True  # nothing written beside the sources
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import xsession  # noqa: E402
from xsession import click, fail, key, new_window, save_shot, settle, started, type_text, windows, \
    xdo  # noqa: E402

QUORVEL, HELPER, OUT = sys.argv[1], sys.argv[2], sys.argv[3]


def shot(wid):
    """The window's pixels as the X server shows them, or None while it cannot be read."""
    try:
        r = subprocess.run(["import", "-window", str(wid), "png:-"], capture_output=True, timeout=20)
    except subprocess.TimeoutExpired:
        return None
    if r.returncode != 0 or not r.stdout:
        return None
    return Image.open(io.BytesIO(r.stdout)).convert("RGB")


def screen_area(wid):
    geo = dict(line.split("=", 1) for line in xdo("getwindowgeometry", "--shell", wid).split())
    x, y, w, h = (int(geo[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
    r = subprocess.run(["import", "-window", "root", "png:-"], capture_output=True, timeout=20)
    return Image.open(io.BytesIO(r.stdout)).convert("RGB").crop((x, y, x + w, y + h))


def focus(wid):
    xdo("windowfocus", "--sync", wid)


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


def wait_file(path, timeout=30.0):
    end = time.time() + timeout
    while time.time() < end:
        if os.path.exists(path) and os.path.getsize(path) > 0:
            time.sleep(0.3)
            return True
        time.sleep(0.1)
    return False


def start(workdir):
    p, wid = xsession.launch(workdir)
    if wid is None:
        p.kill()
        raise SystemExit("the main window did not appear")
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
    xsession.configure(OUT, shot)
    xsession.fresh_out()
    layout = xsession.layout_of(HELPER, "layout")
    advanced = tuple(int(v) for v in subprocess.run([HELPER, "savelayout"], capture_output=True, text=True,
                                                    check=True).stdout.split()[1:3])

    # English whatever the machine's locale; every other setting at its default.
    work, pics = xsession.scratch_program(QUORVEL, "qv_user_run_")
    try:
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
        xsession.end_started()
        shutil.rmtree(work, ignore_errors=True)

    return xsession.verdict("user's run")


if __name__ == "__main__":
    sys.exit(main())
