#!/bin/sh
# Runs the close-down check (desktop_close.py) under a virtual X server of its own, where it starts a
# window manager for the second half; skips (77) when the server, openbox, xdotool, xprop, xwininfo,
# ImageMagick's import or Pillow is missing.
# Usage: run.sh QUORVEL HELPER OUTDIR
here=$(dirname "$0")
py=/usr/bin/python3
for tool in Xvfb openbox xdotool xprop xwininfo import; do
  command -v $tool >/dev/null 2>&1 || { echo "$tool is missing: skipped"; exit 77; }
done
$py -c 'import PIL' 2>/dev/null || { echo "Pillow is missing: skipped"; exit 77; }
exec sh "$here/../../with_xvfb.sh" 1280x1024x24 $py "$here/desktop_close.py" "$@"
