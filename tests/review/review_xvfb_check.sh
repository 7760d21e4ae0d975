#!/bin/sh
# review_xvfb_check.sh REVIEW HELPER OUTDIR - holescan-review on a virtual X server, driven as
# a user drives it: a generated card opened from the command line, a shot added with a real
# Ctrl+click, saved with Ctrl+S, deleted with Delete, brought back with Ctrl+Z, each step
# checked in the saved PICTURE.shots.json; a screenshot at the end (OUTDIR/screenshot.png).
# Exits 77 (skipped) when a tool is missing.
set -eu
review=$1 helper=$2 out=$3

for tool in xvfb-run xdotool; do
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

# Polls `$@` for up to twenty seconds.
wait_for() {
  tries=0
  until "$@" >/dev/null 2>&1; do
    tries=$((tries + 1))
    [ "$tries" -lt 200 ] || return 1
    sleep 0.1
  done
}

mkdir -p "$out"
rm -f "$out"/card.bmp* "$out"/*.png "$out"/*.log
card="$out/card.bmp"
saved="$card.shots.json"
"$helper" card "$card"

unset QT_QPA_PLATFORM
export XDG_CONFIG_HOME="$out/config"
rm -rf "$XDG_CONFIG_HOME"
mkdir -p "$XDG_CONFIG_HOME/holescan"
printf '[settings]\ndpi=150\nface=issf-air-rifle\n' >"$XDG_CONFIG_HOME/holescan/holescan-review.conf"
"$review" "$card" >"$out/review.log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT
wait_for xdotool search --onlyvisible --name '^card.bmp - holescan-review$' ||
  fail "no window for card.bmp appeared"
window=$(xdotool search --onlyvisible --name '^card.bmp - holescan-review$' | head -n 1)
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"

# Saves and waits until the saved file holds "$1" (shots and edited ones).
save_holds() {
  xdotool key --window "$window" --clearmodifiers ctrl+s
  [ "$("$helper" count "$saved" 2>/dev/null)" = "$1" ]
}
# The analysis is done once a save succeeds; what it found is the start.
wait_for sh -c "xdotool key --window '$window' ctrl+s; test -f '$saved'" ||
  fail "the card was never analysed and saved"
start=$("$helper" count "$saved") || fail "cannot read $saved"
found=${start% *}
[ "${start#* }" = 0 ] || fail "shots marked edited before any edit: $start"
echo "analysis: $found shots"

# The window is 1280 x 800; the view lies between about x 415 and 815 (the settings, with the
# faces' long names, take the rest on the left), the card fitted in it from about y 200 to 590.
# A point on the bare card above the rings:
xdotool mousemove --window "$window" 540 228
xdotool keydown ctrl click 1 keyup ctrl
wait_for save_holds "$((found + 1)) 1" || fail "Ctrl+click added no shot: $("$helper" count "$saved")"
echo "ctrl+click: $((found + 1)) shots, 1 edited"

xdotool key --window "$window" Delete
wait_for save_holds "$found 0" || fail "Delete removed no shot: $("$helper" count "$saved")"
echo "delete: $found shots"

xdotool key --window "$window" ctrl+z
wait_for save_holds "$((found + 1)) 1" || fail "Ctrl+Z did not undo: $("$helper" count "$saved")"
echo "undo: $((found + 1)) shots, 1 edited"
"$helper" grab "$out/screenshot.png"
echo "screenshot: $out/screenshot.png"
echo "PASS"
