#!/usr/bin/env bash
# Command-line behaviour of the pixtable binary: outputs, messages, exit codes.
# Usage: cli_test.sh PIXTABLE MAKE_BMP SOURCE_DIR [sanitized|plain]
source "$(dirname "$0")/cli_common.sh" "$1" "$2"
source_dir=$(realpath "$3")
"$make_bmp" rows ex.bmp rr rb

# --- The case table: exit code and every word said, with the files it names made here.
cp ex.bmp pic.html && printf 'BMnot really' >bad.bmp && mkdir folder.bmp && mkfifo fifo.bmp &&
  mknod device.bmp c 1 3 && ln -s absent.bmp link.bmp || fail "cannot make the table's files"
set -f  # Arguments split at spaces, never globbed.
while IFS='|' read -r code args text; do
  [[ -z $code || $code == '#'* ]] && continue
  expect "$code" "'$args'" $args
  [[ $code == 2 ]] && text+="\nTry 'pixtable --help' for more information."
  said "'$args'" "$(printf '%b' "$text")"
done <"$(dirname "$0")/../data/app/cli_cases.txt"
set +f
(($(ls | wc -l) == 9)) || fail "the case table left files: $(ls)"

# --- The bundled example converts to the committed table; a huge magnification is clamped to 10.
"$make_bmp" sample made.bmp
cmp -s made.bmp "$source_dir/examples/sample.bmp" ||
  fail "examples/sample.bmp differs from make_bmp's sample"
expect 0 "sample" -o sample.html "$source_dir/examples/sample.bmp"
cmp -s sample.html "$source_dir/examples/sample.html" ||
  fail "examples/sample.html is not what pixtable writes"
# The last of --auto-layout and --pixel-exact wins; the latter asks for the default.
expect 0 "magnification clamps" -x -m 99999999999999999999 --auto-layout --pixel-exact ex.bmp
[[ $(head -1 ex.html) == '<table width="20" height="20" border=0 cellpadding=0 cellspacing=0'\
' style="table-layout:fixed">'$'\r' ]] ||
  fail "huge magnification without background: $(head -1 ex.html)"

# --- Scale and colours reach the table: byte for byte against kept tables.
for args in "--scale 3" "--colors 4 --dither" "--scale 2 --colors 5 --scale-filter nearest"; do
  golden=$source_dir/tests/data/app/sample-$(tr -d ' -' <<<"$args").html
  "$pixtable" -m 2 $args -o - "$source_dir/examples/sample.bmp" | cmp -s - "$golden" ||
    fail "$args: not as $golden"
done

# --- A size: the choice on standard error, its bytes those of the file (of the form asked for).
plain=$(stat -c %s sample.html)
expect 0 "max-size" --auto-layout --max-size "$plain" -o fit.html "$source_dir/examples/sample.bmp"
written=$(stat -c %s fit.html | sed -E ':a;s/([0-9])([0-9]{3})($|,)/\1,\2\3/;ta')  # 1,234
grep -qxE "[0-9,]+ byte budget: scale [0-9]+, [0-9,]+ colours?, $written bytes,\
 (exact|PSNR [0-9.]+ dB)" err.txt ||
  fail "max-size: $(cat err.txt) for a table of $(stat -c %s fit.html) bytes"
grep -q colgroup fit.html && fail "--auto-layout wrote the default form"

# --- --matte reaches the table, with a size too: the half-transparent yellow cell over white.
alpha=$source_dir/tests/data/image/reference-alpha-blocks.png
for args in "" "--max-size 9K"; do
  "$pixtable" --matte FFFFFF $args -o - "$alpha" 2>/dev/null |
    grep -q "bgcolor=#FFFF80 colspan=8 rowspan=8" || fail "--matte $args: no matted cell"
done

# --- --width and --height bound the table, magnification and scale included, keeping proportions.
while IFS='|' read -r args size; do
  "$pixtable" $args -o - "$source_dir/examples/sample.bmp" 2>/dev/null | head -1 |
    grep -q "^<table $size " || fail "$args: the table is not $size"
