#!/usr/bin/env bash
# The README's pictures of the running program, taken from a real X server
# with a window manager (Xvfb and openbox): the main window with its status
# bar while it decodes the sample recording, and the receiver chooser.
# Needs xwd, xprop, netpbm and xdotool (apt-get install x11-apps x11-utils netpbm xdotool).
# Usage: scripts/wm-screenshots.sh [BUILD_DIR] [OUTPUT_DIR]   (scripts/screenshots.sh runs it)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
out="${2:-docs/images}"
for tool in Xvfb openbox xwd xprop xwininfo xwdtopnm pnmtopng pnmcut pnmpaste xdotool; do
  command -v "$tool" >/dev/null || { echo "screenshots: $tool is not installed" >&2; exit 1; }
done
[ -x "$build/skelmar" ] || { echo "screenshots: build $build/skelmar first" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

exec 3<> "$work/display"
Xvfb -displayfd 3 -screen 0 900x640x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
sleep 1

# A settings file of its own: the window's place and size, and filters that
# the sample recording matches.
cat > "$work/Skelmar.INI" <<'INI'
[Skelmar]
xPos=20
yPos=20
xSize=820
ySize=560
Percent=62
ConfirmExit=0
4LevelInterface=1
[Filter]
FilterCount=4
Filter1=2,"0161251",4,"Restaurant","",0
Filter2=3,"1057749",0,"Short FLEX","",0
Filter3=5,"042032",1,"Golay","",0
Filter4=1,"",0,"Incident","incident 0412",0
[Feeds]
Label=screenshots
INI

# Played at its own speed, so the picture shows decoding in progress.
QT_SCALE_FACTOR=1 TZ=UTC "$build/skelmar" --config "$work/Skelmar.INI" --realtime \
  --replay samples/mixed-traffic.edges --start-time 2026-03-14T09:26:00Z >/dev/null 2>&1 &
app=$!
pids+=("$app")
sleep 25

# The whole screen, cut to the window's outer place and size (the settings').
shot() {  # x y width height file
  xwd -root -silent | xwdtopnm 2>/dev/null | pnmcut -left "$1" -top "$2" -width "$3" -height "$4" |
    pnmtopng > "$5"
  echo "$5"
}
shot 20 20 820 560 "$out/main-window-status.png"

# File > Receiver... from the keyboard, then the dialog with its frame.
window=$(xdotool search --sync --pid "$app" --onlyvisible --name Skelmar | head -n1)
dialog=""
for _ in 1 2 3; do
  xdotool windowactivate --sync "$window"
  xdotool key --clearmodifiers alt+f
  sleep 0.7
  xdotool key r
  dialog=$(timeout 5 xdotool search --sync --onlyvisible --name "^Skelmar Receiver$" | head -n1) && break
  xdotool key Escape
done
[ -n "$dialog" ] || { echo "screenshots: the receiver dialog did not open" >&2; exit 1; }
sleep 2
xdotool windowactivate --sync "$dialog" mousemove --window "$dialog" 10 10
sleep 1
# The dialog with the frame the window manager drew around it.
X=$(xwininfo -id "$dialog" | awk '/Absolute upper-left X/ {print $4}')
Y=$(xwininfo -id "$dialog" | awk '/Absolute upper-left Y/ {print $4}')
eval "$(xdotool getwindowgeometry --shell "$dialog" | grep -E '^(WIDTH|HEIGHT)=')"
read -r left right top bottom < <(xprop -id "$dialog" _NET_FRAME_EXTENTS | tr -d ',' | awk '{print $3, $4, $5, $6}')
# The frame from the screen, the dialog itself from its window (a root
# capture shows a dialog of the window's nested loop unpainted).
xwd -root -silent | xwdtopnm 2>/dev/null |
  pnmcut -left $((X - left)) -top $((Y - top)) -width $((WIDTH + left + right)) \
    -height $((HEIGHT + top + bottom)) > "$work/frame.pnm"
xwd -id "$dialog" -silent | xwdtopnm 2>/dev/null > "$work/client.pnm"
pnmpaste "$work/client.pnm" "$left" "$top" "$work/frame.pnm" | pnmtopng > "$out/receiver-dialog.png"
echo "$out/receiver-dialog.png"
xdotool key Escape
sleep 0.3
kill "$app"
wait "$app" 2>/dev/null || true
