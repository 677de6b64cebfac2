#!/usr/bin/env bash
# `cmake --install` puts the program, its desktop module, its menu entry and
# its manual in place, and the manual keeps up with the options.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
entry=$prefix/share/applications/pixtable.desktop
manual=$prefix/share/man/man1/pixtable.1
[[ -x $prefix/bin/pixtable ]] || fail "no program"
[[ -f $entry ]] || fail "no menu entry"
[[ -f $manual ]] || fail "no manual page"
source "$(dirname "$0")/../package/module_check.sh"
module_check "$prefix/bin/pixtable"

for line in 'Type=Application' 'Exec=pixtable %f' 'MimeType=image/bmp;image/png;image/gif;image/jpeg;image/webp;' 'Terminal=false'; do
  grep -qxF "$line" "$entry" || fail "menu entry lacks '$line'"
done
grep -q '^Name=' "$entry" && grep -q '^Name\[ja\]=' "$entry" || fail "menu entry lacks an English or Japanese name"

warnings=$(preconv "$manual" | groff -man -Tutf8 -ww -z 2>&1)
[[ -z $warnings ]] || fail "manual page: $warnings"
# Every long option of --help is in the manual (groff writes "-" as "\-").
for option in $("$prefix/bin/pixtable" --help | grep -o -e '--[a-z][a-z-]*' | sort -u); do
  grep -qF -- "${option//-/\\-}" "$manual" || fail "the manual doesn't mention $option"
done
for section in OPTIONS KEYS 'EXIT STATUS' FILES; do
  grep -q "^\.SH $section" "$manual" || fail "the manual has no $section section"
done
echo "ok: install"
