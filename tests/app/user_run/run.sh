#!/bin/sh
# Runs the user's run (user_run.py) under a virtual X server, or on the display there is; skips (77) when
# the server, xdotool, ImageMagick's import or Pillow is missing.
# Usage: run.sh QUORVEL HELPER OUTDIR
here=$(dirname "$0")
py=/usr/bin/python3
for tool in xdotool import; do
  command -v $tool >/dev/null 2>&1 || { echo "$tool is missing: skipped"; exit 77; }
done
$py -c 'import PIL' 2>/dev/null || { echo "Pillow is missing: skipped"; exit 77; }
if [ -n "$DISPLAY" ]; then
  exec $py "$here/user_run.py" "$@"
fi
command -v Xvfb >/dev/null 2>&1 || { echo "no display and no Xvfb: skipped"; exit 77; }
exec sh "$(dirname "$0")/../../with_xvfb.sh" 1280x1024x24 $py "$here/user_run.py" "$@"
