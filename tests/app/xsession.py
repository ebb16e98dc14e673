"""What the real-window runs of the program share: failures counted, xdotool driven with a timeout, the
windows of a process found, pictures of a window compared and waited for until they settle, keys, text and
clicks sent, and the program's scratch folder laid out.

A run sets its own pace and its own way of taking a window's picture once, with configure(); the rest is
called as it stands.
"""
import os
import shutil
import subprocess
import tempfile
import time

from PIL import ImageChops

failures = []
started = []

# The run's pace and screenshots; see configure().
_pace = {"key": 0.2, "type": 0.2, "move": 0.1, "click": 0.3, "appear": 0.0, "new_window": 30.0, "settle": 30.0}
_shot = None
_out = None


def configure(out, shot, **pace):
    """OUT: where save_shot writes. SHOT(wid): the window's picture, or None while it cannot be read.
    PACE: seconds after a key, typed text, a pointer move and a click, before a new window is handed on
    (appear), and how long new_window and settle wait at the most."""
    global _shot, _out
    unknown = set(pace) - set(_pace)
    if unknown:
        raise ValueError(f"unknown pace {sorted(unknown)}")
    _pace.update(pace)
    _shot, _out = shot, out


def fail(text):
    print("FAIL:", text, flush=True)
    failures.append(text)


def check(cond, text):
    if not cond:
        fail(text)
    return cond


def tool(name, *args):
    """What the X tool NAME prints, or nothing when it hangs for 30 seconds."""
    try:
        return subprocess.run([name, *[str(a) for a in args]], capture_output=True, text=True,
                              timeout=30).stdout
    except subprocess.TimeoutExpired:
        return ""


def xdo(*args):
    return tool("xdotool", *args)


def windows(pid):
    return [w for w in xdo("search", "--onlyvisible", "--pid", pid).split() if w]


def new_window(pid, before, timeout=None):
    end = time.time() + (_pace["new_window"] if timeout is None else timeout)
    while time.time() < end:
        for w in windows(pid):
            if w not in before:
                time.sleep(_pace["appear"])
                return w
        time.sleep(0.1)
    return None


def same(a, b):
    return a is not None and b is not None and a.size == b.size and ImageChops.difference(a, b).getbbox() is None


def settle(wid, changed_from=None):
    """Waits until the window shows the same picture twice in a row (and, when given, another picture than
    changed_from); returns it."""
    end = time.time() + _pace["settle"]
    last = None
    while time.time() < end:
        now = _shot(wid)
        if same(now, last) and (changed_from is None or not same(now, changed_from)):
            return now
        last = now
        time.sleep(0.25)
    fail(f"window {wid} did not settle" + (" on a new picture" if changed_from is not None else ""))
    return last


def save_shot(wid, name, changed_from=None):
    img = settle(wid, changed_from)
    if img is not None:
        img.save(os.path.join(_out, name))
    return img


def key(*keys):
    xdo("key", "--delay", 60, *keys)
    time.sleep(_pace["key"])


def type_text(text):
    xdo("type", "--delay", 25, text)
    time.sleep(_pace["type"])


def click(wid, x, y, button=1):
    xdo("mousemove", "--window", wid, x, y)
    time.sleep(_pace["move"])
    xdo("click", button)
    time.sleep(_pace["click"])


def fresh_out():
    """The screenshot folder, emptied of an earlier run's pictures."""
    os.makedirs(_out, exist_ok=True)
    for f in os.listdir(_out):
        os.remove(os.path.join(_out, f))


def layout_of(*command):
    """The helper's "Name X Y" lines as a table of points."""
    layout = {}
    for line in subprocess.run(list(command), capture_output=True, text=True, check=True).stdout.splitlines():
        name, x, y = line.split()
        layout[name] = (int(x), int(y))
    return layout


def scratch_program(quorvel, prefix):
    """A scratch folder holding the program, its language files, options that choose English whatever the
    machine's locale, and an empty pictures folder. Returns the folder and the pictures folder."""
    work = tempfile.mkdtemp(prefix=prefix)
    shutil.copy(quorvel, os.path.join(work, "quorvel"))
    shutil.copytree(os.path.join(os.path.dirname(quorvel), "Languages"), os.path.join(work, "Languages"))
    with open(os.path.join(work, "Options.ini"), "w") as f:
        f.write("[LANGUAGE]\nDefault=0\n")
    pics = os.path.join(work, "pictures")
    os.mkdir(pics)
    return work, pics


def launch(workdir):
    """Starts the program in WORKDIR in a real window; returns the process and its first window, or None
    for the window when none appeared within 30 seconds."""
    env = dict(os.environ, QV_BACKEND="sdl")
    p = subprocess.Popen([os.path.join(workdir, "quorvel")], cwd=workdir, env=env)
    started.append(p)
    end = time.time() + 30
    while time.time() < end and not windows(p.pid):
        time.sleep(0.1)
    ws = windows(p.pid)
    return p, (ws[0] if ws else None)


def end_started():
    for q in started:
        if q.poll() is None:
            q.kill()
            q.wait()


def verdict(what):
    """Prints how the run went; returns the exit status."""
    print("screenshots in", _out)
    if failures:
        print(f"{len(failures)} failures")
        return 1
    print(f"the {what} went as expected")
    return 0
