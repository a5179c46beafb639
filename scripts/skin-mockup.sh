#!/usr/bin/env bash
# Composes the skin pieces the way the frame window lays them out, for looking at the
# artwork: scripts/skin-mockup.sh [out.png] [client width] [client height] [button state]
# Needs ImageMagick. The pieces come from skin/res (run the skin generator first).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
res=$root/skin/res
out=${1:-skin-mockup.png}
w=${2:-416}
h=${3:-341}
state=${4:-normal}

rc_left=$((w - 101 - 2))   # rightcaption: 30 twips from the right edge
rb_left=$((w - 5))         # rightborder: 15 twips from the right edge
bb_top=$((h - 26))
grip_left=$((w - 68))      # right end of the bottom bar, copied 1 px inside the edge
title="Orvik 3.0"
font=/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf
title_w=$(convert -font "$font" -pointsize 11 label:"$title" -format '%w' info:)
title_left=$(((w - 101 + 2 * 23 - title_w) / 2))

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert -size "${w}x${h}" xc:'rgb(240,240,240)' \
  \( "$res/backcaption.bmp" -crop "${w}x23+0+0" +repage \) -geometry +0+0 -composite \
  "$res/leftcaption.bmp" -geometry +0+0 -composite \
  -font "$font" -pointsize 11 -fill black -annotate "+${title_left}+16" "$title" \
  "$res/rightcaption.bmp" -geometry "+${rc_left}+0" -composite \
  "$res/buttons/minimize_${state}.bmp" -geometry "+$((rc_left + 32))+5" -composite \
  "$res/buttons/maximize_${state}.bmp" -geometry "+$((rc_left + 52))+5" -composite \
  "$res/buttons/close_${state}.bmp" -geometry "+$((rc_left + 72))+5" -composite \
  \( "$res/toolbarback.bmp" -crop "${w}x28+0+0" +repage \) -geometry +0+23 -composite \
  \( "$res/leftborder.bmp" -crop "4x$((h - 23))+0+0" +repage \) -geometry +0+23 -composite \
  \( "$res/rightborder.bmp" -crop "4x$((h - 8))+0+0" +repage \) -geometry "+${rb_left}+8" -composite \
  \( "$res/bottomborder.bmp" -crop "${w}x26+0+0" +repage \) -geometry "+0+${bb_top}" -composite \
  \( "$res/bottomborder.bmp" -crop "67x26+1533+0" +repage \) -geometry "+${grip_left}+${bb_top}" -composite \
  "$tmp/client.png"
# The window region: rounded top corners (15 x 15 ellipse), square bottom corners.
convert -size "${w}x${h}" xc:black -fill white \
  -draw "roundrectangle 0,0 $((w - 1)),$((h - 1)) 7,7" -draw "rectangle 0,10 $((w - 1)),$((h - 1))" \
  "$tmp/mask.png"
convert "$tmp/client.png" "$tmp/mask.png" -alpha off -compose CopyOpacity -composite \
  -compose Over -background "${MOCKUP_DESKTOP:-rgb(128,128,128)}" -gravity center -extent "$((w + 40))x$((h + 40))" -flatten "$out"
echo "$out"
