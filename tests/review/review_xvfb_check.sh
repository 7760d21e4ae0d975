#!/bin/sh
# review_xvfb_check.sh REVIEW HELPER OUTDIR - holescan-review on a virtual X server, driven as
# a user drives it: a generated card opened from the command line, a shot added with a real
# Ctrl+click, saved with Ctrl+S, deleted with Delete, brought back with Ctrl+Z, each step
# checked in the saved PICTURE.shots.json; another face chosen (the picture must end Ready,
# or Ctrl+S saves nothing); Ctrl+E exported with the names proposed, every input left byte for
# byte; a picture storing no resolution showing no shot until Alt+R gives one (counted in
# screenshots); Ctrl+Q with two changed pictures, both saved by the question's default.
# Screenshots in OUTDIR. Exits 77 (skipped) when a tool is missing.
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
rm -f "$out"/card* "$out"/nores* "$out"/*.png "$out"/*.log "$out"/*.orig
card="$out/card.bmp"
saved="$card.shots.json"
nores="$out/nores.ppm"
"$helper" card "$card"
"$helper" card "$nores"
cp "$card" "$out/card.bmp.orig"
cp "$nores" "$out/nores.ppm.orig"

unset QT_QPA_PLATFORM
export XDG_CONFIG_HOME="$out/config"
rm -rf "$XDG_CONFIG_HOME"
mkdir -p "$XDG_CONFIG_HOME/holescan"
printf '[settings]\nface=issf-air-rifle\n' >"$XDG_CONFIG_HOME/holescan/holescan-review.conf"
"$review" "$card" "$nores" >"$out/review.log" 2>&1 &
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

# Another face, from the keyboard: the picture ends Ready, so Ctrl+S saves the new face.
xdotool key --window "$window" alt+a
sleep 0.3
xdotool key --window "$window" Down
face_saved() {
  xdotool key --window "$window" --clearmodifiers ctrl+s
  face=$("$helper" setting "$saved" face 2>/dev/null) && [ -n "$face" ] && [ "$face" != issf-air-rifle ]
}
wait_for face_saved || fail "after choosing another face nothing was saved: $("$helper" setting "$saved" face)"
echo "face: $("$helper" setting "$saved" face), saved"
"$helper" grab "$out/face-chosen.png"

# Export with the names proposed: NAME-shots.*, the inputs untouched.
xdotool key --window "$window" ctrl+e
wait_for xdotool search --onlyvisible --name '^Export: ' || fail "no export dialog appeared"
sleep 0.5
"$helper" grab "$out/export-dialog.png"
xdotool key Return
for suffix in csv json png pdf; do
  wait_for test -s "$out/card-shots.$suffix" || fail "export wrote no card-shots.$suffix"
done
cmp "$card" "$out/card.bmp.orig" || fail "the export changed card.bmp"
cmp "$nores" "$out/nores.ppm.orig" || fail "the export changed nores.ppm"
echo "export: card-shots.csv, .json, .png, .pdf; inputs byte for byte"

# A change on the card left unsaved for the quit.
xdotool mousemove --window "$window" 540 228
xdotool keydown ctrl click 1 keyup ctrl
sleep 0.5

# The picture without a resolution (second in the list): no shot drawn until it is given.
xdotool mousemove --window "$window" 100 64 click 1
sleep 1
"$helper" grab "$out/resolution-unknown.png"
marks=$("$helper" marks "$out/resolution-unknown.png" 415 20 815 770)
[ "$marks" = 0 ] || fail "shots drawn on a picture of unknown resolution ($marks marked pixels)"
xdotool key --window "$window" --clearmodifiers ctrl+s
sleep 0.5
[ ! -e "$nores.shots.json" ] || fail "a picture of unknown resolution was saved"
xdotool key --window "$window" alt+r
sleep 0.3
xdotool key --window "$window" ctrl+a
xdotool type --window "$window" 150
xdotool key --window "$window" Return
drawn() {
  "$helper" grab "$out/resolution-given.png"
  [ "$("$helper" marks "$out/resolution-given.png" 415 20 815 770)" -gt 50 ]
}
wait_for drawn || fail "no shot drawn once the resolution was given"
echo "resolution: none drawn while unknown, drawn at 150 ppi"

# Quit: both changed pictures offered; the default answer saves both.
xdotool key --window "$window" ctrl+q
wait_for xdotool search --onlyvisible --name '^Unsaved edits$' || fail "quitting asked nothing"
"$helper" grab "$out/quit-question.png"
xdotool key Return
tries=0
while kill -0 "$pid" 2>/dev/null; do
  tries=$((tries + 1))
  [ "$tries" -lt 200 ] || fail "the window did not close after saving"
  sleep 0.1
done
[ "$("$helper" count "$saved")" = "$((found + 2)) 2" ] ||
  fail "card.bmp's unsaved shot was not saved: $("$helper" count "$saved")"
[ "$("$helper" setting "$nores.shots.json" dpi)" = 150 ] ||
  fail "nores.ppm's resolution was not saved"
cmp "$card" "$out/card.bmp.orig" || fail "card.bmp changed"
cmp "$nores" "$out/nores.ppm.orig" || fail "nores.ppm changed"
echo "quit: both pictures saved"
echo "screenshots: $out"
echo "PASS"
