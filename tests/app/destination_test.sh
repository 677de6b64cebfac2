#!/usr/bin/env bash
# Where the table goes: a regular file is replaced whole (links followed, mode and owner kept),
# anything else is written into and never replaced. Never a system file: own device nodes and FIFOs
# only.
# Usage: destination_test.sh PIXTABLE MAKE_BMP
source "$(dirname "$0")/cli_common.sh"
chmod 755 "$work"  # The ordinary user below works here too.
"$make_bmp" rows ex.bmp rr rb
"$pixtable" -o - ex.bmp >table.txt
cp ex.bmp picture.orig
is_table() { cmp -s "$1" table.txt || fail "$2: $1 does not hold the table"; }

# --- Special files are written into: a device, a full device, a FIFO, a socket, our own
# descriptors.
mknod null c 1 3 && mknod full c 1 7 && mkfifo fifo || fail "cannot make the special files"
expect 0 "device" -o null ex.bmp
expect 1 "full device" -o full ex.bmp
said "full device" "pixtable: cannot write full: No space left on device"
timeout 20 cat fifo >from-fifo &
expect 0 "FIFO" -o fifo ex.bmp
wait $!
is_table from-fifo FIFO
# A socket is written into through a connection (the listener ends after 20 s if none comes).
/usr/bin/python3 -c 'import socket, sys
s = socket.socket(socket.AF_UNIX)
s.bind("sock")
s.listen(1)
s.settimeout(20)
open("ready", "w").close()
sys.stdout.buffer.write(s.accept()[0].makefile("rb").read())' >from-socket &
until [[ -e ready ]] || ! kill -0 $! 2>/dev/null; do sleep 0.01; done
expect 0 "socket" -o sock ex.bmp
wait $!
is_table from-socket socket
[[ -c null && -c full && -p fifo && -S sock ]] ||
  fail "a special file was replaced: $(ls -l null full fifo sock)"
printf 'head\r\n' >appended
# Our own descriptors, as /dev/stdout and /dev/fd/N name them, reached through a link of our own: a
# run that wrongly replaced its destination replaces a file here, never a system one.
ln -s /proc/self/fd fd && "$pixtable" -o fd/1 ex.bmp >>appended || fail "-o fd/1"
[[ "$(cat appended)" == "$(printf 'head\r\n'; cat table.txt)" ]] ||
  fail "standard output was not written into"
expect 1 "closed descriptor" -o fd/9 ex.bmp

# --- Links are followed to the file they name, which is replaced; the links stay.
printf old >old.html
mkdir sub
ln -s old.html link.html && ln -s link.html chain.html && ln -s sub/new.html dangling.html &&
  ln -s ex.bmp input.html
for link in link.html:old.html chain.html:old.html dangling.html:sub/new.html; do
  printf old >old.html
  expect 0 "link ${link%:*}" -o "${link%:*}" ex.bmp
  [[ -L ${link%:*} ]] || fail "link ${link%:*} was replaced"
  is_table "${link#*:}" "link ${link%:*}"
done
expect 1 "link to the picture" -o input.html ex.bmp
"$pixtable" -o - ex.bmp >>ex.bmp 2>err.txt && fail "standard output appending to the picture"
[[ -L input.html ]] && cmp -s ex.bmp picture.orig || fail "the picture was overwritten"

# --- A replaced table keeps its mode, owner and group; a new one gets the umask's mode.
printf old >private.html && chmod 0604 private.html && chown nobody:nogroup private.html
expect 0 "private table" -o private.html ex.bmp
[[ $(stat -c '%a %U:%G' private.html) == "604 nobody:nogroup" ]] ||
  fail "mode or owner: $(stat -c '%a %U:%G' private.html)"
# The group bits become the ACL's mask.
printf old >acl.html && chmod 0640 acl.html && setfacl -m u:nobody:rw acl.html
expect 0 "table with an ACL" -o acl.html ex.bmp
[[ $(getfacl -c acl.html 2>&1) == *user:nobody:rw-*group::r--* ]] ||
  fail "the ACL was lost: $(getfacl -c acl.html)"
(umask 027 && exec "$pixtable" -o fresh.html ex.bmp) || fail "new table"
[[ $(stat -c %a fresh.html) == 640 ]] ||
  fail "new table's mode $(stat -c %a fresh.html) under umask 027"

# --- An ordinary user may not replace a table they can't write, as with '>'.
mkdir mine && cp ex.bmp mine/ && printf old >mine/ro.html && chmod 0444 mine/ro.html &&
  chown -R nobody:nogroup mine
(cd mine && exec setpriv --reuid=nobody --regid=nogroup --clear-groups \
  "$pixtable" -o ro.html ex.bmp) 2>err.txt
[[ $? == 1 && $(cat mine/ro.html) == old ]] || fail "a read-only table was replaced"
said "read-only table" "pixtable: cannot write ro.html: Permission denied"

# --- Long paths: near the 4096-byte limit, and a name of 255 bytes (the temporary name is cut).
deep=$work
while ((${#deep} < 3800)); do deep+=/$(printf 'd%.0s' {1..200}); done
mkdir -p "$deep"
name=$(printf 'n%.0s' $(seq $((4090 - ${#deep} - 6))))
long=$(printf 'x%.0s' {1..250}).html
for path in "$deep/$name.html" "$long"; do
  expect 0 "path of ${#path} bytes" -o "$path" ex.bmp
  is_table "$path" "path of ${#path} bytes"
done
(($(temporaries) + $(temporaries "$deep") == 0)) || fail "temporary files left"

# --- A row longer than the write buffer (1 MiB) is written whole.
"$make_bmp" noise 100000 2 4096 3 wide.bmp
expect 0 "wide picture" -o wide.html wide.bmp
area=$(grep -o '<td[^>]*>' wide.html | awk '{ c = r = 1 }
  match($0, /colspan=[0-9]+/) { c = substr($0, RSTART + 8, RLENGTH - 8) }
  match($0, /rowspan=[0-9]+/) { r = substr($0, RSTART + 8, RLENGTH - 8) }
  { area += c * r } END { print area }')
((area == 200000)) || fail "the wide picture's cells cover $area pixels, not 200000"
end_tests
