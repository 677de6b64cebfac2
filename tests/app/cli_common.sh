# Shared by the command-line tests: a scratch folder to run in, and checks.
# Sourced as: source cli_common.sh PIXTABLE MAKE_BMP
set -u
unset DISPLAY  # Without a display pixtable stays in the terminal, even in a desktop session.
pixtable=$(realpath "$1")
make_bmp=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() {  # expect CODE WHAT ARGS...: runs pixtable; its output in out.txt and err.txt.
  "$pixtable" "${@:3}" >out.txt 2>err.txt
  local got=$?
  [[ $got == "$1" ]] || fail "$2: exit $got, expected $1; stderr: $(cat err.txt)"
}
said() {  # said WHAT TEXT: standard error held exactly TEXT.
  [[ "$(cat err.txt)" == "$2" ]] || fail "$1: said '$(cat err.txt)', not '$2'"
}
temporaries() { ls -A "${1:-.}" | grep -c 'pixtable-'; }  # temporaries [DIR]: how many lie there.
# wait_temporary PID: until the run's temporary file exists (the layout has begun).
wait_temporary() {
  until (($(temporaries) > 0)) || ! kill -0 "$1" 2>/dev/null; do sleep 0.01; done
}
kept() {  # kept WHAT [TABLE]: TABLE (big.html) still holds "old" and no temporary file was left.
  [[ "$(cat "${2:-big.html}")" == old ]] || fail "$1 changed the existing table"
  (($(temporaries) == 0)) || fail "$1 left a temporary file"
}
in_write() {  # in_write PID: until the run waits in a write (or has ended); 30 s at most.
  local end=$((SECONDS + 30))
  until [[ $(cut -d' ' -f1 /proc/$1/syscall 2>/dev/null) == 1 ]] || ! kill -0 "$1" 2>/dev/null; do
    ((SECONDS < end)) || { fail "no write began"; return 1; }
    sleep 0.02
  done
}
end_tests() {
  ((failures == 0)) || { echo "$failures failure(s)"; exit 1; }
  echo "all checks passed"
}
