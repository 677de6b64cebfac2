#!/usr/bin/env bash
# `cpack -G DEB` makes pixtable_VERSION_ARCH.deb with the program, its manual,
# its menu entry and its licence, and Depends computed from the libraries the
# program links. The package is only unpacked into a temporary folder.
# Usage: package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  fail "cpack: $(cat "$work/cpack.log")"
deb=$work/pixtable_$2_$(dpkg --print-architecture).deb
[[ -f $deb ]] || fail "no $(basename "$deb") among: $(ls "$work")"

contents=$(dpkg-deb -c "$deb" | awk '{ print $NF }')
for f in bin/pixtable lib/pixtable/pixtable-desktop.so share/man/man1/pixtable.1 share/applications/pixtable.desktop share/doc/pixtable/copyright; do
  grep -qxF "./usr/$f" <<<"$contents" || fail "the package lacks /usr/$f"
done
# Computed, not written by hand: each library the program links, with a version.
depends=$(dpkg-deb -f "$deb" Depends)
for package in libc6 libstdc++6 libfltk1.3 libx11-6 libfontconfig1; do
  grep -Eq "(^|, )${package//+/\\+}( \(>= [^)]+\))?(,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
done
[[ $(dpkg-deb -f "$deb" Section) == graphics ]] || fail "section $(dpkg-deb -f "$deb" Section)"

# The packaged (stripped) program runs.
dpkg-deb -x "$deb" "$work/root"
"$work/root/usr/bin/pixtable" --version >/dev/null || fail "the packaged program does not run"
source "$(dirname "$0")/module_check.sh"
module_check "$work/root/usr/bin/pixtable"
echo "ok: $(basename "$deb"), Depends: $depends"
