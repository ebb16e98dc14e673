#!/bin/sh
# Starts the program in a real window (under a virtual X server when there is no display), ends it with
# SIGTERM and then SIGINT, and checks each time that it ended cleanly and wrote its options.
# Usage: run.sh QUORVEL_EXECUTABLE. Exit 0 pass, 1 fail, 77 skipped.
exe="$1"
if [ "$2" != "--inner" ]; then
  if [ -z "$DISPLAY" ]; then
    command -v Xvfb >/dev/null 2>&1 || { echo "no display and no Xvfb: skipped"; exit 77; }
    exec sh "$(dirname "$0")/../../with_xvfb.sh" 1024x768x24 sh "$0" "$exe" --inner
  fi
fi
command -v xdotool >/dev/null 2>&1 || { echo "xdotool is missing: skipped"; exit 77; }
export QV_BACKEND=sdl
status=0
for sig in TERM INT; do
  dir=$(mktemp -d)
  cp "$exe" "$dir/quorvel"
  cp -r "$(dirname "$exe")/Languages" "$dir/Languages"
  "$dir/quorvel" &
  pid=$!
  if ! timeout 30 xdotool search --sync --onlyvisible --pid "$pid" >/dev/null 2>&1; then
    echo "SIG$sig: the window did not appear"
    kill -9 "$pid" 2>/dev/null
    status=1
  else
    kill -s "$sig" "$pid"
    rc=0
    # Up to 20 s for a clean end.
    n=0
    while kill -0 "$pid" 2>/dev/null && [ $n -lt 200 ]; do sleep 0.1; n=$((n + 1)); done
    if kill -0 "$pid" 2>/dev/null; then
      echo "SIG$sig: the program did not end"
      kill -9 "$pid"
      status=1
    fi
    wait "$pid"
    rc=$?
    if [ "$rc" -ne 0 ]; then
      echo "SIG$sig: exit status $rc"
      status=1
    elif ! grep -q "^\[OPTIONS\]" "$dir/Options.ini" 2>/dev/null || ! grep -q "^Pos=" "$dir/Options.ini"; then
      echo "SIG$sig: Options.ini was not written"
      status=1
    else
      echo "SIG$sig: ended cleanly with its options written"
    fi
  fi
  rm -rf "$dir"
done
exit $status
