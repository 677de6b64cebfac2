#!/usr/bin/env bash
# Signals, limits and standard descriptors: whatever ends a run, the old table stays and no temporary
# file is left; a cancel ends the run within a second, even with a reader that has stopped reading.
# Usage: signals_test.sh PIXTABLE MAKE_BMP
source "$(dirname "$0")/cli_common.sh"
set -m     # Background runs get signals as foreground ones would (a shell without job control ignores some).
ulimit -c 0
"$make_bmp" noise 1500 1500 4000 7 big.bmp
"$make_bmp" rows ex.bmp rr rb
kept() {  # kept WHAT: the old table is still there and nothing else was left.
  [[ "$(cat big.html)" == old ]] || fail "$1 changed the existing table"
  (($(temporaries) == 0)) || fail "$1 left a temporary file"
}
ended_within() {  # ended_within SECONDS PID: the run ended that soon.
  local end=$((SECONDS + $1))
  while kill -0 "$2" 2>/dev/null; do ((SECONDS <= end)) || { fail "no end within $1 s"; kill -KILL "$2"; }; sleep 0.02; done
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
  wait $pid
  code=$?
  # The shell may see the stop before the run goes on, and report it again until it notices the CONT.
  for _ in {1..100}; do ((code == 147)) || break; sleep 0.05; wait $pid; code=$?; done
  [[ $code =~ ^(${case#*:})$ ]] || fail "$signals: exit $code, expected ${case#*:}"
  kept "$signals"
done
# --- A batch, two pictures at a time: a cancel or an ending signal leaves every old table as it was and
# no temporary file of either job; the picture not yet started is not begun.
cp big.bmp big2.bmp && cp big.bmp big3.bmp
for case in TERM:3 QUIT:131; do
  for t in big big2 big3; do printf old >$t.html; done
  "$pixtable" --each -j2 'big*.bmp' 2>err.txt &
  pid=$!
  until (($(temporaries) >= 2)) || ! kill -0 $pid 2>/dev/null; do sleep 0.01; done
  kill -${case%:*} $pid
  wait $pid
  code=$?
  [[ $code == "${case#*:}" ]] || fail "batch, $case: exit $code"
  [[ $(cat big2.html big3.html) == oldold ]] || fail "batch, $case: a table was changed"
  kept "batch, $case"
done
rm big2.bmp big3.bmp big2.html big3.html
(trap '' HUP && exec "$pixtable" -o nohup.html big.bmp) &  # As under nohup: the signal stays ignored.
pid=$!
wait_temporary $pid
kill -HUP $pid
wait $pid || fail "SIGHUP, ignored from the start, ended the run"
printf old >big.html
(ulimit -f 100 && exec "$pixtable" big.bmp 2>err.txt)
[[ $? == 1 ]] && said "file-size limit" "pixtable: cannot write big.html: File too large" || fail "file-size limit"
kept "file-size limit"

# --- A reader that stops reading: standard output or a FIFO, blocked in a write (also the one flush of a
# table buffered whole) or in opening (also a batch's job, on a thread of its own).
mkfifo stalled idle
mkdir fifo.d && mkfifo fifo.d/big.html
"$make_bmp" noise 100 100 5000 1 buffered.bmp  # A table of 250 KB: under the 1 MiB buffer.
for target in stdout buffered stalled idle batch; do
  [[ $target == idle || $target == batch ]] || { sleep 60 <stalled & reader=$!; }
  case $target in
    stdout) "$pixtable" -o - big.bmp >stalled 2>err.txt & ;;
    buffered) "$pixtable" -o - buffered.bmp >stalled 2>err.txt & ;;
    batch) "$pixtable" --each --output-dir fifo.d big.bmp 2>err.txt & ;;
    *) "$pixtable" -o $target big.bmp 2>err.txt & ;;
  esac
  pid=$!
  [[ $target == idle || $target == batch ]] && sleep 0.5  # Opening a FIFO that no one reads waits.
  [[ $target == idle || $target == batch ]] || in_write $pid
  kill -TERM $pid
  ended_within 3 $pid
  wait $pid
  code=$?
  [[ $code == 3 ]] || fail "stalled $target: exit $code, expected 3"
  [[ $target == idle || $target == batch ]] || kill $reader
done 2>/dev/null

# --- A closed or failing standard output: a message and exit 1, also for --help and --version.
mknod full c 1 7
"$pixtable" -o - big.bmp 2>err.txt | head -c 10 >/dev/null
[[ ${PIPESTATUS[0]} == 1 ]] || fail "closed pipe: exit ${PIPESTATUS[0]}"
said "closed pipe" "pixtable: cannot write standard output: Broken pipe"
for args in "-o - ex.bmp" --help --version; do
  for to in closed full; do
    if [[ $to == closed ]]; then "$pixtable" $args >&- 2>err.txt; else "$pixtable" $args >full 2>err.txt; fi
    code=$?
    [[ $code == 1 && $(cat err.txt) == "pixtable: cannot write standard output: "* ]] || fail "$args to $to: exit $code, $(cat err.txt)"
  done
done

# --- On a terminal: the progress line is drawn and cleared, and Ctrl-C cancels.
printf old >big.html
exec 3<> <(:)  # Ctrl-C is typed into script's standard input.
# exec: no shell stays between the terminal and the run (a shell that is not bash would die of the Ctrl-C).
SHELL=/bin/sh script -qfec "exec '$pixtable' big.bmp" typescript <&3 >/dev/null &
pid=$!
wait_temporary $pid
sleep 0.3
printf '\003' >&3
ended_within 5 $pid
wait $pid
code=$?
[[ $code == 3 ]] || fail "Ctrl-C on a terminal: exit $code"
grep -q $'\r解析中・・・(' typescript || fail "no progress line on the terminal: $(head -c 200 typescript)"
grep -qF $'\r\e[K' typescript || fail "the progress line was not cleared"
kept "Ctrl-C"
end_tests
