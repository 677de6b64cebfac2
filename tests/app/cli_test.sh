#!/usr/bin/env bash
# Command-line behaviour of the pixtable binary: outputs, messages, exit codes.
# Usage: cli_test.sh PIXTABLE MAKE_BMP SOURCE_DIR
set -u
# Without a display pixtable stays in the terminal, even in a desktop session.
unset DISPLAY
pixtable=$(realpath "$1")
make_bmp=$(realpath "$2")
source_dir=$(realpath "$3")
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
cd "$work"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_code() {  # expect_code WANT WHAT COMMAND...
  local want=$1 what=$2
  shift 2
  "$@" >out.txt 2>err.txt
  local got=$?
  [[ $got == "$want" ]] || fail "$what: exit $got, expected $want; stderr: $(cat err.txt)"
}
crlf() { printf '%s\r\n' "$@"; }

# A 24-bit BMP from rows of letters, top row first: r red, b blue.
write_bmp() { "$make_bmp" rows "$@"; }

# --- The worked examples, byte for byte.
write_bmp ex.bmp rr rb
expect_code 0 "magnification 3" "$pixtable" --terminal -m 3 ex.bmp
[[ "$(cat ex.html)" == "$(crlf '<table width="6" height="6" border=0 cellpadding=0 cellspacing=0 bgcolor=#FF0000>' \
  '<tr><td colspan=2></td></tr>' '<tr><td></td><td bgcolor=#0000FF></td></tr>' '</table>')" ]] || fail "worked example"
[[ -s err.txt ]] && fail "stderr not empty when it is no terminal: $(cat err.txt)"
expect_code 0 "no background" "$pixtable" -x --magnification=3 -o - ex.bmp
[[ "$(cat out.txt)" == "$(crlf '<table width="6" height="6" border=0 cellpadding=0 cellspacing=0>' \
  '<tr><td bgcolor=#FF0000 colspan=2></td></tr>' '<tr><td bgcolor=#FF0000></td><td bgcolor=#0000FF></td></tr>' \
  '</table>')" ]] || fail "worked example without background"
write_bmp blue.bmp b b
expect_code 0 "1x2 blue" "$pixtable" blue.bmp
[[ "$(cat blue.html)" == "$(crlf '<table width="1" height="2" border=0 cellpadding=0 cellspacing=0 bgcolor=#000000>' \
  '<tr><td bgcolor=#0000FF rowspan=2></td></tr>' '<tr></tr>' '</table>')" ]] || fail "1x2 blue"
expect_code 0 "magnification clamps" "$pixtable" -m 99999999999999999999 -o - blue.bmp
grep -q 'width="10" height="20"' out.txt || fail "huge magnification not clamped to 10"

# --- The bundled example converts to the committed table.
"$make_bmp" sample made.bmp
cmp -s made.bmp "$source_dir/examples/sample.bmp" || fail "examples/sample.bmp differs from make_bmp's sample"
expect_code 0 "sample" "$pixtable" -o sample.html "$source_dir/examples/sample.bmp"
cmp -s sample.html "$source_dir/examples/sample.html" || fail "examples/sample.html is not what pixtable writes"

# --- A picture elsewhere keeps its directory; patterns match in byte order.
mkdir -p "pics.d/sub" && cp ex.bmp "pics.d/b one.bmp" && cp blue.bmp "pics.d/a one.bmp"
expect_code 0 "pattern words" "$pixtable" "pics.d/*" one.bmp
[[ -f "pics.d/a one.html" && ! -f "pics.d/b one.html" ]] || fail "pattern did not convert the first match beside it"
(cd pics.d/sub && "$pixtable" ../../ex.bmp -o ../../from-sub.html) || fail "relative path from a subfolder"
"$pixtable" -o - ex.bmp | cmp -s from-sub.html - || fail "relative path converted the wrong picture"

# --- Usage errors: exit 2.
expect_code 2 "no pattern" "$pixtable"
expect_code 2 "no match" "$pixtable" nothing-here.bmp
grep -q "no file matches" err.txt || fail "no-match message"
expect_code 2 "bad option" "$pixtable" --frobnicate ex.bmp
expect_code 0 "help" "$pixtable" --help
grep -q "Exit codes" out.txt || fail "help text"
expect_code 0 "version" "$pixtable" --version
grep -qE '^pixtable [0-9]+\.[0-9]+\.[0-9]+$' out.txt || fail "version text"

# --- Load failure: exit 1, the message, no file.
printf 'BMnot really' >bad.bmp
expect_code 1 "load failure" "$pixtable" bad.bmp
[[ "$(cat err.txt)" == "ファイルのロードに失敗しました：bad.bmp" ]] || fail "load failure text: $(cat err.txt)"
[[ -e bad.html ]] && fail "load failure wrote a file"

# --- The picture itself is never overwritten.
cp ex.bmp same.html
expect_code 1 "output equals input" "$pixtable" same.html
cmp -s same.html ex.bmp || fail "input overwritten"

# --- A folder we may not write to: exit 1, a message, nothing changed.
mkdir ro && cp ex.bmp ro/ && printf 'old' >ro/ex.html && chmod 555 ro
run_unprivileged() { if [[ $(id -u) == 0 ]]; then setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; else "$@"; fi; }
chmod 755 "$work" && chmod 644 ro/ex.bmp
expect_code 1 "read-only folder" run_unprivileged "$pixtable" ro/ex.bmp
grep -q "cannot write" err.txt || fail "read-only folder message: $(cat err.txt)"
[[ "$(cat ro/ex.html)" == old && $(ls -A ro | wc -l) == 2 ]] || fail "read-only folder changed"

# --- Ctrl-C during the analysis: exit 3, no file, an existing table untouched.
"$make_bmp" noise 1500 1500 4000 7 big.bmp
printf 'old' >big.html
"$pixtable" big.bmp 2>err.txt &
pid=$!
sleep 0.5
kill -INT $pid
wait $pid
code=$?
[[ $code == 3 ]] || fail "SIGINT: exit $code, expected 3"
[[ "$(cat big.html)" == old ]] || fail "SIGINT changed the existing table"
[[ $(ls -A | grep -c pixtable-) == 0 ]] || fail "SIGINT left a temporary file"

if ((failures)); then
  echo "$failures failure(s)"
  exit 1
fi
echo "all command-line checks passed"
