#!/bin/sh
# Runs the desktop check (desktop_run.py) under a virtual X server with a window manager; skips (77) when
# the server, the window manager, xdotool, xprop, ImageMagick's import or Pillow is missing.
# Usage: run.sh QUORVEL HELPER OUTDIR
here=$(dirname "$0")
py=/usr/bin/python3
for tool in Xvfb openbox xdotool xprop xwininfo import; do
  command -v $tool >/dev/null 2>&1 || { echo "$tool is missing: skipped"; exit 77; }
done
$py -c 'import PIL' 2>/dev/null || { echo "Pillow is missing: skipped"; exit 77; }
# A display of its own even when there is one: the check starts its own window manager.
exec sh "$here/../../with_xvfb.sh" 1280x1024x24 $py "$here/desktop_run.py" "$@"
