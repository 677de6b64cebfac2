#!/usr/bin/env bash
# `cmake --install` (or, given VERSION, the Debian packages of `cpack -G DEB`, only unpacked into a
# temporary folder) puts in place the program, its desktop module, its message catalogue, its
# manual, its menu entry and its licence, and the library (header, libpixtable.a, pixtable.pc). The
# program links no desktop library and loads its module only on a display; the manual keeps up with
# the options; the package's Depends is computed from the libraries the program links; a program
# built against the installed library alone writes the same table.
# Usage: install_test.sh BUILD_DIR [VERSION]
set -euo pipefail
build=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

if [[ -z ${2:-} ]]; then
  cmake --install "$build" --prefix "$work/root/usr" >/dev/null
else
  cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    fail "cpack: $(cat "$work/cpack.log")"
  deb=$work/pixtable_$2_$(dpkg --print-architecture).deb
  [[ -f $deb ]] || fail "no $(basename "$deb") among: $(ls "$work")"
  depends=$(dpkg-deb -f "$deb" Depends)
  for package in libc6 libstdc++6 libfltk1.3 libx11-6 libfontconfig1; do
    grep -Eq "(^|, )${package//+/\\+}( \(>= [^)]+\))?(,|$)" <<<"$depends" ||
      fail "Depends lacks $package: $depends"
  done
  [[ $(dpkg-deb -f "$deb" Section) == graphics ]] || fail "section $(dpkg-deb -f "$deb" Section)"
  dpkg-deb -x "$deb" "$work/root"
  dpkg-deb -x "${deb/pixtable_/libpixtable-dev_}" "$work/root"
fi
usr=$work/root/usr
for f in bin/pixtable lib/pixtable/pixtable-desktop.so share/man/man1/pixtable.1 \
  share/applications/pixtable.desktop share/doc/pixtable/copyright include/pixtable/pixtable.h \
  lib/libpixtable.a lib/pkgconfig/pixtable.pc share/locale/ja/LC_MESSAGES/pixtable.mo; do
  [[ -f $usr/$f ]] || fail "/usr/$f is missing"
done

# The program (stripped, in the package) runs, and loads its module only when DISPLAY is set and
# --terminal is not given. The display named can't be opened, so the run goes on in the terminal.
pixtable=$usr/bin/pixtable
"$pixtable" --version >/dev/null || fail "the program does not run"
! ldd "$pixtable" | grep -E 'libfltk|libX11|libfontconfig' ||
  fail "the program links desktop libraries"
opens() {  # opens DISPLAY ARGS...: the run with ARGS on DISPLAY loads the desktop module.
  local loaded
  loaded=$(env DISPLAY="$1" LD_DEBUG=files "$pixtable" "${@:2}" none.bmp 2>&1)
  [[ $loaded == *file=*/pixtable-desktop.so* ]]
}
opens :99999 || fail "the desktop module is not loaded on a display"
! opens :99999 --terminal || fail "the desktop module is loaded with --terminal"
! opens "" || fail "the desktop module is loaded without a display"
# It finds its message catalogue under its prefix.
japanese=$(LANGUAGE=ja LANG=C.UTF-8 "$pixtable" none.bmp 2>&1 || :)  # A usage error: exit 2.
[[ $japanese == *ファイルはありません* ]] || fail "no Japanese"

entry=$usr/share/applications/pixtable.desktop
(($(grep -cxF -e 'Type=Application' -e 'Exec=pixtable %f' -e 'Terminal=false' \
  -e 'MimeType=image/bmp;image/png;image/gif;image/jpeg;image/webp;' "$entry") == 4)) ||
  fail "menu entry: $(cat "$entry")"
grep -q '^Name=' "$entry" && grep -q '^Name\[ja\]=' "$entry" ||
  fail "menu entry lacks an English or Japanese name"
manual=$usr/share/man/man1/pixtable.1
warnings=$(preconv "$manual" | groff -man -Tutf8 -ww -z 2>&1)
[[ -z $warnings ]] || fail "manual page: $warnings"
# Every long option of --help is in the manual (groff writes "-" as "\-").
for option in $("$pixtable" --help | grep -o -e '--[a-z][a-z-]*' | sort -u); do
  grep -qF -- "${option//-/\\-}" "$manual" || fail "the manual doesn't mention $option"
done
(($(grep -cE '^\.SH (OPTIONS|KEYS|EXIT STATUS|FILES)' "$manual") == 4)) ||
  fail "the manual lacks a section: $(grep '^\.SH' "$manual")"

# examples/convert.cpp, built with what pkg-config says of the installed copy, writes pixtable's
# table.
flags=$(PKG_CONFIG_PATH=$usr/lib/pkgconfig pkg-config --cflags --libs pixtable)
g++ ${EXAMPLE_FLAGS:-} "$(dirname "$0")/../../examples/convert.cpp" $flags -o "$work/convert" ||
  fail "the example does not build"
picture=$(dirname "$0")/../../examples/sample.bmp
"$work/convert" "$picture" "$work/by-library.html" >/dev/null || fail "the example failed"
"$pixtable" --terminal -o "$work/by-program.html" "$picture"
cmp -s "$work/by-library.html" "$work/by-program.html" ||
  fail "the library's table differs from the program's"
echo "ok: ${deb:-install}"
