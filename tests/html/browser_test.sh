#!/usr/bin/env bash
# Renders tables in Chromium, Firefox and WebKitGTK and counts the pixels that
# differ from the picture scaled by nearest neighbour, on a page of a known
# colour that transparent cells must show.
#   browser_test.sh [--full] PIXTABLE MAKE_BMP OUT_DIR
# Tables of the default form must come out with 0 wrong pixels in every
# engine, at magnifications 1 and 3, with and without a DOCTYPE; those of
# --auto-layout are only measured. The counts go to
# OUT_DIR/browser-results.tsv. --full adds the larger pictures, which make
# the run minutes long (see `sets` below).
#
# Starting a browser costs seconds, so all tables of one DOCTYPE share a page:
# each sits alone in an absolutely placed box with a white margin of 16 pixels
# right and below, and the screenshot is cut into those boxes.
set -u
full=no
[[ ${1:-} == --full ]] && { full=yes; shift; }
pixtable=$(realpath "$1")
make_bmp=$(realpath "$2")
out=$(realpath -m "$3")
here=$(dirname "$(realpath "$0")")
mkdir -p "$out"
work=$(mktemp -d)
xvfb=""
trap '[[ -n $xvfb ]] && kill "$xvfb"; rm -rf "$work"' EXIT
im=/usr/bin  # ImageMagick's own binaries, not a stand-in earlier on PATH
margin=16
page='#3A7D5C'  # the page's colour, shown by margins and transparent cells
limit=120  # seconds for one screenshot
[[ $full == yes ]] && limit=900

for tool in /usr/bin/chromium /usr/bin/firefox-esr /usr/bin/python3 /usr/bin/Xvfb \
  $im/convert $im/identify $im/compare; do
  [[ -x $tool ]] || { echo "browser test needs $tool"; exit 1; }
done

# ---- pictures ------------------------------------------------------------------
"$make_bmp" sample "$work/sample.bmp"
"$make_bmp" clipart 200 150 1 "$work/clipart.bmp"
"$make_bmp" photo 160 120 2 "$work/photo.bmp"
"$make_bmp" wide 2500 40 3 "$work/wide.bmp"
# ImageMagick's built-in pictures: a photo's worth of colours (rose) and flat
# artwork where columns start and end at uneven places (logo, wizard).
for name in rose logo wizard; do
  $im/convert "$name:" -type TrueColor "BMP3:$work/$name.bmp"
done
# A PNG with a transparent background and soft edges (alphas 0 to 255); its
# view (the .bmp beside it) is what pixtable reads: alpha < 128 shows the page.
$im/convert -size 64x40 xc:none -fill '#C03020' -draw 'circle 20 20 20 3' \
  -fill '#2050D0A0' -draw 'rectangle 30 6 60 30' \
  -fill '#20A0407F' -draw 'roundrectangle 8 26 56 37 5 5' "PNG32:$work/glyph.png"
$im/convert "$work/glyph.png" -channel A -threshold 50% +channel -background "$page" -flatten \
  -type TrueColor "BMP3:$work/glyph.bmp"
# Picture and magnifications. The tables of a 640 x 480 picture of flat
# artwork take WebKit seconds each, so the larger ones come with --full only.
sets=(sample:1,3 clipart:1,3 photo:1,3 wide:1,3 rose:1,3 glyph:1,3 logo:1)
[[ $full == yes ]] && sets=("${sets[@]/logo:1/logo:1,3}" wizard:1,3)

