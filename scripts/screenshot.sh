#!/bin/sh
# Starts the desktop program under a virtual X display, runs a script in it once it has started,
# and saves a picture of each window: OUTDIR/main-window.png and OUTDIR/control-panel.png.
#
#   scripts/screenshot.sh SCRIPT OUTDIR        for instance a script holding the one line SOL
#
# BUILD names the build folder (default build). Needs xvfb-run (Debian's xvfb).
set -eu
if [ $# -ne 2 ]; then
  echo "usage: $0 SCRIPT OUTDIR" >&2
  exit 2
fi
script=$1
out=$2
build=${BUILD:-build}
program="$build/app/zolva"
if [ ! -x "$program" ]; then
  echo "$0: $program is not built (make build)" >&2
  exit 1
fi
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "$0: xvfb-run is missing (apt-get install xvfb)" >&2
  exit 1
fi
mkdir -p "$out"
# No sound device is needed; Qt finds none and plays nothing.
xvfb-run -a -s "-screen 0 1280x1024x24" "$program" --screenshot-dir "$out" "$script"
echo "saved $out/main-window.png and $out/control-panel.png"
