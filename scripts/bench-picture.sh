#!/usr/bin/env bash
# Benchmarks decoding and drawing site icons: a 16 x 16 ICO, a 32 x 32 PNG inside an ICO and a
# 48 x 48 JPEG, made with ImageMagick, decoded and drawn by the program's code under Wine.
# Prints the mean time of each.
#
# Usage: bash scripts/bench-picture.sh   (after scripts/test.sh has configured the Windows build)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
source scripts/windows-target.sh
cmake --build "$win_build" --target picture_bench >/dev/null
work="$(mktemp -d /tmp/quarnel-picture-bench.XXXXXX)"
stop_wine() { WINEPREFIX="$root/$win_build/wineprefix" wineserver -k 2>/dev/null || true; }
trap 'rm -rf "$work"; stop_wine' EXIT
convert -size 16x16 gradient:red-blue -define icon:auto-resize=16 "$work/icon16.ico"
convert -size 32x32 gradient:green-yellow -alpha set "PNG32:$work/png32.png"
# An icon directory of one entry holding the PNG file whole.
python3 - "$work" <<'PY'
import struct, sys
png = open(sys.argv[1] + "/png32.png", "rb").read()
entry = struct.pack("<BBBBHHII", 32, 32, 0, 0, 1, 32, len(png), 6 + 16)
open(sys.argv[1] + "/png32.ico", "wb").write(struct.pack("<HHH", 0, 1, 1) + entry + png)
PY
convert -size 48x48 gradient:white-black "$work/photo48.jpg"
cd "$work"
xvfb-run -a -s "-screen 0 1024x768x24" "$root/$win_build/wine-run" "$root/$win_build/tests/bench/picture_bench.exe" \
    icon16.ico png32.ico photo48.jpg
