#!/usr/bin/env bash
# The README's picture of the window on several channels: a generated
# capture of four POCSAG channels (one of them quiet), served at its own
# speed by a small stand-in for rtl_tcp, so the Channels list shows a page
# just come. Needs Xvfb, openbox, xwd, netpbm and python3.
# Usage: scripts/channel-screenshots.sh [BUILD_DIR] [OUTPUT_DIR]   (scripts/screenshots.sh runs it)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
out="${2:-docs/images}"
for tool in Xvfb openbox xwd xwdtopnm pnmtopng pnmcut python3 ss; do
  command -v "$tool" >/dev/null || { echo "screenshots: $tool is not installed" >&2; exit 1; }
done
ninja -C "$build" skelmar skelgen skeliq >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Three transmitters of a network around 466.156 MHz, each on its own
# schedule; 466.1125 MHz carries nothing.
gen="$build/tools/siggen/skelgen"
"$gen" --rate 1200 --repeat 4 --gap 8 --page "1234567:0:a:Pump station 3 alarm" \
  --page "1234570:3:a:Reservoir level low, check pump 2" "$work/north.edges"
"$gen" --rate 512 --repeat 3 --gap 12 --page "0420311:1:n:5551234" \
  --page "0420312:2:a:Unit 12 to depot" "$work/south.edges"
"$gen" --rate 2400 --page "0777001:0:a:Test page 2400 baud" "$work/other.edges"
"$build/tools/siggen/skeliq" --edges "$work/north.edges" --rate 1024k --center 466.15625M \
  --offset -81.25k --cnr 25 --also "$work/south.edges,43.75k,-3" \
  --also "$work/other.edges,81.25k,2" "$work/band.cu8"

# rtl_tcp's greeting, then the capture at its sample rate; commands are read and ignored.
cat > "$work/serve.py" <<'PY'
import socket, struct, sys, threading, time
path, rate = sys.argv[1], 1024000
data = open(path, "rb").read()
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen(1)
print(s.getsockname()[1], flush=True)
c, _ = s.accept()
c.sendall(b"RTL0" + struct.pack(">II", 5, 29))
threading.Thread(target=lambda: [None for _ in iter(lambda: c.recv(64), b"")], daemon=True).start()
step, sent, start = 2 * rate // 20, 0, time.monotonic()
while sent < len(data):
    c.sendall(data[sent:sent + step])
    sent += step
    time.sleep(max(0, start + sent / (2 * rate) - time.monotonic()))
time.sleep(600)
PY
python3 "$work/serve.py" "$work/band.cu8" > "$work/port" &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done

exec 3<> "$work/display"
Xvfb -displayfd 3 -screen 0 900x680x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
sleep 1

cat > "$work/Skelmar.INI" <<'INI'
[Skelmar]
xPos=20
yPos=20
xSize=820
ySize=600
Percent=40
ConfirmExit=0
[Filter]
FilterCount=1
Filter1=1,"",0,"Alarm","alarm",0
INI
QT_SCALE_FACTOR=1 TZ=UTC "$build/skelmar" --config "$work/Skelmar.INI" \
  --rtl-tcp "127.0.0.1:$(head -n1 "$work/port")" --rate 1024k \
  --channel 466.075M=North --channel 466.1125M=Fire --channel 466.2M=South --channel 466.2375M \
  >/dev/null 2>&1 &
pids+=($!)
# A moment after a page on North: 29 s in, its fourth transmission has just ended.
sleep 30
xwd -root -silent | xwdtopnm 2>/dev/null | pnmcut -left 20 -top 20 -width 820 -height 600 |
  pnmtopng > "$out/channel-list.png"
echo "$out/channel-list.png"
