#!/bin/sh
# Runs the open check in a real window under a virtual X server (or the display there is); skips (77)
# when there is neither.
prog="$1"
out="$2"
export QV_BACKEND=sdl
if [ -n "$DISPLAY" ]; then
  exec "$prog" "$out"
fi
command -v Xvfb >/dev/null 2>&1 || { echo "no display and no Xvfb: skipped"; exit 77; }
exec sh "$(dirname "$0")/../../with_xvfb.sh" 1024x768x24 "$prog" "$out"
