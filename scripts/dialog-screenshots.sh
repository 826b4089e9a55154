#!/usr/bin/env bash
# Renders the setup, filter and statistics dialogs and the colour preview to
# docs/images/*.png. Usage: scripts/dialog-screenshots.sh [BUILD_DIR]
# Runs under Xvfb when xvfb-run is installed, else on Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake --build "$build" --target skelmar-dialog-shots >/dev/null
# Pinned scale so the pictures do not depend on the machine's screen.
export QT_SCALE_FACTOR=1 QT_ENABLE_HIGHDPI_SCALING=0
if command -v xvfb-run >/dev/null; then
  xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tools/dialog_shots/skelmar-dialog-shots" docs/images
else
  QT_QPA_PLATFORM=offscreen "$build/tools/dialog_shots/skelmar-dialog-shots" docs/images
fi
