#!/usr/bin/env bash
# Renders the desktop program under Xvfb into docs/images/ as PNG: the main
# window with the bundled sample decoded and filter matches in the top pane,
# then every dialog (scripts/dialog-screenshots.sh), then the framed window
# and the receiver chooser (scripts/wm-screenshots.sh), then the window on
# several channels (scripts/channel-screenshots.sh).
# Usage: scripts/screenshots.sh [BUILD_DIR]   (needs the Xvfb package)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
ninja -C "$build" skelmar skelshot >/dev/null

work=$(mktemp -d)
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
app=
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY=$display
sleep 1

# shot NAME X Y WIDTH HEIGHT: the screen rectangle as docs/images/NAME.png.
shot() { "$build/tools/screenshot/skelshot" "docs/images/$1.png" "$2" "$3" "$4" "$5"; }
mkdir -p docs/images

# The main window: the bundled sample with the golden tests' filters, at the
# top-left corner (no window manager, so no title bar), 640 x 420.
sed -e "s#@FILTER_LOG@#$work/filter.log#" \
    -e 's/^\[Skelmar\]$/[Skelmar]\nxPos=0\nyPos=0\nxSize=640\nySize=420\nConfirmExit=0/' \
    tests/golden/filters.ini >"$work/Skelmar.INI"
LC_ALL=C TZ=UTC "$build/skelmar" --replay samples/mixed-traffic.edges --four-level \
  --config "$work/Skelmar.INI" --start-time 2026-01-01T09:30:00Z &
app=$!
sleep 4
shot main-window 0 0 640 420
kill "$app"
wait "$app" 2>/dev/null || true
app=

echo "written: docs/images/main-window.png"

# The setup, filter and statistics dialogs and the colour preview.
scripts/dialog-screenshots.sh "$build"

# Under a window manager: the window with its status bar while it decodes,
# and the receiver chooser.
scripts/wm-screenshots.sh "$build"

# The window on four channels of one capture, with its Channels list.
scripts/channel-screenshots.sh "$build"
