#!/bin/sh
# Renews docs/screenshot.png: the debugger on examples/factorial.cod under
# Xvfb after six single steps (F8), a picture of its main window.
#   packaging/screenshot.sh [BUILD_DIR]      (default: build)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
OUT=$ROOT/docs/screenshot.png
cmake --build "$BUILD" --target tavora tavora-grab-window >/dev/null
mkdir -p "$ROOT/docs"

if [ -z "${TAVORA_SCREENSHOT_INNER:-}" ]; then
  exec env TAVORA_SCREENSHOT_INNER=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$BUILD"
fi

export QT_QPA_PLATFORM=xcb
"$BUILD/ui/tavora" "$ROOT/examples/factorial.cod" &
PID=$!
trap 'kill $PID 2>/dev/null || true' EXIT
WIN=$(xdotool search --sync --limit 1 --name '^Orvane')
sleep 1
xdotool windowfocus --sync "$WIN" 2>/dev/null || true
for _ in 1 2 3 4 5 6; do xdotool key --window "$WIN" F8; sleep 0.2; done
sleep 0.5
"$BUILD/packaging/tavora-grab-window" "$WIN" "$OUT"
echo "wrote $OUT"