done <<'END'
--width 30 -m 2|width="30" height="20"
--height 7 --scale 3|width="9" height="6"
--width 99 --height 16 --max-size 2K|width="24" height="16"
--width 1000|width="48" height="32"
END

# --- --page: a whole document, titled with the picture's name escaped, its bytes within --max-size.
cp ex.bmp 'a&<b>.bmp'
"$pixtable" --page --max-size 360 -o page.html 'a&<b>.bmp' 2>/dev/null
head -1 page.html | grep -q '^<!DOCTYPE html>' && tail -1 page.html | grep -q '^</body></html>' &&
  grep -qF '<title>a&amp;&lt;b&gt;.bmp</title>' page.html && (($(stat -c %s page.html) <= 360)) ||
  fail "page: $(cat page.html)"

# --- Many partly transparent pixels: a hint on a terminal, unless --matte is given.
for args in "" "--matte FFFFFF"; do
  SHELL=/bin/sh script -qfec "'$pixtable' $args -o hint.html '$alpha'" hint.txt >out.txt </dev/null
  [[ $(grep -c "partly transparent" hint.txt) == $([[ -z $args ]] && echo 1 || echo 0) ]] ||
    fail "hint ($args): $(cat hint.txt)"
done

# --- A picture elsewhere keeps its directory; patterns match in byte order.
mkdir -p pics.d/sub && cp ex.bmp "pics.d/b one.bmp" && cp ex.bmp "pics.d/a one.bmp"
expect 0 "pattern words" "pics.d/*" one.bmp
[[ -f "pics.d/a one.html" && ! -f "pics.d/b one.html" ]] ||
  fail "pattern did not convert the first match beside it"
(cd pics.d/sub && "$pixtable" ../../ex.bmp -o ../../from-sub.html) ||
  fail "relative path from a subfolder"
"$pixtable" -o - ex.bmp | cmp -s from-sub.html - || fail "relative path converted the wrong picture"

# --- --each: every word a pattern, each picture its own table beside it or under --output-dir.
# Words in order, each word's matches in byte order; of two pictures with one table path (a.bmp and
# a.png, or one name in two folders) the first is converted and the later reported. A bad picture
# and a word that matches nothing are reported too (exit 1); the others are written.
"$pixtable" -m 3 -o ex3.html ex.bmp
mkdir -p each/a each/b && cp ex.bmp each/a/a.bmp && cp ex.bmp each/a/b.bmp
"$make_bmp" rows each/a/a.png bb
"$make_bmp" rows each/b/b.bmp rb && printf 'BMx' >each/a/c.bmp
expect 1 "each" --each -j 3 -m 3 'each/a/*' none 'each/b/*.bmp'
for t in a b; do cmp -s "each/a/$t.html" ex3.html || fail "each: the table of a/$t.bmp"; done
[[ -s each/b/b.html && ! -e each/a/c.html ]] || fail "each: tables $(ls each/*)"
grep -qx "pixtable: not converting each/a/a.png: its table each/a/a.html would replace the table of\
 each/a/a.bmp" err.txt &&
  grep -qx "pixtable: cannot load each/a/c.bmp" err.txt &&
  grep -q "no file matches 'none'" err.txt ||
  fail "each: $(cat err.txt)"
expect 1 "each into a folder" --each -j1 -m 3 --output-dir out.d/ \
  'each/b/*.bmp' each/a/a.bmp each/a/b.bmp
cmp -s out.d/b.html each/b/b.html && cmp -s out.d/a.html each/a/a.html ||
  fail "output-dir: $(ls out.d)"
grep -q "not converting each/a/b.bmp: its table out.d/b.html would replace the table of\
 each/b/b.bmp" err.txt ||
  fail "output-dir: $(cat err.txt)"

