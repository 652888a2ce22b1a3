#!/usr/bin/env bash
# Makes every picture of ツモっと貯めよう！ in this directory (banner.gif, theme.gif, clear_items.bmp
# and the .ico icons) from the hand-drawn SVGs in src/. Same SVGs in, same files out.
# Needs the Debian packages librsvg2-bin (rsvg-convert), imagemagick (convert) and
# fonts-ipafont-gothic (IPAPGothic, used by the banner's lettering).
# Run it from anywhere: scripts/../resources/pictures/make-pictures.sh
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
src=$here/src
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in rsvg-convert convert; do
    command -v "$tool" >/dev/null || { echo "make-pictures.sh: $tool is missing" >&2; exit 1; }
done
fc-list IPAPGothic | grep -q . || { echo "make-pictures.sh: font IPAPGothic is missing (fonts-ipafont-gothic)" >&2; exit 1; }

# render NAME SIZE -> $work/NAME-SIZE.png (SIZE is WxH)
render() {
    rsvg-convert -w "${2%x*}" -h "${2#*x}" "$src/$1.svg" -o "$work/$1-$2.png"
}

# icon OUT.ico COLOURS NAME:SIZE...
# Each NAME:SIZE becomes one entry of at most COLOURS colours plus the clear one: the edge is cut
# hard (icon masks are either opaque or clear), every clear pixel gets the same colour, and the
# rest is quantized without dithering so small shapes stay crisp.
icon() {
    local out=$1 colours=$2; shift 2
    local args=() item name size
    for item in "$@"; do
        name=${item%:*}; size=${item#*:}
        render "$name" "$size"
        args+=( '(' "$work/$name-$size.png" -channel A -threshold 50% +channel
                -background none -alpha background +dither -colors "$colours" ')' )
    done
    convert "${args[@]}" "ICO:$here/$out"
}

# flat OUT FORMAT NAME SIZE BACKGROUND COLOURS: a picture on a solid background
flat() {
    local out=$1 format=$2 name=$3 size=$4 bg=$5 colours=$6
    render "$name" "$size"
    convert "$work/$name-$size.png" -background "$bg" -alpha remove -alpha off \
        +dither -colors "$colours" "$format:$here/$out"
}

flat banner.gif      GIF  banner      311x70 '#f0f0f0' 256
flat theme.gif       GIF  theme       64x64  '#fffff0' 256
flat clear_items.bmp BMP3 clear_items 16x16  '#c0c0c0' 16

icon deposit.ico 15  deposit:32x32
icon clear.ico   15  clear:32x32
icon help.ico    15  help:32x32
icon end.ico     15  end:32x32
icon app.ico     15  app-32:32x32 app-16:16x16
icon pro.ico     255 pro:32x32
icon starter.ico 255 starter:32x32

echo "made banner.gif theme.gif clear_items.bmp deposit.ico clear.ico help.ico end.ico app.ico pro.ico starter.ico in $here"
