#!/usr/bin/env bash
# Drives pixtable's windows on a private Xvfb with xdotool, as a user would.
# Usage: desktop_e2e.sh PIXTABLE ARTEFACT_DIR CASE
# Screenshots of every window go to ARTEFACT_DIR/CASE.
set -euo pipefail

pixtable=$(realpath "$1")
shots="$2/$3"
case_name=$3
mkdir -p "$shots"
rm -f "$shots"/*.png

work=$(mktemp -d)
pics="$work/pictures"  # Where pixtable runs; only pictures and tables.
mkdir "$pics"
run_env=()
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -CONT "$p" 2>/dev/null || true; kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL ($case_name): $*" >&2
  [[ -s $work/stderr ]] && { echo "--- pixtable's standard error:" >&2; cat "$work/stderr" >&2; }
  exit 1
}

# ImageMagick's tools by full path: another `convert` may come first on PATH.
magick_convert=/usr/bin/convert
magick_import=/usr/bin/import
magick_compare=/usr/bin/compare

# ---- the X server ----------------------------------------------------------

# A display number at random, so that a test starting while another one's
# server is still shutting down doesn't take over its number.
start_x() {
  local n=$((RANDOM % 900 + 100))
  [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && return 1
  # -noreset: a server that resets when its last client leaves refuses the next.
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset 2>"$work/xvfb.log" &
  local xvfb=$!
  pids+=("$xvfb")
  local end=$((SECONDS + 30))
  until xdpyinfo -display ":$n" >/dev/null 2>&1; do
    kill -0 "$xvfb" 2>/dev/null && ((SECONDS < end)) || return 1
    sleep 0.05
  done
  export DISPLAY=":$n"
}
unset DISPLAY
for _ in $(seq 20); do start_x && break; done
[[ -n ${DISPLAY:-} ]] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
# X libraries leak a little on purpose at exit; only our own leaks count.
export LSAN_OPTIONS="suppressions=$(dirname "$(realpath "$0")")/x11_leaks.supp:print_suppressions=0"

# ---- helpers -----------------------------------------------------------------

# until_true SECONDS COMMAND...: polls COMMAND until it succeeds.
until_true() {
  local limit=$1
  shift
  local end=$((SECONDS + limit))
  until "$@"; do
    ((SECONDS < end)) || return 1
    sleep 0.05
  done
}

# find_window TITLE: prints the id of a visible FLTK window titled TITLE.
# The old-style title property isn't UTF-8, so compare getwindowname's.
find_window() {
  local w
  for w in $(xdotool search --onlyvisible --class FLTK 2>/dev/null); do
    if [[ "$(xdotool getwindowname "$w" 2>/dev/null)" == "$1" ]]; then
      echo "$w"
      return 0
    fi
  done
  return 1
}

# wait_window TITLE: prints the window's id once it is shown.
wait_window() {
  local end=$((SECONDS + 60)) w
  until w=$(find_window "$1"); do
    ((SECONDS < end)) || fail "no window titled '$1'"
    kill -0 "$run_pid" 2>/dev/null || fail "pixtable ended before showing '$1'"
    sleep 0.05
  done
  echo "$w"
}

no_window() { ! find_window "$1" >/dev/null; }

# start_pixtable DIR ARGS...: runs pixtable in DIR in the background.
start_pixtable() {
  local dir=$1
  shift
  (cd "$dir" && exec env "${run_env[@]}" "$pixtable" "$@") >"$work/stdout" 2>"$work/stderr" &
  run_pid=$!
  pids+=("$run_pid")
}

# finish: waits for pixtable to end and sets `code` to its exit code.
finish() {
  until_true 120 bash -c "! kill -0 $run_pid 2>/dev/null" || fail "pixtable did not end"
  code=0
  wait "$run_pid" || code=$?
}

shot() { "$magick_import" -window "$1" "$shots/$2.png"; }

focus() { xdotool windowfocus --sync "$1"; }

clipboard() { xclip -o -selection clipboard 2>/dev/null; }

# hold KEY...: holds the keys down from one xdotool process, so that they
# stay down until `release`; returns once they are down.
hold() {
  local args=()
  for k in "$@"; do args+=(keydown "$k"); done
  xdotool "${args[@]}" exec --sync --args 2 touch "$work/held" sleep 120 &
  holder=$!
  pids+=("$holder")
  until_true 20 test -e "$work/held" || fail "keys not held"
}

release() {
  kill "$holder" 2>/dev/null || true
  xdotool keyup "$@"
}

start_line() { head -1 "$1"; }

make_picture() {  # make_picture FILE ImageMagick-arguments...
  local file=$1
  shift
  "$magick_convert" "$@" -depth 8 "BMP3:$file"
}

# Pixels of the cancel button's centre in Form1's client area.
cancel_x=188
cancel_y=52

# cancel_stopped WINDOW: clicks キャンセル while pixtable is stopped, so the
# click waits for the next progress update whatever the machine's load.
cancel_stopped() {
  xdotool mousemove --window "$1" "$cancel_x" "$cancel_y" click 1
  shot "$1" form1
  kill -CONT "$run_pid"
}

# output_begun: a third file (the table's temporary file) has appeared
# beside the picture and its old table, so the output has begun. Builtins
# only: it runs between slices of a few milliseconds.
output_begun() {
  local files
  shopt -s nullglob dotglob
  files=("$pics"/*)
  shopt -u nullglob dotglob
  ((${#files[@]} > 2))
}

# A pipe that never delivers: `read -t` on it sleeps without a process.
exec {never_fd}<> <(:)
nap() { read -r -t "$1" -u "$never_fd" || true; }

# stop_at_output: lets the stopped pixtable run in short slices until its
# output has begun, and leaves it stopped there.
stop_at_output() {
  local end=$((SECONDS + 300))
  until output_begun; do
    ((SECONDS < end)) || fail "the output never began"
    kill -CONT "$run_pid"
    nap 0.005
    kill -STOP "$run_pid" 2>/dev/null || fail "pixtable ended before its output was seen"
  done
}

# ---- the cases ---------------------------------------------------------------

case_zoom() {  # Z held: the box asks; 3 makes the table 3 times as big.
  make_picture "$pics/red.bmp" -size 40x30 xc:red
  hold z
  start_pixtable "$pics" red.bmp
  local box
  box=$(wait_window pixtable)
  focus "$box"
  # Let the held Z repeat into the box for a while (any other key stops it).
  sleep 1.5
  xdotool key ctrl+c
  until_true 10 test "$(clipboard)" = 1 || fail "the field holds '$(clipboard)', not a selected 1"
  shot "$box" magnification_box
  xdotool type 3
  xdotool key Return
  finish
  release z
  ((code == 0)) || fail "exit code $code"
  [[ "$(start_line "$pics/red.html")" == '<table width="120" height="90" '*bgcolor=* ]] ||
    fail "start line: $(start_line "$pics/red.html")"
}

case_zoom_no_background() {  # Z and X held: magnified, no background colour.
  make_picture "$pics/red.bmp" -size 40x30 xc:red
  hold z x
  start_pixtable "$pics" red.bmp
  local box
  box=$(wait_window pixtable)
  focus "$box"
  sleep 1.5  # Key repeat of the held X, as above.
  xdotool type 3
  xdotool key Return
  finish
  release z x
  ((code == 0)) || fail "exit code $code"
  local line
  line=$(start_line "$pics/red.html")
  [[ "$line" == '<table width="120" height="90" '* && "$line" != *bgcolor* ]] || fail "start line: $line"
}

case_no_background() {  # X alone: no box, no background colour.
  make_picture "$pics/red.bmp" -size 40x30 xc:red
  hold x
  start_pixtable "$pics" red.bmp
  finish
  release x
  ((code == 0)) || fail "exit code $code"
  local line
  line=$(start_line "$pics/red.html")
  [[ "$line" == '<table width="40" height="30" '* && "$line" != *bgcolor* ]] || fail "start line: $line"
}

# check_cancelled PICTURE-BASENAME: the cancelled run left the old table.
check_cancelled() {
  ((code == 3)) || fail "exit code $code, not the cancelled code 3"
  [[ "$(cat "$pics/$1.html")" == "old table" ]] || fail "the existing $1.html was changed"
  local left
  left=$(ls -A "$pics" | grep -v -x -e "$1.bmp" -e "$1.html" || true)
  [[ -z $left ]] || fail "files left behind: $left"
  no_window "進行状況" || fail "the progress window is still shown"
}

case_cancel_analysis() {  # キャンセル while the picture is analysed.
  make_picture "$pics/noise.bmp" -size 2000x2000 xc: +noise Random
  echo "old table" >"$pics/noise.html"
  start_pixtable "$pics" noise.bmp
  local form
  form=$(wait_window "進行状況")
  kill -STOP "$run_pid"
  ! output_begun || fail "the analysis was over before the click"
  cancel_stopped "$form"
  finish
  check_cancelled noise
}

case_cancel_output() {  # キャンセル while the table is written.
  make_picture "$pics/check.bmp" -size 2000x2000 pattern:gray50
  echo "old table" >"$pics/check.html"
  start_pixtable "$pics" check.bmp
  local form
  form=$(wait_window "進行状況")
  kill -STOP "$run_pid"
  # Escape (a close by other means) neither cancels nor closes the window.
  focus "$form"
  xdotool key Escape
  stop_at_output
  cancel_stopped "$form"
  finish
  check_cancelled check
}

case_load_failure() {  # A bad picture: one message box, nothing else.
  echo "not a picture" >"$pics/bad.bmp"
  start_pixtable "$pics" bad.bmp
  local box
  box=$(wait_window pixtable)
  shot "$box" message_box
  focus "$box"
  xdotool key ctrl+c
  local expected="ファイルのロードに失敗しました：bad.bmp"
  until_true 10 test "$(clipboard)" = "$expected" || fail "the message reads '$(clipboard)'"
  no_window "進行状況" || fail "a progress window is shown"
  xdotool key Return
  finish
  ((code == 1)) || fail "exit code $code"
  [[ ! -e $pics/bad.html ]] || fail "a table was written"
}

case_dialog_open() {  # No argument: the dialog; a typed path is converted beside it.
  mkdir "$pics/elsewhere"
  make_picture "$pics/red.bmp" -size 40x30 xc:red
  start_pixtable "$pics/elsewhere"
  local dialog
  dialog=$(wait_window "テクスチャ画像ファイル名")
  shot "$dialog" open_dialog
  focus "$dialog"
  # A name that doesn't exist is refused with a message, and the dialog stays.
  xdotool type "$pics/absent"
  xdotool key Return
  local box
  box=$(wait_window pixtable)
  focus "$box"
  xdotool key ctrl+c
  until_true 10 test "$(clipboard | head -1)" = "$pics/absent" || fail "missing-file message: '$(clipboard)'"
  xdotool key Return
  until_true 20 no_window pixtable || fail "the missing-file message stays"
  find_window "テクスチャ画像ファイル名" >/dev/null || fail "the dialog went away after a missing name"
  focus "$dialog"
  xdotool key ctrl+a
  xdotool type "$pics/red"  # Without ".bmp": the dialog adds it.
  xdotool key Return
  finish
  ((code == 0)) || fail "exit code $code"
  [[ -s $pics/red.html ]] || fail "no table beside the picture"
  [[ -z "$(ls -A "$pics/elsewhere")" ]] || fail "something was written to the current folder"
}

case_dialog_cancel() {  # No argument, dialog cancelled: a quiet end.
  start_pixtable "$pics"
  local dialog
  dialog=$(wait_window "テクスチャ画像ファイル名")
  xdotool mousemove --window "$dialog" 515 367 click 1  # キャンセル
  finish
  ((code == 3)) || fail "exit code $code"
  [[ -z "$(ls -A "$pics")" ]] || fail "files written: $(ls -A "$pics")"
  [[ ! -s $work/stderr ]] || fail "something was said"
}

# label_pixels FONTCONFIG_FILE NAME: screenshots Form1's label and button
# during a run that uses the given font configuration.
label_pixels() {
  make_picture "$pics/noise.bmp" -size 2000x2000 xc: +noise Random
  run_env=(${1:+FONTCONFIG_FILE=$1})
  start_pixtable "$pics" noise.bmp
  local form
  form=$(wait_window "進行状況")
  kill -STOP "$run_pid"
  shot "$form" "$2"
  cancel_stopped "$form"
  finish
  # The first two glyphs of Label1 (of "準備中" or "解析中": as boxes, the
  # same either way) and the button's label.
  "$magick_convert" "$shots/$2.png" -crop 20x25+8+8 +repage "$work/$2-label.png"
  "$magick_convert" "$shots/$2.png" -crop 73x25+152+40 +repage "$work/$2-button.png"
}

differing_pixels() {
  "$magick_compare" -metric AE "$1" "$2" null: 2>&1 || true
}

case_japanese_font() {  # The labels show glyphs, not the boxes of a font without Japanese.
  # The system's fonts less every font that covers Japanese: what a machine
  # without a Japanese font shows.
  mkdir "$work/fc"
  cat >"$work/fc/fonts.conf" <<EOF
<?xml version="1.0"?>
<fontconfig>
  <include>/etc/fonts/fonts.conf</include>
  <selectfont><rejectfont><pattern><patelt name="lang"><string>ja</string></patelt></pattern></rejectfont></selectfont>
</fontconfig>
EOF
  label_pixels "" japanese
  rm -f "$pics/noise.html"
  label_pixels "$work/fc/fonts.conf" boxes
  local label button
  label=$(differing_pixels "$work/japanese-label.png" "$work/boxes-label.png")
  button=$(differing_pixels "$work/japanese-button.png" "$work/boxes-button.png")
  # Boxes for boxes would match exactly; real glyphs differ in many pixels.
  echo "pixels that differ from boxes: label $label, button $button"
  ((label > 30 && button > 30)) || fail "labels look like boxes: $label and $button pixels differ"
}

"case_$case_name"
echo "ok: $case_name"
