#!/usr/bin/env bash
# Drives pixtable's windows on a private Xvfb with xdotool, as a user would.
# Usage: desktop_e2e.sh PIXTABLE ARTEFACT_DIR CASE   (screenshots go to ARTEFACT_DIR/CASE)
set -euo pipefail
pixtable=$(realpath "$1") case_name=$3 shots="$2/$3"
mkdir -p "$shots" && rm -f "$shots"/*.png
work=$(mktemp -d)
pics=$work/pictures  # Where pixtable runs; only pictures and tables.
mkdir "$pics"
im=/usr/bin  # ImageMagick's own tools: another `convert` may come first on PATH.
run_env=() pids=()
open_title=テクスチャ画像ファイル名
load_failed=ファイルのロードに失敗しました：
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

# ---- helpers -----------------------------------------------------------------

until_true() {  # until_true SECONDS COMMAND...: polls COMMAND until it succeeds.
  local end=$((SECONDS + $1))
  shift
  until "$@"; do ((SECONDS < end)) || return 1; sleep 0.05; done
}
running() { kill -0 "$run_pid" 2>/dev/null; }

# find_window TITLE: prints the id of a visible FLTK window titled TITLE.
# The old-style title property isn't UTF-8, so compare getwindowname's.
find_window() {
  local w
  for w in $(xdotool search --onlyvisible --class FLTK 2>/dev/null); do
    [[ "$(xdotool getwindowname "$w" 2>/dev/null)" == "$1" ]] && { echo "$w"; return 0; }
  done
  return 1
}
no_window() { ! find_window "$1" >/dev/null; }
wait_window() {  # wait_window TITLE: prints the window's id once it is shown.
  local end=$((SECONDS + 60)) w
  until w=$(find_window "$1"); do
    ((SECONDS < end)) || fail "no window titled '$1'"
    running || fail "pixtable ended before showing '$1'"
    sleep 0.05
  done
  echo "$w"
}

start_pixtable() {  # start_pixtable DIR ARGS...: runs pixtable in DIR in the background.
  (cd "$1" && exec env "${run_env[@]}" "$pixtable" "${@:2}") >"$work/stdout" 2>"$work/stderr" &
  run_pid=$! && pids+=("$run_pid")
}
finish() {  # finish [CODE [SECONDS]]: waits for pixtable to end, with exit code CODE if given.
  until_true "${2:-120}" eval '! running' || fail "pixtable did not end within ${2:-120} s"
  code=0
  wait "$run_pid" || code=$?
  [[ -z ${1:-} || $code == "$1" ]] || fail "exit code $code, expected $1"
}

shot() { "$im/import" -window "$1" "$shots/$2.png"; }
focus() { xdotool windowfocus --sync "$1"; }
enter() { xdotool type "$1"; xdotool key Return; }
# picture NAME WxH IM-ARGS...: a bitmap made by ImageMagick.
picture() { "$im/convert" -size "$2" "${@:3}" -depth 8 "BMP3:$pics/$1.bmp"; }
# noise NAME: a picture whose layout takes seconds.
noise() { picture "$1" 2000x2000 xc: +noise Random; }

expect_copied() {  # expect_copied WINDOW TEXT: Ctrl+C in WINDOW copies TEXT (first line).
  focus "$1"
  xdotool key ctrl+c
  until_true 10 test "$(xclip -o -selection clipboard 2>/dev/null | head -1)" = "$2" ||
    fail "copied '$(xclip -o -selection clipboard 2>/dev/null)', not '$2'"
}
# message WANTED TEXT...: a message box with TEXT shows (WANTED: its first line); Return closes it.
message() { expect_copied "$(wait_window pixtable)" "$1"; xdotool key Return; }

# hold KEY...: holds the keys down from one xdotool process until `release`.
hold() {
  xdotool $(printf 'keydown %s ' "$@") exec --sync --args 2 touch "$work/held" sleep 120 &
  holder=$! && pids+=("$holder")
  until_true 20 test -e "$work/held" || fail "keys not held"
}
release() { kill "$holder" 2>/dev/null || true; xdotool keyup "$@"; }

# start_stopped ARGS...: a run with ARGS, every picture beside an old table, stopped once its
# progress window (`form`) shows.
start_stopped() {
  for p in "$pics"/*.bmp; do echo "old table" >"${p%.bmp}.html"; done
  start_pixtable "$pics" "$@"
  form=$(wait_window "進行状況")
  kill -STOP "$run_pid"
}
# cancel_stopped: clicks キャンセル (at 188,52 in ProgressWindow) while pixtable is
# stopped, so the click waits for the next progress update whatever the load.
cancel_stopped() {
  xdotool mousemove --window "$form" 188 52 click 1
  shot "$form" form1
  kill -CONT "$run_pid"
}
# kept CODE: pixtable ends with CODE, every old table kept, nothing left, no window.
kept() {
  finish "$1"
  [[ "$(cat "$pics"/*.html | sort -u)" == "old table" ]] || fail "an existing table was changed"
  local left
  left=$(ls -A "$pics" | grep -v -e '\.bmp$' -e '\.html$' || true)
  [[ -z $left ]] || fail "files left behind: $left"
  no_window "進行状況" && no_window pixtable || fail "a window is still shown"
}

# output_begun: the table's temporary file, made before the layout, has text in it.
# Builtins only: it runs between slices of a few ms.
output_begun() {
  local file
  for file in "$pics"/.*.pixtable-*; do [[ -s $file ]] && return 0; done
  return 1
}
exec {never_fd}<> <(:)  # A pipe that never delivers: `read -t` on it sleeps without a process.
# stop_at_output: runs the stopped pixtable in short slices until its output has begun.
stop_at_output() {
  local end=$((SECONDS + 300))
  until output_begun; do
    ((SECONDS < end)) || fail "the output never began"
    kill -CONT "$run_pid"
    read -r -t 0.005 -u "$never_fd" || true
    kill -STOP "$run_pid" 2>/dev/null || fail "pixtable ended before its output was seen"
  done
}

# convert_red KEYS WIDTH BGCOLOR: a 40 x 30 red picture converted with KEYS
# held (the box, when Z asks, gets 3); the start line must give WIDTH and
# BGCOLOR yes or no.
convert_red() {
  picture red 40x30 xc:red
  hold $1
  start_pixtable "$pics" red.bmp
  if [[ $1 == *z* ]]; then
    local box
    box=$(wait_window pixtable)
    focus "$box"
    sleep 1.5  # The held keys repeat into the box meanwhile; the selected 1 must survive Z.
    [[ $1 == z ]] && expect_copied "$box" 1
    shot "$box" magnification_box
    enter 3
  fi
  finish 0
  release $1
  local line bg=no
  line=$(head -1 "$pics/red.html")
  [[ $line == *bgcolor* ]] && bg=yes
  [[ $line == "<table width=\"$2\" height=\"$(($2 * 3 / 4))\" "* && $bg == "$3" ]] ||
    fail "start line: $line"
}

# ---- the cases ---------------------------------------------------------------

# Z asks for a magnification, X drops the background; held together, each still counts.
case_zoom() { convert_red z 120 yes; }
case_zoom_no_background() { convert_red "z x" 120 no; }

case_cancel_analysis() {
  noise noise && start_stopped noise.bmp
  ! output_begun || fail "the analysis was over before the click"
  cancel_stopped
  kept 3
}

case_cancel_output() {
  picture check 2000x2000 pattern:gray50 && start_stopped check.bmp
  focus "$form"
  xdotool key Escape  # A close by other means neither cancels nor closes the window.
  stop_at_output
  cancel_stopped
  kept 3
}

# --each: one progress window for the batch, and its cancel stops every picture.
case_each_cancel() {
  noise noise && cp "$pics/noise.bmp" "$pics/noise2.bmp" && cp "$pics/noise.bmp" "$pics/noise3.bmp"
  start_stopped --each -j2 'noise*.bmp'
  cancel_stopped
  kept 3
}

case_dialog_open() {  # No argument: the dialog; a typed path is converted beside it.
  mkdir "$pics/elsewhere"
  picture red 40x30 xc:red
  start_pixtable "$pics/elsewhere"
  local dialog
  dialog=$(wait_window "$open_title")
  shot "$dialog" open_dialog
  focus "$dialog"
  enter "$pics/absent"  # A missing name: a message, and the dialog stays.
  message "$pics/absent"
  until_true 20 no_window pixtable || fail "the missing-file message stays"
  find_window "$open_title" >/dev/null || fail "the dialog went away after a missing name"
  # Ctrl+L from the list, and again in the name field, selects the name: typing replaces it. Control
  # characters never enter the name, typed or pasted. Without ".bmp": the dialog adds it.
  xdotool mousemove --window "$dialog" 280 280 click 1 key ctrl+l type zzz
  xdotool key ctrl+l type "$pics/re"
  xdotool key ctrl+j ctrl+m
  printf 'd\a' | xclip -selection clipboard
  # xclip serves the clipboard from a process of its own, which may take its time to start.
  until_true 10 test "$(xclip -o -selection clipboard 2>/dev/null)" = $'d\a' || fail "no clipboard"
  xdotool key ctrl+v Return
  finish 0
  [[ -s $pics/red.html ]] || fail "no table beside the picture"
  [[ -z "$(ls -A "$pics/elsewhere")" ]] || fail "something was written to the current folder"
}

case_dialog_cancel() {  # No argument, dialog cancelled: a quiet end.
  start_pixtable "$pics"
  xdotool mousemove --window "$(wait_window "$open_title")" 515 367 click 1  # キャンセル
  finish 3
  [[ -z "$(ls -A "$pics")" && ! -s $work/stderr ]] ||
    fail "files written ($(ls -A "$pics")) or something said"
}

# A signal ends a modal window within a second: the dialog and the magnification box as a cancel
# (exit 3, nothing loaded or written), the message box of a load failure (the only window a bad
# picture shows) with that failure's exit 1.
case_signals() {
  echo "not a picture" >"$pics/bad.bmp"
  local title keys code file
  for window in "$open_title::3:" "pixtable:z:3:bad.bmp" "pixtable::1:bad.bmp"; do
    IFS=: read -r title keys code file <<<"$window"
    [[ -n $keys ]] && hold $keys
    local args=($file)
    # A run that went on past the magnification box would make this folder.
    [[ $keys == z ]] && args=(--output-dir out "${args[@]}")
    start_pixtable "$pics" "${args[@]}"
    wait_window "$title" >/dev/null
    if [[ $code == 1 ]]; then
      shot "$(wait_window pixtable)" message_box
      no_window "進行状況" || fail "a progress window is shown"
      expect_copied "$(wait_window pixtable)" "${load_failed}bad.bmp"
    fi
    kill -TERM "$run_pid"
    finish "$code" 2
    [[ -n $keys ]] && release $keys
    no_window "$title" || fail "'$title' is still shown"
  done
  [[ ! -e $pics/bad.html ]] || fail "a table was written"
  [[ ! -e $pics/out ]] || fail "the run went on after a signal ended the magnification box"
}

# The X server goes away during the layout: exit 1 with a message, the old table kept, nothing left.
case_display_lost() {
  noise noise && start_stopped noise.bmp
  kill "${pids[0]}"  # Xvfb
  kill -CONT "$run_pid"
  finish 1
  grep -q "lost the connection to the X display" "$work/stderr" || fail "no message"
  [[ "$(cat "$pics/noise.html")" == "old table" && -z $(ls -A "$pics" | grep pixtable-) ]] ||
    fail "the existing table was changed or a temporary file left"
}

# `-o -` with standard output closed: a message, not the table written into the X connection.
case_closed_stdout() {
  picture red 40x30 xc:red
  (cd "$pics" && exec "$pixtable" -o - red.bmp >&- 2>"$work/stderr") &
  run_pid=$! && pids+=("$run_pid")
  message "pixtable: cannot write standard output: Bad file descriptor"
  finish 1
}

# label_pixels FONTCONFIG_FILE NAME: crops of the progress window's caption and button during
# a run with that font configuration.
label_pixels() {
  run_env=(${1:+FONTCONFIG_FILE=$1})
  start_stopped noise.bmp
  shot "$form" "$2"
  cancel_stopped
  finish
  # The first two glyphs of the caption and the button's label ("準備中" and "解析中" are the
  # same as boxes).
  "$im/convert" "$shots/$2.png" -crop 20x25+8+8 +repage "$work/$2-label.png"
  "$im/convert" "$shots/$2.png" -crop 73x25+152+40 +repage "$work/$2-button.png"
}
differ() {  # differ PART: how many pixels of PART differ between the two runs.
  "$im/compare" -metric AE "$work/japanese-$1.png" "$work/boxes-$1.png" null: 2>&1 || true
}

case_japanese_font() {  # The labels show glyphs, not the boxes of a font without Japanese.
  # The system's fonts less every font that covers Japanese.
  cat >"$work/fonts.conf" <<EOT
<?xml version="1.0"?>
<fontconfig>
  <include>/etc/fonts/fonts.conf</include>
  <selectfont><rejectfont>
    <pattern><patelt name="lang"><string>ja</string></patelt></pattern>
  </rejectfont></selectfont>
</fontconfig>
EOT
  noise noise
  label_pixels "" japanese
  label_pixels "$work/fonts.conf" boxes
  local label button
  label=$(differ label) button=$(differ button)
  # Boxes for boxes would match exactly; real glyphs differ in many pixels.
  echo "pixels that differ from boxes: label $label, button $button"
  ((label > 30 && button > 30)) || fail "labels look like boxes: $label and $button pixels differ"
}

# A private X server on a display that it picks itself; -noreset: a server that resets when its
# last client leaves refuses the next.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" \
  2>"$work/xvfb.log" &
pids+=($!)
until_true 30 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(cat "$work/display")"
# X libraries leak a little on purpose at exit; only our own leaks count.
export LSAN_OPTIONS="suppressions=$(dirname "$(realpath "$0")")/x11_leaks.supp:print_suppressions=0"

"case_$case_name"
echo "ok: $case_name"
