#!/usr/bin/env python3
"""The program as a desktop user meets it, under a window manager (openbox) on a virtual X server.

  desktop_run.py QUORVEL HELPER OUTDIR

Checked, with the window manager's own view of the windows (xprop) and input through the X server's test
extension (xdotool):
  - the open and save dialogs, the save options and a message box are transient for the window they were
    opened over, typed as dialogs, modal, and offer no minimise or maximise; a click on the main window
    leaves the dialog on top and focused, and Escape then closes it;
  - the file list scrolls by the wheel, and the button at its top goes to the parent folder;
  - "Files of type" and the TIFF compression of the save options drop down a list window of their own,
    whole on the screen; Escape closes that list and leaves the dialog open;
  - a broken file selected in the open dialog leaves no progress bar over the preview, and the dialog
    opened again shows nothing of the file chosen before;
  - at its minimum size the main window is the size it asks the window manager for.
Screenshots of the dialogs in English and German and of the main window at its minimum size go to OUTDIR.
Exit 0 pass, 1 fail.
"""
import io
import os
import shutil
import subprocess
import sys
import time

from PIL import Image

sys.dont_write_bytecode = True  # nothing written beside the sources
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import xsession  # noqa: E402
from xsession import check, click, fail, key, new_window, same, save_shot, settle, type_text, windows, \
    xdo  # noqa: E402

QUORVEL, HELPER, OUT = sys.argv[1], sys.argv[2], sys.argv[3]


def xprop(*args):
    return xsession.tool("xprop", *args)


def gone(pid, wid, timeout=10.0):
    end = time.time() + timeout
    while time.time() < end:
        if wid not in windows(pid):
            return True
        time.sleep(0.1)
    return False


