#!/bin/sh
# Runs the scrolling check in a real window under a virtual X server (or the display there is); skips (77)
# when neither the server nor xdotool is there.
prog="$1"
out="$2"
export QV_BACKEND=sdl
command -v xdotool >/dev/null 2>&1 || { echo "xdotool is missing: skipped"; exit 77; }
if [ -n "$DISPLAY" ]; then
  exec "$prog" "$out"
fi
command -v Xvfb >/dev/null 2>&1 || { echo "no display and no Xvfb: skipped"; exit 77; }
exec sh "$(dirname "$0")/../../with_xvfb.sh" 1024x768x24 "$prog" "$out"
