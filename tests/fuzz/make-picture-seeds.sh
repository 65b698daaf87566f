#!/usr/bin/env bash
# Makes the picture fuzz target's seeds of every decoded kind with ImageMagick, from plain
# colours and gradients. The seeds are committed; run this again only to change them.
set -euo pipefail
out="$(cd "$(dirname "$0")" && pwd)/seeds/picture"
cd "$out"
convert -size 4x4 xc:red -alpha set -channel A -evaluate set 50% alpha.png
convert -size 5x3 gradient:red-blue -interlace PNG interlaced.png
convert -size 8x8 gradient:white-black -interlace JPEG progressive.jpg
convert -size 8x8 xc:green -colorspace CMYK cmyk.jpg
convert -size 16x16 xc:blue \( -size 32x32 xc:yellow \) two_sizes.ico
convert -size 16x16 xc:blue -compress RLE rle8.bmp
