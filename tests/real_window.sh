#!/bin/sh
# Runs a real-window check on the display there is, or under a virtual X server of its own; exits 77
# (skipped) when there is neither, or when the check moves the pointer and xdotool is missing.
# Usage: real_window.sh [--xdotool] PROGRAM OUTPUT
if [ "$1" = "--xdotool" ]; then
  shift
  command -v xdotool >/dev/null 2>&1 || { echo "xdotool is missing: skipped"; exit 77; }
fi
export QV_BACKEND=sdl
if [ -n "$DISPLAY" ]; then
  # Scratch files of the check go to a folder of its own, removed when it ends.
  TMPDIR=$(mktemp -d) || exit 1
  export TMPDIR
  "$1" "$2"
  rc=$?
  rm -rf "$TMPDIR"
  exit $rc
fi
exec sh "$(dirname "$0")/with_xvfb.sh" 1024x768x24 "$1" "$2"