# --- "-" reads a picture of any kind from standard input; the table goes to standard output unless
# -o names a file. A stream that starts as no picture is not read to its end (this one waits), a
# terminal is not read at all, and the picture's own file is never the destination.
gif=$source_dir/tests/data/image/gif.gif
"$pixtable" - <"$gif" >piped.html && "$pixtable" -o - "$gif" | cmp -s - piped.html ||
  fail "piped in"
: >empty
expect 1 "nothing piped in" - <empty
said "nothing piped in" $'pixtable: cannot load standard input\nnothing came on standard input'
exec 4< <(printf 'no picture, and more to come'; exec sleep 30)
timeout 10 "$pixtable" - <&4 2>err.txt
kill $! && said "no picture piped in" \
  $'pixtable: cannot load standard input\nnot a picture pixtable can read'
cp ex.bmp same.bmp && expect 1 "piped into itself" - -o same.bmp <same.bmp
cmp -s ex.bmp same.bmp || fail "the piped picture became its table"
SHELL=/bin/sh script -qfec "exec '$pixtable' -" typescript >/dev/null
grep -q "standard input, which is a terminal" typescript ||
  fail "a terminal was read: $(cat typescript)"
# The table on the terminal of the progress line: no progress line comes between its lines.
SHELL=/bin/sh script -qfec "exec '$pixtable' -o - ex.bmp" typescript >/dev/null
grep -q "<table" typescript && ! grep -qF $'\e[K' typescript ||
  fail "progress in the table: $(cat -v typescript)"

# --- Under a Japanese locale the texts are Japanese, also when the system has no such locale (and
# LANGUAGE=ja with LANG=C.UTF-8: install_test.sh).
LC_ALL=ja_JP.UTF-8 "$pixtable" bad.bmp 2>err.txt
failed=$'ファイルのロードに失敗しました：bad.bmp\n'
said "LC_ALL=ja_JP.UTF-8" "${failed}ファイルが途中で切れています"

# --- A picture the user may not read. (--help and --version: install_test.sh and signals_test.sh.)
cp ex.bmp locked.bmp && chmod 000 locked.bmp && chmod 755 "$work"
as_user=()
((EUID == 0)) && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)  # root reads anything
"${as_user[@]}" "$pixtable" locked.bmp 2>err.txt
[[ $? == 1 && "$(sed -n 2p err.txt)" == "permission denied" ]] ||
  fail "unreadable picture: $(cat err.txt)"

# --- Control characters and bytes that are not UTF-8 in names never reach the terminal raw.
ctl=$'\e[31m\a\r\n\xff'
printf 'BMx' >"bad$ctl.bmp"
raw() {  # raw WHAT LINES: err.txt has LINES lines, all UTF-8 without control characters.
  [[ $(wc -l <err.txt) == "$2" ]] && iconv -f UTF-8 -t UTF-8 err.txt >/dev/null 2>&1 &&
    ! LC_ALL=C grep -q $'[\x01-\x09\x0b-\x1f\x7f]' err.txt || fail "$1 shown raw: $(cat -v err.txt)"
}
expect 1 "control load" "bad$ctl.bmp" && raw "load failure" 2
expect 2 "control pattern" "none$ctl*" && raw "pattern" 2
expect 2 "control option" "--x$ctl" && raw "option" 2
expect 1 "control output" -o "none/$ctl.html" ex.bmp && raw "output" 1

# --- Too little memory for the layout: exit 1 and a message, never a crash. A sanitized build keeps
# a large address space of its own, so only the plain build runs this.
if [[ ${4:-} != sanitized ]]; then
  "$make_bmp" clipart 3000 3000 1 huge.bmp
  printf 'old' >huge.html
  (ulimit -v 250000 && exec "$pixtable" huge.bmp >out.txt 2>err.txt)
  code=$?
  [[ $code == 1 ]] && grep -q "not enough memory" err.txt ||
    fail "out of memory: exit $code, expected 1; stderr: $(cat err.txt)"
  kept "out of memory" huge.html
fi

end_tests
