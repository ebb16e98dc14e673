#!/bin/sh
# Runs a command under a virtual X server of its own. The server picks a free display itself and names it
# once it takes connections (-displayfd), so servers started at the same moment never race for a display
# number or for the ready signal (a lost signal could leave a test waiting until its timeout).
# The command's scratch files (TMPDIR) live in a folder removed with the server.
# Usage: with_xvfb.sh WIDTHxHEIGHTxDEPTH COMMAND [ARGS...]; exits 77 when there is no Xvfb.
screen="$1"
shift
command -v Xvfb >/dev/null 2>&1 || { echo "no display and no Xvfb: skipped"; exit 77; }
dir=$(mktemp -d) || exit 1
xpid=
trap '[ -n "$xpid" ] && kill "$xpid" 2>/dev/null; rm -rf "$dir"' EXIT
trap 'exit 143' TERM INT HUP
Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$dir/display" >"$dir/log" 2>&1 &
xpid=$!
n=0
while ! grep -q '^[0-9][0-9]*$' "$dir/display" 2>/dev/null; do
  if ! kill -0 "$xpid" 2>/dev/null || [ $n -ge 600 ]; then
    echo "Xvfb did not start:"
    cat "$dir/log"
    exit 1
  fi
  sleep 0.05
  n=$((n + 1))
done
DISPLAY=":$(cat "$dir/display")"
export DISPLAY
# Scratch files of the command go with the server's folder.
mkdir "$dir/tmp" && TMPDIR="$dir/tmp" && export TMPDIR
"$@"
rc=$?
exit $rc
