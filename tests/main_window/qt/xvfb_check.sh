#!/bin/sh
# xvfb_check.sh HOLESCAN HELPER OUTDIR - the real window on a virtual X server, driven as a user
# drives it: the path typed into the text box and loaded with its access key, a rectangle
# marked with the left and the right mouse button, a click on "Draw", then a screenshot
# (OUTDIR/screenshot.png) and the clipboard, which must hold the report a headless run gives
# for the same picture and rectangle. Exits 77 (skipped) when a tool is missing.
set -eu
holescan=$1 helper=$2 out=$3

for tool in xvfb-run xdotool xclip; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: $tool is not installed"
    exit 77
  fi
done
if [ -z "${XVFB_CHECK_INNER:-}" ]; then
  XVFB_CHECK_INNER=1 exec xvfb-run -a -s "-screen 0 1280x800x24" sh "$0" "$@"
fi

fail() {
  echo "FAIL: $*"
  exit 1
}

# Polls `$@` for up to thirty seconds: a sanitized build on a busy machine starts slowly.
wait_for() {
  tries=0
  until "$@" >/dev/null 2>&1; do
    tries=$((tries + 1))
    [ "$tries" -lt 300 ] || return 1
    sleep 0.1
  done
}

mkdir -p "$out"
rm -f "$out"/*.png "$out"/*.txt "$out"/*.log
"$helper" picture "$out/target.png"
# Picture pixels of the two presses: left at (30, 40), right at (370, 270).
"$helper" report "$out/target.png" 30 40 370 270 >"$out/expected-report.txt"

unset QT_QPA_PLATFORM
"$holescan" >"$out/holescan.log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT
wait_for xdotool search --onlyvisible --name '^Form1$' || fail "no window Form1 appeared"
window=$(xdotool search --onlyvisible --name '^Form1$' | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y, WIDTH, HEIGHT
echo "window $window at $X,$Y, $WIDTH x $HEIGHT"
"$helper" grab "$out/start.png"

# The default path fails at start-up: the window is laid out around the empty 553 x 433
# picture box, the text box at (56, 481), 713 x 19 pixels.
xdotool mousemove --window "$window" 300 490 click 1
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 5 "$out/target.png"
xdotool key --clearmodifiers alt+l
# Laid out around the 400 x 300 target: the window becomes 800 x 395 pixels.
wait_for sh -c "xdotool getwindowgeometry '$window' | grep -q 'Geometry: 800x395'" ||
  fail "the picture did not load: $(xdotool getwindowgeometry "$window")"

# PicTarget lies at (0, 40) in the window; "Draw" is at (208, 8), 73 x 25 pixels.
xdotool mousemove --window "$window" 30 80 click 1
xdotool mousemove --window "$window" 370 310 click 3
xdotool mousemove --window "$window" 244 20 click 1

wait_for sh -c "xclip -o -selection clipboard | cmp -s - '$out/expected-report.txt'" || {
  xclip -o -selection clipboard >"$out/clipboard.txt" 2>/dev/null || true
  fail "the clipboard does not hold the expected report (see $out/clipboard.txt)"
}
xclip -o -selection clipboard >"$out/clipboard.txt"
echo "clipboard: $(wc -c <"$out/clipboard.txt") bytes, $(grep -c . "$out/clipboard.txt") lines, as expected"

# Screen pixels, relative to the window: the yellow outline's corners, PicNew's background
# outside the rectangle, and the progress bar, full and blue.
pixel() {
  "$helper" pixel "$out/screenshot.png" $((X + $1)) $((Y + $2))
}
shot_ready() {
  "$helper" grab "$out/screenshot.png" && [ "$(pixel 700 20)" = "#0000ff" ]
}
wait_for shot_ready || fail "the progress bar is not full: $(pixel 700 20)"
for corner in "30 80" "370 80" "30 310" "370 310"; do
  # shellcheck disable=SC2086
  [ "$(pixel $corner)" = "#ffff00" ] || fail "no yellow outline at $corner: $(pixel $corner)"
done
[ "$(pixel 405 45)" = "#000040" ] || fail "PicNew outside the rectangle: $(pixel 405 45)"
[ "$(pixel 300 20)" = "#0000ff" ] || fail "progress bar: $(pixel 300 20)"
echo "screenshot: $out/screenshot.png"
echo "PASS"
