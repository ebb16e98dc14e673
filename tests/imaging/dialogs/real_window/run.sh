#!/bin/sh
# Runs the open-dialog check on the display there is, else under a virtual X server; skips (77) when
# neither exists.
prog="$1"
export QV_BACKEND=sdl
if [ -n "$DISPLAY" ]; then
  exec "$prog"
fi
if command -v Xvfb >/dev/null 2>&1; then
  exec sh "$(dirname "$0")/../../../with_xvfb.sh" 1024x768x24 "$prog"
fi
echo "no display and no Xvfb: skipped"
exit 77
