#!/bin/sh
# Starts the real debugger on an X server, checks its window and caption,
# sends real key presses and closes it through its menu.
set -eu
TAVORA=$1
EXAMPLE=$2
export QT_QPA_PLATFORM=xcb

fail() { echo "smoke test: $*" >&2; kill "$PID" 2>/dev/null || true; exit 1; }

"$TAVORA" "$EXAMPLE" &
PID=$!
WIN=""
for _ in $(seq 1 100); do
  WIN=$(xdotool search --sync --limit 1 --name '^Orvane' 2>/dev/null | head -n 1) && [ -n "$WIN" ] && break
  sleep 0.1
done
[ -n "$WIN" ] || fail "no window"
TITLE=$(xdotool getwindowname "$WIN")
[ "$TITLE" = "Orvane  [$EXAMPLE]" ] || fail "caption is '$TITLE'"

xdotool windowactivate --sync "$WIN" 2>/dev/null || xdotool windowfocus --sync "$WIN"
for key in F8 F8 F9 ctrl+F2 shift+F9 ctrl+F2; do
  xdotool key --window "$WIN" "$key"
  sleep 0.3
  kill -0 "$PID" 2>/dev/null || fail "gone after $key"
done

# Datei > Beenden: open the menu with a click, then two items down.
xdotool mousemove --window "$WIN" 15 10 click 1
sleep 0.5
xdotool key Down Down Return
for _ in $(seq 1 50); do
  kill -0 "$PID" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$PID" 2>/dev/null && fail "still running after Beenden"
wait "$PID" || fail "exit status $?"
echo "smoke test passed"