def geometry(wid):
    """The window's client area on the screen (xwininfo counts the frame a window manager adds right)."""
    info = {}
    try:
        out = subprocess.run(["xwininfo", "-id", str(wid)], capture_output=True, text=True, timeout=30).stdout
    except subprocess.TimeoutExpired:
        out = ""
    for line in out.splitlines():
        if ":" in line:
            k, v = line.split(":", 1)
            info[k.strip()] = v.strip()
    try:
        return tuple(int(info[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))
    except (KeyError, ValueError):
        return (0, 0, 0, 0)


def root_shot():
    r = subprocess.run(["import", "-window", "root", "png:-"], capture_output=True, timeout=20)
    return Image.open(io.BytesIO(r.stdout)).convert("RGB")


def shot(wid):
    """What the screen shows where the window is (other windows over it included)."""
    x, y, w, h = geometry(wid)
    return root_shot().crop((x, y, x + w, y + h))


def active():
    return xdo("getactivewindow").strip()


def stacking():
    out = xprop("-root", "_NET_CLIENT_LIST_STACKING")
    return [str(int(v.strip().rstrip(","), 16)) for v in out.split("#", 1)[-1].split() if v.strip(",").startswith("0x")]


def check_dialog(wid, owner, what):
    """Transient for its owner, typed as a dialog, modal, without minimise and maximise."""
    props = xprop("-id", wid, "WM_TRANSIENT_FOR", "_NET_WM_WINDOW_TYPE", "_NET_WM_STATE", "_NET_WM_ALLOWED_ACTIONS")
    print(f"{what}:\n{props}", flush=True)
    transient = [l for l in props.splitlines() if l.startswith("WM_TRANSIENT_FOR")]
    check(transient and "0x" in transient[0] and int(transient[0].split("0x")[1].split()[0], 16) == int(owner),
          f"{what} is not transient for its owner")
    check("_NET_WM_WINDOW_TYPE_DIALOG" in props, f"{what} is not typed as a dialog")
    check("_NET_WM_STATE_MODAL" in props, f"{what} is not modal")
    # The window manager is asked for no minimise and maximise buttons (Motif decorations without them,
    # functions move, close and resize only). openbox takes only the move and resize functions from these
    # hints and keeps both buttons on every titled dialog; it drops maximise for a window of fixed size.
    motif = xprop("-id", wid, "_MOTIF_WM_HINTS").split("=", 1)[-1].replace(" ", "").split(",")
    if check(len(motif) >= 3, f"{what} has no Motif hints"):
        flags, functions, decorations = (int(v, 16) for v in motif[:3])
        check(flags & 3 == 3 and functions & (1 | 8 | 16) == 0 and decorations & (1 | 32 | 64) == 0,
              f"{what} asks for minimise or maximise: {motif}")


def framed_shot(wid, name):
    """The window with the frame the window manager drew around it."""
    ext = xprop("-id", wid, "_NET_FRAME_EXTENTS").split("=", 1)[-1].replace(" ", "").split(",")
    left, right, top, bottom = (int(v) for v in ext) if len(ext) == 4 else (0, 0, 0, 0)
    x, y, w, h = geometry(wid)
    root_shot().crop((x - left, y - top, x + w + right, y + h + bottom)).save(os.path.join(OUT, name))


def click_owner_keeps_dialog(owner, dlg, what):
    """A click on the owner leaves the dialog on top and focused."""
    ox, oy, ow, oh = geometry(owner)
    dx, dy, dw, dh = geometry(dlg)
    # A point of the owner the dialog does not cover.
    spots = [(8, oh - 30), (ow - 8, oh - 30), (8, 100), (ow - 8, 100), (ow // 2, oh - 8)]
    spot = None
    for sx, sy in spots:
        ax, ay = ox + sx, oy + sy
        if not (dx <= ax < dx + dw and dy <= ay < dy + dh):
            spot = (sx, sy)
            break
    if spot is None:
        fail(f"no part of the owner is free of the {what}")
        return
    click(owner, *spot)
    time.sleep(0.5)
    order = stacking()
    check(active() == dlg, f"after a click on its owner, the {what} lost the focus (active {active()}, dialog {dlg})")
    if dlg in order and owner in order:
        check(order.index(dlg) > order.index(owner), f"after a click on its owner, the {what} fell behind it")


def check_drop_down(pid, dlg, at, what, min_rows):
    """A click on the box at `at` drops down a list window of its own, whole on the screen; Escape closes
    the list and leaves the dialog open. Returns the screenshot of the screen with the list."""
    before = windows(pid)
    click(dlg, *at)
    lst = new_window(pid, before, timeout=10)
    if not check(lst is not None, f"{what}: no list window dropped down"):
        return None
    x, y, w, h = geometry(lst)
    sw, sh = 1280, 1024
    print(f"{what}: list window at {x},{y} {w}x{h}", flush=True)
    check(x >= 0 and y >= 0 and x + w <= sw and y + h <= sh, f"{what}: the list is not whole on the screen")
    check(h >= min_rows * 16, f"{what}: the list shows fewer than {min_rows} rows ({h} px)")
    time.sleep(0.5)
    screen = root_shot()
    key("Escape")
    check(gone(pid, lst), f"{what}: Escape did not close the list")
    check(dlg in windows(pid), f"{what}: Escape closed the dialog with the list")
    return screen


def start(workdir):
    p, wid = xsession.launch(workdir)
    if wid is None:
        raise SystemExit("the main window did not appear")
    time.sleep(0.5)
    return p, wid


def main():
    xsession.configure(OUT, shot, key=0.3, type=0.3, move=0.15, click=0.4, appear=0.3, new_window=20.0,
                       settle=20.0)
    xsession.fresh_out()
    layout = xsession.layout_of(HELPER)
    print("layout:", layout, flush=True)

    wm = subprocess.Popen(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    end = time.time() + 20
    while time.time() < end and "window id" not in xprop("-root", "_NET_SUPPORTING_WM_CHECK"):
        time.sleep(0.1)
    if "window id" not in xprop("-root", "_NET_SUPPORTING_WM_CHECK"):
        wm.kill()
        raise SystemExit("openbox did not start")

    work, pics = xsession.scratch_program(QUORVEL, "qv_desktop_run_")
    try:
        for i in range(40):
            Image.new("RGB", (64 + i, 48), (i * 6, 120, 255 - i * 6)).save(os.path.join(pics, f"p{i:02d}.png"))
        with open(os.path.join(pics, "broken.png"), "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n" + b"\0" * 40)

        p, wid = start(work)

        # The main window at its minimum: the window manager is given the size, and keeps to it.
        hints = xprop("-id", wid, "WM_NORMAL_HINTS")
        print(hints, flush=True)
        mins = [l for l in hints.splitlines() if "minimum size" in l]
        if check(mins, "the main window gives no minimum size"):
            mw, mh = (int(v) for v in mins[0].split(":")[1].replace("by", " ").split())
            xdo("windowsize", wid, 300, 200)
            time.sleep(1.0)
            _, _, w, h = geometry(wid)
            check((w, h) == (mw, mh), f"the main window made small is {w}x{h}, not its minimum {mw}x{mh}")
            save_shot(wid, "main_window_minimum_size.png")
            xdo("windowsize", wid, 740, 540)
            time.sleep(1.0)

        for lang, suffix in ((0, "english"), (1, "german")):
            if lang == 1:
                # German through the language menu: F10 selects the bar, Right to Languages, Down opens
                # it on English, Down to German, Enter.
                xdo("windowactivate", "--sync", wid)
                key("F10")
                key("Right")
                key("Down")
                key("Down")
                key("Return")
                time.sleep(1.0)
            xdo("mousemove", "--window", wid, 600, 40)

            # The open dialog.
            before = windows(p.pid)
            click(wid, *layout["BtnOpen"])
            dlg = new_window(p.pid, before)
            if dlg is None:
                raise SystemExit("the open dialog did not appear")
            settle(dlg)
            if lang == 0:
                check_dialog(dlg, wid, "open dialog")
                framed_shot(dlg, "open_dialog_framed.png")
                click_owner_keeps_dialog(wid, dlg, "open dialog")
            empty = settle(dlg)
            # Into the pictures' folder (the German run starts there already: the folder opened last).
            type_text(pics)
            key("Return")
            listed = settle(dlg, changed_from=empty if lang == 0 else None)
            if lang == 0:
                # The wheel scrolls the list; the button at the top goes to the parent folder.
                lx, ly = layout["List"]
                xdo("mousemove", "--window", dlg, lx, ly)
                time.sleep(0.2)
                for _ in range(3):
                    xdo("click", 5)
                    time.sleep(0.1)
                scrolled = settle(dlg, changed_from=listed)
                scrolled.save(os.path.join(OUT, "open_dialog_scrolled.png"))
                check(not same(scrolled, listed), "the wheel did not scroll the file list")
                click(dlg, *layout["Up"])
                up = settle(dlg, changed_from=scrolled)
                check(not same(up, scrolled), "the parent-folder button did nothing")
                # The button leaves the keyboard with the name field.
                type_text("pictures")
                key("Return")
                settle(dlg)
                # Files of type.
                screen = check_drop_down(p.pid, dlg, layout["Types"], "files of type", 12)
                if screen is not None:
                    screen.save(os.path.join(OUT, "open_dialog_types_dropped.png"))
                # A broken file: no progress bar stays over the preview.
                key("alt+n")
                type_text("broken.png")
                time.sleep(1.5)
                save_shot(dlg, "open_dialog_broken_file.png")
                key("ctrl+a")
                key("BackSpace")
            type_text("p07.png")
            time.sleep(1.5)
            save_shot(dlg, f"open_dialog_{suffix}.png")
            key("Return")
            check(gone(p.pid, dlg), "the open dialog did not close on Enter")
            time.sleep(1.0)

            if lang == 0:
                # Opened again with nothing chosen, the dialog shows nothing of the picture chosen before.
                before = windows(p.pid)
                click(wid, *layout["BtnOpen"])
                dlg = new_window(p.pid, before)
                if dlg is not None:
                    save_shot(dlg, "open_dialog_reopened.png")
                    # A click on the owner, then Escape: the dialog has the keyboard and closes.
                    click_owner_keeps_dialog(wid, dlg, "open dialog")
                    key("Escape")
                    check(gone(p.pid, dlg), "Escape after a click on the main window did not close the open dialog")
                # A message box: the broken file refused.
                before = windows(p.pid)
                click(wid, *layout["BtnOpen"])
                dlg = new_window(p.pid, before)
                if dlg is not None:
                    settle(dlg)
                    type_text(os.path.join(pics, "broken.png"))
                    key("Return")
                    box = new_window(p.pid, [w for w in before] + [dlg], timeout=15)
                    if check(box is not None, "no message box for the broken file"):
                        save_shot(box, "message_box.png")
                        check_dialog(box, wid, "message box")
                        click_owner_keeps_dialog(wid, box, "message box")
                        key("Return")
                        check(gone(p.pid, box), "the message box did not close on Enter")
                # The refused file left no picture: a good one again, for the save dialog.
                before = windows(p.pid)
                click(wid, *layout["BtnOpen"])
                dlg = new_window(p.pid, before)
                if dlg is not None:
                    settle(dlg)
                    type_text(os.path.join(pics, "p07.png"))
                    key("Return")
                    check(gone(p.pid, dlg), "the open dialog did not close on Enter")
                    time.sleep(1.0)

            # The save dialog, its options for TIFF, and their compression list.
            time.sleep(0.5)
            before = windows(p.pid)
            click(wid, *layout["BtnSaveAs"])
            dlg = new_window(p.pid, before)
            if dlg is None:
                fail("the save dialog did not appear")
                continue
            settle(dlg)
            if lang == 0:
                check_dialog(dlg, wid, "save dialog")
            key("ctrl+a")
            type_text("out.tif")
            time.sleep(1.0)
            save_shot(dlg, f"save_dialog_{suffix}.png")
            before = windows(p.pid)
            click(dlg, *layout["Advanced"])
            opts = new_window(p.pid, before)
            if check(opts is not None, "the save options did not open"):
                settle(opts)
                if lang == 0:
                    check_dialog(opts, dlg, "save options")
                    click_owner_keeps_dialog(dlg, opts, "save options")
                    screen = check_drop_down(p.pid, opts, layout["TiffCompression"], "TIFF compression", 9)
                    if screen is not None:
                        screen.save(os.path.join(OUT, "save_options_compression_dropped.png"))
                save_shot(opts, f"save_options_{suffix}.png")
                key("Escape")
                check(gone(p.pid, opts), "Escape did not close the save options")
            key("Escape")
            check(gone(p.pid, dlg), "Escape did not close the save dialog")

        xdo("windowactivate", "--sync", wid)
        key("alt+F4")
        try:
            rc = p.wait(timeout=30)
            check(rc == 0, f"the program ended with status {rc}")
        except subprocess.TimeoutExpired:
            fail("the program did not end on Alt+F4")
    finally:
        xsession.end_started()
        wm.terminate()
        try:
            wm.wait(timeout=10)
        except subprocess.TimeoutExpired:
            wm.kill()
        shutil.rmtree(work, ignore_errors=True)

    return xsession.verdict("desktop run")


if __name__ == "__main__":
    sys.exit(main())
