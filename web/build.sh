#!/usr/bin/env bash
# Builds pixtable for the browser into build/web: the module (pixtable.js,
# WebAssembly inside) and the page (pixtable.html, one self-contained file).
#
# The picture libraries are compiled from Debian's source packages of the
# very versions the native program links (read from dpkg), fetched with
# `apt-get source` into build/web/deps once and kept there: same sources,
# same decoders, same bytes. scripts/setup adds the deb-src entries.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/web
deps=$out/deps
# Debian's Emscripten runs its optimiser under node, whose modules Debian
# keeps where node does not look by default.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}

# The source package of the installed library package $1, unpacked as $2.
fetch() {
  local version source
  source=$(dpkg-query -W -f='${source:Package}' "$1")
  version=$(dpkg-query -W -f='${source:Version}' "$1")
  [[ -f $deps/$2.version && $(<"$deps/$2.version") == "$source=$version" ]] && return
  echo "web: fetching $source $version (source of $1)"
  rm -rf "$deps/$2" "$deps/download"
  mkdir -p "$deps/download"
  (cd "$deps/download" && apt-get source -qq --download-only "$source=$version" >/dev/null 2>&1) || {
    echo "web: apt-get source $source=$version failed (is a deb-src entry there? run scripts/setup)" >&2
    exit 1
  }
  dpkg-source -q -x "$deps"/download/*.dsc "$deps/$2" >/dev/null
  rm -rf "$deps/download"
  echo "$source=$version" >"$deps/$2.version"
}

mkdir -p "$deps"
fetch zlib1g-dev zlib
fetch libspng-dev libspng
fetch libgif-dev giflib
fetch libjpeg62-turbo-dev libjpeg-turbo
fetch libwebp-dev libwebp
fetch libimagequant-dev libimagequant

emcmake cmake -S web -B "$out/cmake" -DCMAKE_BUILD_TYPE=Release -DPIXTABLE_DEPS="$PWD/$deps" >/dev/null
cmake --build "$out/cmake" -j"$(nproc)"
cp "$out/cmake/pixtable.js" "$out/pixtable.js"
node web/page/bundle.js "$out/pixtable.js" "$out/pixtable.html"
echo "web: $out/pixtable.html"
