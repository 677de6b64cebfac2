#!/usr/bin/env bash
# Signals, limits and standard descriptors: whatever ends a run, the old table stays and no
# temporary file is left; a cancel ends the run within a second, even with a reader that has
# stopped reading.
# Usage: signals_test.sh PIXTABLE MAKE_BMP
source "$(dirname "$0")/cli_common.sh"
# Background runs get signals as foreground ones would (a shell without job control ignores some).
set -m
ulimit -c 0
"$make_bmp" noise 1500 1500 4000 7 big.bmp
"$make_bmp" rows ex.bmp rr rb
# exits PID CODES WHAT [SECONDS]: the run ends (that soon, if given) with an exit code that CODES
# matches.
exits() {
  local end=$((SECONDS + ${4:-0})) code=0
  while [[ -n ${4:-} ]] && kill -0 "$1" 2>/dev/null; do
    ((SECONDS <= end)) || { fail "$3: no end within $4 s"; kill -KILL "$1"; }
    sleep 0.02
  done
  wait "$1" || code=$?
  # The shell may see a stop before the run goes on, and report it again until it notices the CONT.
  for _ in {1..100}; do ((code == 147)) || break; sleep 0.05; wait "$1"; code=$?; done
  [[ $code =~ ^($2)$ ]] || fail "$3: exit $code, expected $2"
}

# --- During the layout: cancels exit 3, other signals end the process as they would, and the
# file-size limit is a write error. Two signals (one held while stopped) end it at once.
for case in TERM:3 HUP:3 INT:3 QUIT:131 USR1:138 ALRM:142 'STOP+INT+TERM:130|143'; do
  printf old >big.html
  "$pixtable" big.bmp 2>err.txt &
  pid=$!
  wait_temporary $pid
  signals=${case%:*}
  for s in ${signals//+/ }; do kill -$s $pid; done
  [[ $signals == STOP* ]] && kill -CONT $pid
  exits $pid "${case#*:}" "$signals"
  kept "$signals"
done
# --- A batch, two pictures at a time: a cancel or an ending signal leaves every old table as it
# was and no temporary file of either job; the picture not yet started is not begun.
cp big.bmp big2.bmp && cp big.bmp big3.bmp
for case in TERM:3 QUIT:131; do
  for t in big big2 big3; do printf old >$t.html; done
  "$pixtable" --each -j2 'big*.bmp' 2>err.txt &
  pid=$!
  until (($(temporaries) >= 2)) || ! kill -0 $pid 2>/dev/null; do sleep 0.01; done
  kill -${case%:*} $pid
  exits $pid "${case#*:}" "batch, $case"
  [[ $(cat big2.html big3.html) == oldold ]] || fail "batch, $case: a table was changed"
  kept "batch, $case"
done
rm big2.bmp big3.bmp big2.html big3.html
# As under nohup: the signal stays ignored.
(trap '' HUP && exec "$pixtable" -o nohup.html big.bmp) &
pid=$!
wait_temporary $pid
kill -HUP $pid
wait $pid || fail "SIGHUP, ignored from the start, ended the run"
printf old >big.html
(ulimit -f 100 && exec "$pixtable" big.bmp 2>err.txt)
[[ $? == 1 ]] && said "file-size limit" "pixtable: cannot write big.html: File too large" ||
  fail "file-size limit"
kept "file-size limit"

# --- A reader that stops reading: standard output or a FIFO, blocked in a write or in opening
# (also a batch's job, on a thread of its own); and a piped picture whose writer stops writing. A
# cancel before the last flush of a table buffered whole: run_test.cpp.
mkfifo stalled idle
mkdir fifo.d && mkfifo fifo.d/big.html
for target in stdout stalled idle batch stdin; do
  case $target in
    idle | batch) ;;
    stdin) sleep 60 >stalled & reader=$! ;;
    *) sleep 60 <stalled & reader=$! ;;
  esac
  case $target in
    stdout) "$pixtable" -o - big.bmp >stalled 2>err.txt & ;;
    stdin) "$pixtable" - <stalled 2>err.txt & ;;
    batch) "$pixtable" --each --output-dir fifo.d big.bmp 2>err.txt & ;;
    *) "$pixtable" -o $target big.bmp 2>err.txt & ;;
  esac
  pid=$!
  # Opening a FIFO no one reads waits, as does reading one no one writes.
  if [[ $target == stalled || $target == stdout ]]; then in_write $pid; else sleep 0.5; fi
  kill -TERM $pid
  exits $pid 3 "stalled $target" 3
  [[ $target == idle || $target == batch ]] || kill $reader
done 2>/dev/null

# --- A closed or failing standard output: a message and exit 1, also for --help and --version.
mknod full c 1 7
"$pixtable" -o - big.bmp 2>err.txt | head -c 10 >/dev/null
[[ ${PIPESTATUS[0]} == 1 ]] || fail "closed pipe: exit ${PIPESTATUS[0]}"
said "closed pipe" "pixtable: cannot write standard output: Broken pipe"
for args in "-o - ex.bmp" --help --version; do
  for to in closed full; do
    if [[ $to == closed ]]; then
      "$pixtable" $args >&- 2>err.txt
    else
      "$pixtable" $args >full 2>err.txt
    fi
    code=$?
    [[ $code == 1 && $(cat err.txt) == "pixtable: cannot write standard output: "* ]] ||
      fail "$args to $to: exit $code, $(cat err.txt)"
  done
done

# --- On a terminal: the progress line is drawn and cleared, and Ctrl-C cancels.
printf old >big.html
exec 3<> <(:)  # Ctrl-C is typed into script's standard input.
# exec: no shell stays between the terminal and the run (a shell that is not bash would die of the
# Ctrl-C).
SHELL=/bin/sh script -qfec "exec '$pixtable' big.bmp" typescript <&3 >/dev/null &
pid=$!
# Ctrl-C once the progress line shows: a fixed wait let a fast run finish first.
until grep -qs $'\rAnalysing... (' typescript || ! kill -0 $pid 2>/dev/null; do sleep 0.01; done
printf '\003' >&3
exits $pid 3 "Ctrl-C on a terminal" 5
grep -q $'\rAnalysing... (' typescript ||
  fail "no progress line on the terminal: $(head -c 200 typescript)"
grep -qF $'\r\e[K' typescript || fail "the progress line was not cleared"
kept "Ctrl-C"
end_tests
