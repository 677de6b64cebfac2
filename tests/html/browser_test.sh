#!/usr/bin/env bash
# Renders tables in headless Chromium and Firefox and counts the pixels that
# differ from the picture scaled by nearest neighbour.
#   browser_test.sh PIXTABLE MAKE_BMP OUT_DIR
# Pixel-exact tables must come out with 0 wrong pixels in both browsers, at
# magnifications 1 and 3, with and without a DOCTYPE. The default tables are
# only measured; the counts go to OUT_DIR/browser-results.tsv.
set -u
pixtable=$(realpath "$1")
make_bmp=$(realpath "$2")
out=$(realpath -m "$3")
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
im=/usr/bin  # ImageMagick's own binaries, not a stand-in earlier on PATH

for tool in /usr/bin/chromium /usr/bin/firefox-esr $im/convert $im/compare; do
  [[ -x $tool ]] || { echo "browser test needs $tool"; exit 1; }
done

"$make_bmp" sample "$work/sample.bmp"
"$make_bmp" clipart 200 150 1 "$work/clipart.bmp"
"$make_bmp" photo 160 120 2 "$work/photo.bmp"
"$make_bmp" wide 2500 40 3 "$work/wide.bmp"

shoot() {  # shoot BROWSER PAGE PNG WIDTH HEIGHT
  local browser=$1 page=$2 png=$3 w=$4 h=$5
  rm -f "$png"
  case $browser in
    chromium)
      timeout 60 /usr/bin/chromium --headless --no-sandbox --disable-gpu --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync --disable-quic \
        --hide-scrollbars --force-device-scale-factor=1 --user-data-dir="$work/chromium-profile" \
        --window-size="$w,$h" --screenshot="$png" "file://$page" >/dev/null 2>&1 ;;
    firefox)
      mkdir -p "$work/firefox-profile"
      HOME=$work timeout 90 /usr/bin/firefox-esr --headless --no-remote --profile "$work/firefox-profile" \
        --window-size="$w,$h" --screenshot "$png" "file://$page" >/dev/null 2>&1 ;;
  esac
  [[ -s $png ]]
}

failures=0
printf 'picture\tsize\tmode\tmagnification\tdoctype\tbrowser\twrong_pixels\tpixels\n' >"$out/browser-results.tsv"
for picture in sample clipart photo wide; do
  bmp=$work/$picture.bmp
  read -r pw ph < <($im/identify -format '%w %h' "$bmp")
  for mag in 1 3; do
    w=$((pw * mag)) h=$((ph * mag))
    # The expected view: the picture enlarged by pixel repetition on a white page.
    $im/convert "$bmp" -sample "${w}x${h}!" -background white -extent "$((w + 16))x$((h + 16))" "$work/want.png"
    for mode in exact default; do
      flags=(--terminal -m "$mag")
      [[ $mode == exact ]] && flags+=(--pixel-exact)
      "$pixtable" "${flags[@]}" -o "$work/table.html" "$bmp" || { echo "pixtable failed on $picture"; exit 1; }
      for doctype in no yes; do
        page=$work/page.html
        { [[ $doctype == yes ]] && printf '<!DOCTYPE html>\n'
          printf '<html><head><meta charset="utf-8"><style>body{margin:0}</style></head><body>\n'
          cat "$work/table.html"
          printf '</body></html>\n'; } >"$page"
        for browser in chromium firefox; do
          shot=$out/$picture-m$mag-$mode-doctype_$doctype-$browser.png
          if ! shoot "$browser" "$page" "$shot" $((w + 200)) $((h + 200)); then
            echo "FAIL: no screenshot from $browser for $picture"
            failures=$((failures + 1))
            continue
          fi
          $im/convert "$shot" -crop "$((w + 16))x$((h + 16))+0+0" +repage "$work/got.png"
          wrong=$($im/compare -metric AE "$work/got.png" "$work/want.png" null: 2>&1)
          wrong=${wrong%% *}
          printf '%s\t%sx%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$picture" "$pw" "$ph" "$mode" "$mag" "$doctype" "$browser" \
            "$wrong" $((w * h)) >>"$out/browser-results.tsv"
          if [[ $mode == exact && $wrong != 0 ]]; then
            echo "FAIL: $picture x$mag doctype=$doctype in $browser: $wrong wrong pixels ($shot)"
            failures=$((failures + 1))
          fi
        done
      done
    done
  done
done
column -t -s $'\t' "$out/browser-results.tsv"
if ((failures)); then
  echo "$failures failure(s)"
  exit 1
fi
echo "pixel-exact tables are exact in both browsers"
