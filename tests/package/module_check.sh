# module_check PROGRAM: PROGRAM links no desktop library, and loads its
# desktop module (from where it was installed) only when DISPLAY is set and
# --terminal is not given. The display named can't be opened, so the run
# goes on in the terminal. Sourced by install_test.sh and package_test.sh.
module_check() {
  ! ldd "$1" | grep -E 'libfltk|libX11|libfontconfig' || fail "$1 links desktop libraries"
  opens() { [[ $(env DISPLAY="$2" LD_DEBUG=files "$1" "${@:3}" none.bmp 2>&1) == *file=*/pixtable-desktop.so* ]]; }
  opens "$1" :99999 || fail "the desktop module is not loaded on a display"
  ! opens "$1" :99999 --terminal || fail "the desktop module is loaded with --terminal"
  ! opens "$1" "" || fail "the desktop module is loaded without a display"
}
