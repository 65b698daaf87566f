#!/usr/bin/env bash
# Makes the seed files of the GIF and PCX fuzz target (tests/fuzz/seeds/gif_pcx/) with
# ImageMagick, small so the fuzzer mutates them quickly: GIFs with a global table, interlaced,
# with a transparent index, with a frame smaller than the screen, and one of noise in 256 colours
# that fills the code table; PCX files of 256 colours and of true colour. ImageMagick writes no
# 1-bit PCX, so that one is written byte by byte here.
# The seeds are committed; run this again only to change them.
set -euo pipefail
out="$(cd "$(dirname "$0")" && pwd)/seeds/gif_pcx"
mkdir -p "$out"
im=(convert -seed 1)

"${im[@]}" -size 16x12 plasma:fractal -colors 16 "$out/global.gif"
"${im[@]}" -size 16x12 plasma:fractal -colors 8 -interlace GIF "$out/interlaced.gif"
"${im[@]}" -size 16x16 xc:none -fill red -draw "circle 8 8 8 3" "$out/transparent.gif"
"${im[@]}" -size 8x5 xc:yellow -colors 2 -set page 20x20+4+6 "$out/small_frame.gif"
"${im[@]}" -size 72x72 xc: +noise Random -colors 256 +dither "$out/full_table.gif"
"${im[@]}" -size 16x12 plasma:fractal -type Palette "$out/palette.pcx"
"${im[@]}" -size 16x12 plasma:fractal -type TrueColor "$out/true_colour.pcx"

# 12 x 4 black and white, version 3: the header (window 0,0-11,3; one plane of 2 bytes a line),
# then run-length encoded lines.
{
    printf '\x0a\x03\x01\x01\x00\x00\x00\x00\x0b\x00\x03\x00'
    head -c 53 /dev/zero
    printf '\x01\x02\x00'
    head -c 60 /dev/zero
    printf '\xc2\xff\xa5\x50\xc1\xf0\x0f\x33\x30'
} >"$out/black_and_white.pcx"
