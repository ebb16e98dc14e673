#!/usr/bin/env python3
"""Message boxes, dialogs and menus opened and closed over and over, then the program quit: on a bare
virtual X server and again under a window manager (openbox).

  desktop_close.py QUORVEL HELPER OUTDIR

Checked, with input through the X server's test extension (xdotool):
  - the toolbar button that opens a message box is drawn as it was before the pointer came, once the box
    is closed by the keyboard and once by a click on its OK button, the pointer ending away from the main
    window both times;
  - under the window manager, the message box and the about box, which cannot be resized, offer no
    maximise (xprop), and their frames are kept as screenshots;
  - after menus, the open and save dialogs, the about box, message boxes and hints came and went, the
    program ends with status 0 and has written no X protocol error to its standard error.
Screenshots go to OUTDIR. Every wait is bounded: a box that does not come or go is a failure, not a hang.
Exit 0 pass, 1 fail.
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


def fail(text):
    print("FAIL:", text, flush=True)
    failures.append(text)


def check(cond, text):
    if not cond:
        fail(text)
    return cond


def run(*args):
    try:
        return subprocess.run([str(a) for a in args], capture_output=True, text=True, timeout=30).stdout
    except subprocess.TimeoutExpired:
        return ""


def xdo(*args):
    return run("xdotool", *args)


def windows(pid):
    return [w for w in xdo("search", "--onlyvisible", "--pid", pid).split() if w]


def new_window(pid, before, timeout=15.0):
    end = time.time() + timeout
    while time.time() < end:
        for w in windows(pid):
            if w not in before:
                time.sleep(0.4)
                return w
        time.sleep(0.1)
    return None


def gone(pid, wid, timeout=10.0):
    end = time.time() + timeout
    while time.time() < end:
        if wid not in windows(pid):
            return True
        time.sleep(0.1)
    return False


def geometry(wid):
    """The window's client area on the screen."""
    info = {}
    for line in run("xwininfo", "-id", wid).splitlines():
        if ":" in line:
            k, v = line.split(":", 1)
            info[k.strip()] = v.strip()
    try:
        return tuple(int(info[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))
    except (KeyError, ValueError):
        return (0, 0, 0, 0)


def root_shot():
    try:
        r = subprocess.run(["import", "-window", "root", "png:-"], capture_output=True, timeout=20)
        return Image.open(io.BytesIO(r.stdout)).convert("RGB")
    except (subprocess.TimeoutExpired, OSError):
        return None


def shot(wid):
    """What the screen shows where the window is."""
    x, y, w, h = geometry(wid)
    img = root_shot()
    return img.crop((x, y, x + w, y + h)) if img is not None and w > 0 else None


def same(a, b):
    return a is not None and b is not None and a.size == b.size and ImageChops.difference(a, b).getbbox() is None


def settle(wid, changed_from=None, timeout=20.0):
    end = time.time() + timeout
    last = None
    while time.time() < end:
        now = shot(wid)
        if same(now, last) and (changed_from is None or not same(now, changed_from)):
            return now
        last = now
        time.sleep(0.25)
    fail(f"window {wid} did not settle" + (" on a new picture" if changed_from is not None else ""))
    return last


def key(*keys):
    xdo("key", "--delay", 60, *keys)
    time.sleep(0.3)


def point(wid, x, y):
    xdo("mousemove", "--window", wid, x, y)
    time.sleep(0.3)


def click(wid, x, y):
    point(wid, x, y)
    xdo("click", 1)
    time.sleep(0.4)


def focus(wid, managed):
    if managed:
        xdo("windowactivate", "--sync", wid)
    else:
        xdo("windowfocus", "--sync", wid)
    time.sleep(0.2)


def wait_for_button(wid, rect, want, timeout=6.0):
    """The button's pixels once they equal `want`, or the last ones seen when they never do."""
    end = time.time() + timeout
    got = None
    while time.time() < end:
        img = shot(wid)
        got = img.crop(rect) if img is not None else None
        if same(got, want):
            break
        time.sleep(0.25)
    return got


def toolbar_button_after_box(pid, wid, rect, managed, prefix):
    """A click on the home-page button shows a message box (no opener can be found); once the box is
    closed, the button is drawn as it was before the pointer came."""
    cx, cy = (rect[0] + rect[2]) // 2, (rect[1] + rect[3]) // 2
    point(wid, 600, 40)
    rest = settle(wid)
    if rest is None:
        return
    normal = rest.crop(rect)
    normal.save(os.path.join(OUT, f"{prefix}_button_normal.png"))
    point(wid, cx, cy)
    lit = settle(wid, changed_from=rest)
    if lit is not None:
        lit.crop(rect).save(os.path.join(OUT, f"{prefix}_button_under_pointer.png"))
    if not check(lit is not None and not same(lit.crop(rect), normal),
                 f"{prefix}: the button under the pointer looks as at rest, so a lit button could not be seen"):
        return
    for how in ("keyboard", "click"):
        point(wid, cx, cy)
        before = windows(pid)
        xdo("click", 1)
        box = new_window(pid, before)
        if not check(box is not None, f"{prefix}: no message box after a click on the home-page button"):
            return
        settle(box)
        # The pointer ends outside the main window, where no move over it can put the look right: the
        # button must have lost it when the box took the pointer.
        if how == "keyboard":
            # The pointer leaves for the desktop while the box is up; Enter closes the box.
            xdo("mousemove", 1240, 1000)
            time.sleep(0.3)
            focus(box, managed)
            key("Return")
        else:
            # The box moved clear of the main window, then its one button (centred at its foot) clicked.
            _, _, bw, bh = geometry(box)
            xdo("windowmove", "--sync", box, 1240 - bw, 1000 - bh)
            time.sleep(0.5)
            _, _, bw, bh = geometry(box)
            click(box, bw // 2, bh - 12 - 11)
        if not check(gone(pid, box), f"{prefix}: the message box did not close by the {how}"):
            key("Escape")
            gone(pid, box)
            return
        loc = dict(v.split(":") for v in xdo("getmouselocation").split() if ":" in v)
        px, py = int(loc.get("x", -1)), int(loc.get("y", -1))
        ox, oy, ow, oh = geometry(wid)
        check(not (ox <= px < ox + ow and oy <= py < oy + oh),
              f"{prefix}: the pointer ({px}, {py}) ended over the main window, so the button's look proves nothing")
        after = wait_for_button(wid, rect, normal)
        if after is not None:
            after.save(os.path.join(OUT, f"{prefix}_button_after_box_by_{how}.png"))
        check(same(after, normal), f"{prefix}: the button stays lit after the message box closed by the {how}")


def fixed_box_offers_no_maximise(pid, box, what):
    """A box that cannot be resized is given a fixed size; openbox then offers no maximise for it.
    (openbox keeps minimise for every titled window of a dialog's type, whatever the hints say.)"""
    props = run("xprop", "-id", box, "_NET_WM_ALLOWED_ACTIONS", "WM_NORMAL_HINTS", "_NET_WM_WINDOW_TYPE")
    print(f"{what}:\n{props}", flush=True)
    actions = [l for l in props.splitlines() if l.startswith("_NET_WM_ALLOWED_ACTIONS")]
    if check(actions, f"{what}: the window manager lists no allowed actions"):
        check("MAXIMIZE" not in actions[0] and "_NET_WM_ACTION_RESIZE" not in actions[0],
              f"{what} can be maximised or resized: {actions[0]}")
    ext = run("xprop", "-id", box, "_NET_FRAME_EXTENTS").split("=", 1)[-1].replace(" ", "").split(",")
    left, right, top, bottom = (int(v) for v in ext) if len(ext) == 4 else (0, 0, 0, 0)
    x, y, w, h = geometry(box)
    img = root_shot()
    if img is not None:
        img.crop((x - left, y - top, x + w + right, y + h + bottom)).save(os.path.join(OUT, f"{what.replace(' ', '_')}_framed.png"))


def churn(pid, wid, work, managed, prefix):
    """Menus, dialogs, boxes and hints come and go, as in a user's session. Each is closed soon after it
    shows, while it may still be drawing: a close that races the program's own requests is what once
    left protocol errors behind."""
    pic = os.path.join(work, "pictures", "a.png")
    for round_ in range(5):
        # The File menu, opened and closed.
        focus(wid, managed)
        before = windows(pid)
        key("F10")
        key("Down")
        menu = new_window(pid, before, timeout=8)
        check(menu is not None, f"{prefix}: the File menu did not open")
        key("Escape")
        key("Escape")
        if menu is not None:
            gone(pid, menu)
        # The open dialog: a picture the first time, Escape afterwards.
        focus(wid, managed)
        before = windows(pid)
        click(wid, 48, 58)
        dlg = new_window(pid, before)
        if check(dlg is not None, f"{prefix}: the open dialog did not appear"):
            if round_ == 0:
                xdo("type", "--delay", 20, pic)
                time.sleep(0.3)
                key("Return")
            else:
                key("Escape")
            if not check(gone(pid, dlg), f"{prefix}: the open dialog did not close"):
                return
            time.sleep(0.8)
        # The save dialog, closed by Escape.
        focus(wid, managed)
        before = windows(pid)
        click(wid, 147, 58)
        dlg = new_window(pid, before)
        if check(dlg is not None, f"{prefix}: the save dialog did not appear"):
            key("Escape")
            if not check(gone(pid, dlg), f"{prefix}: the save dialog did not close"):
                return
        # The about box, closed by Escape, and a message box from the home page item (no opener), closed
        # by Enter, both through the Help menu.
        for letter, what, close in (("a", "about box", "Escape"), ("p", "message box", "Return")):
            focus(wid, managed)
            before = windows(pid)
            key("F10")
            key("Right")
            key("Right")
            key("Down")
            key(letter)
            box = new_window(pid, before, timeout=8)
            if not check(box is not None, f"{prefix}: the {what} did not appear from the Help menu"):
                continue
            if managed and round_ == 0:
                settle(box)
                fixed_box_offers_no_maximise(pid, box, what)
            key(close)
            if not check(gone(pid, box), f"{prefix}: {close} did not close the {what}"):
                return
        # A hint over the zoom buttons under the view, then the pointer away.
        point(wid, 25, 492)
        time.sleep(1.5)
        point(wid, 600, 40)


def session(managed, rect):
    prefix = "openbox" if managed else "bare"
    work = tempfile.mkdtemp(prefix="qv_desktop_close_")
    wm = None
    p = None
    try:
        if managed:
            wm = subprocess.Popen(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            end = time.time() + 20
            while time.time() < end and "window id" not in run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"):
                time.sleep(0.1)
            if not check("window id" in run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"), "openbox did not start"):
                return
        shutil.copy(QUORVEL, os.path.join(work, "quorvel"))
        shutil.copytree(os.path.join(os.path.dirname(QUORVEL), "Languages"), os.path.join(work, "Languages"))
        with open(os.path.join(work, "Options.ini"), "w") as f:
            f.write("[LANGUAGE]\nDefault=0\n")
        os.mkdir(os.path.join(work, "pictures"))
        Image.new("RGB", (320, 200), (40, 120, 200)).save(os.path.join(work, "pictures", "a.png"))
        # No program on the path: the home page cannot be opened, and a message box says so.
        os.mkdir(os.path.join(work, "nothing"))
        env = dict(os.environ, QV_BACKEND="sdl", PATH=os.path.join(work, "nothing"))
        err_path = os.path.join(work, "stderr.txt")
        with open(err_path, "w") as err:
            p = subprocess.Popen([os.path.join(work, "quorvel")], cwd=work, env=env, stderr=err)
        end = time.time() + 30
        while time.time() < end and not windows(p.pid):
            time.sleep(0.1)
        ws = windows(p.pid)
        if not check(ws, f"{prefix}: the main window did not appear"):
            return
        wid = ws[0]
        time.sleep(0.5)
        focus(wid, managed)

        toolbar_button_after_box(p.pid, wid, rect, managed, prefix)
        churn(p.pid, wid, work, managed, prefix)

        focus(wid, managed)
        key("alt+F4")
        try:
            rc = p.wait(timeout=30)
            check(rc == 0, f"{prefix}: the program ended with status {rc}")
        except subprocess.TimeoutExpired:
            fail(f"{prefix}: the program did not end on Alt+F4")
        with open(err_path) as f:
            text = f.read()
        if text:
            print(f"{prefix}: standard error of the program:\n{text}", flush=True)
        check("X error" not in text, f"{prefix}: the program reported X protocol errors")
    finally:
        if p is not None and p.poll() is None:
            p.kill()
            p.wait()
        if wm is not None:
            wm.terminate()
            try:
                wm.wait(timeout=10)
            except subprocess.TimeoutExpired:
                wm.kill()
                wm.wait()
        shutil.rmtree(work, ignore_errors=True)


def main():
    os.makedirs(OUT, exist_ok=True)
    for f in os.listdir(OUT):
        os.remove(os.path.join(OUT, f))
    out = subprocess.run([HELPER], capture_output=True, text=True, check=True, timeout=60).stdout.split()
    rect = tuple(int(v) for v in out[1:5])
    print("BtnNewVer", rect, flush=True)
    session(False, rect)
    session(True, rect)
    print("screenshots in", OUT)
    if failures:
        print(f"{len(failures)} failures")
        return 1
    print("the close-down run went as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main())