# ---- the page layout: one box a table, on shelves --------------------------------
# Item i: picture, mode, magnification, box size and place, and the table's text.
names=() modes=() mags=() bw=() bh=() bx=() by=()
for mode in default auto; do
  for set in "${sets[@]}"; do
    picture=${set%%:*} magnifications=${set#*:}
    read -r pw ph < <($im/identify -format '%w %h' "$work/$picture.bmp")
    for mag in ${magnifications//,/ }; do
      names+=("$picture") modes+=("$mode") mags+=("$mag")
      bw+=($((pw * mag + margin))) bh+=($((ph * mag + margin)))
    done
  done
done
# Tallest first, left to right, a new shelf where the widest box would not fit.
page_w=0
for w in "${bw[@]}"; do ((w > page_w)) && page_w=$w; done
x=0 y=0 shelf=0
tallest_first=$(for i in "${!names[@]}"; do echo "${bh[i]} $i"; done |
  sort -k1,1nr -k2,2n | cut -d' ' -f2)
for i in $tallest_first; do
  ((x + bw[i] > page_w)) && { y=$((y + shelf)) x=0 shelf=0; }
  bx[i]=$x by[i]=$y
  x=$((x + bw[i]))
  ((bh[i] > shelf)) && shelf=${bh[i]}
done
page_h=$((y + shelf))

for i in "${!names[@]}"; do
  w=$((bw[i] - margin)) h=$((bh[i] - margin))
  flags=(--terminal -m "${mags[i]}")
  [[ ${modes[i]} == auto ]] && flags+=(--auto-layout)
  picture=$work/${names[i]}.png
  [[ -e $picture ]] || picture=$work/${names[i]}.bmp
  "$pixtable" "${flags[@]}" -o "$work/table-$i.html" "$picture" ||
    { echo "pixtable failed on $picture"; exit 1; }
  # The expected view: the picture enlarged by pixel repetition on the page.
  $im/convert "$work/${names[i]}.bmp" -sample "${w}x${h}!" \
    -background "$page" -extent "${bw[i]}x${bh[i]}" -depth 8 "$work/want-$i.ppm"
done
for doctype in no yes; do
  { [[ $doctype == yes ]] && printf '<!DOCTYPE html>\n'
    printf '<html><head><meta charset="utf-8"><style>%s</style></head><body>\n' \
      "body{margin:0;background:$page} div{position:absolute}"
    for i in "${!names[@]}"; do
      printf '<div style="left:%dpx;top:%dpx">\n' "${bx[i]}" "${by[i]}"
      cat "$work/table-$i.html"
      printf '</div>\n'
    done
    printf '</body></html>\n'; } >"$work/page-$doctype.html"
done

# ---- screenshots -----------------------------------------------------------------
# A private X server for WebKitGTK, on a free display that it picks itself.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.1; done
[[ -s $work/display ]] || { echo "Xvfb did not start: $(cat "$work/xvfb.log")"; exit 1; }
export DISPLAY=":$(cat "$work/display")"

shoot() {  # shoot ENGINE PAGE PNG WIDTH HEIGHT
  local engine=$1 page=$2 png=$3 w=$4 h=$5 started=$SECONDS name
  name=$(basename "$png" .png)
  rm -f "$png"
  case $engine in
    chromium)
      timeout -k 10 "$limit" /usr/bin/chromium --headless --no-sandbox --disable-gpu \
        --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync --disable-quic \
        --hide-scrollbars --force-device-scale-factor=1 --user-data-dir="$work/profile-$name" \
        --window-size="$w,$h" --screenshot="$png" "file://$page" >/dev/null 2>&1 ;;
    firefox)
      mkdir -p "$work/profile-$name"
      HOME=$work timeout -k 10 "$limit" /usr/bin/firefox-esr --headless --no-remote \
        --profile "$work/profile-$name" --window-size="$w,$h" --screenshot "$png" "file://$page" \
        >/dev/null 2>&1 ;;
    webkit)
      timeout -k 10 "$((limit + 10))" /usr/bin/python3 "$here/webkit_shot.py" \
        "$page" "$png" "$w" "$h" "$limit" >/dev/null 2>"$work/$name.log" || cat "$work/$name.log" ;;
  esac
  [[ -s $png ]] && echo "$name: $((SECONDS - started)) s"
}

# All screenshots at once: each browser mostly waits on its own start-up.
engines=(chromium firefox webkit)
shooters=()
for doctype in no yes; do
  for engine in "${engines[@]}"; do
    shoot "$engine" "$work/page-$doctype.html" "$out/doctype_$doctype-$engine.png" \
      $((page_w + 200)) $((page_h + 200)) &
    shooters+=($!)
  done
done
wait "${shooters[@]}"

failures=0
printf 'picture\tsize\tmode\tmagnification\tdoctype\tbrowser\twrong_pixels\tpixels\n' \
  >"$out/browser-results.tsv"
for doctype in no yes; do
  for engine in "${engines[@]}"; do
    shot=$out/doctype_$doctype-$engine.png
    if [[ ! -s $shot ]]; then
      echo "FAIL: no screenshot from $engine (doctype=$doctype)"
      failures=$((failures + 1))
      continue
    fi
    # Cut the boxes out in one pass over the screenshot.
    crops=()
    for i in "${!names[@]}"; do
      crops+=(\( +clone -crop "${bw[i]}x${bh[i]}+${bx[i]}+${by[i]}" +repage
        -write "$work/got-$i.ppm" +delete \))
    done
    $im/convert "$shot" -alpha off -depth 8 "${crops[@]}" null: ||
      { echo "cannot cut $shot"; exit 1; }
    for i in "${!names[@]}"; do
      wrong=$($im/compare -precision 12 -metric AE "$work/got-$i.ppm" "$work/want-$i.ppm" null: \
        2>&1)
      wrong=${wrong%% *}
      w=$((bw[i] - margin)) h=$((bh[i] - margin))
      printf '%s\t%sx%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "${names[i]}" $((w / mags[i])) $((h / mags[i])) \
        "${modes[i]}" "${mags[i]}" "$doctype" "$engine" "$wrong" $((w * h)) \
        >>"$out/browser-results.tsv"
      [[ ${modes[i]} == default && $wrong != 0 ]] && failures=$((failures + 1)) &&
        echo "FAIL: ${names[i]} x${mags[i]} doctype=$doctype in $engine: $wrong wrong pixels" \
          "(box ${bw[i]}x${bh[i]}+${bx[i]}+${by[i]} of $shot)"
    done
  done
done
column -t -s $'\t' "$out/browser-results.tsv"
((failures == 0)) || { echo "$failures failure(s)"; exit 1; }
echo "tables of the default form are exact in Chromium, Firefox and WebKit"
