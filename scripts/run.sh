#!/usr/bin/env bash
# Builds everything and runs the program under Wine. On a display it opens the window there;
# without one it runs the program under Xvfb, saves a screenshot of the screen to a PNG file and
# prints its path.
#
# The program runs from build/run/, a program folder of its own: it keeps its files beside the
# .exe. Options: --screenshot forces the screenshot even on a display; --seconds N waits N
# seconds after the window appears before the screenshot (default 3); --demo serves the pages of
# tests/data/demo_site/ on 127.0.0.1 and runs the end-to-end build of the program with its start
# address pointing there, so the browser view shows a local page.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

screenshot=0
settle=3
demo=0
while [ $# -gt 0 ]; do
    case "$1" in
        --screenshot) screenshot=1 ;;
        --seconds) settle="$2"; shift ;;
        --demo) demo=1 ;;
        *) echo "usage: $0 [--screenshot] [--seconds N] [--demo]" >&2; exit 2 ;;
    esac
    shift
done

bash scripts/setup-machine.sh
# The product is the 32-bit build, always built. On a machine that cannot run 32-bit code the
# 64-bit build of the same sources is what runs (scripts/windows-target.sh says so).
cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win
source scripts/windows-target.sh
if [ "$win_build" != build/win ]; then
    cmake -S . -B "$win_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$win_toolchain" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$win_build" --target quarnel quarnel_e2e
fi

# A fresh runtime each time: the program unpacks its browser host only where none is, and an
# earlier build's host would stay.
rm -rf build/run/ziroz
mkdir -p build/run
program=quarnel.exe
if [ $demo -eq 1 ]; then
    # A local site: the start-address file names its first page.
    site="$(mktemp -d)"
    cp tests/data/demo_site/* "$site/"
    port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
    printf 'http://127.0.0.1:%s/index.html' "$port" >"$site/gotourl.txt"
    python3 -m http.server "$port" --bind 127.0.0.1 --directory "$site" >/dev/null 2>&1 &
    server=$!
    trap 'kill $server 2>/dev/null; rm -rf "$site"' EXIT
    export QUARNEL_START_ADDRESS_URL="http://127.0.0.1:$port/gotourl.txt"
    program=quarnel_e2e.exe
    sleep 1
fi
cp "$win_build/app/$program" build/run/
run="$root/$win_build/wine-run"

if [ $screenshot -eq 0 ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    cd build/run
    "$run" "$program"
    exit
fi

shot="$root/build/screenshot.png"
export run shot settle program
xvfb-run -a -s "-screen 0 1920x1080x24" bash -c '
    cd build/run
    "$run" "$program" &
    for _ in $(seq 1 120); do
        xwininfo -root -tree 2>/dev/null | grep -q "Quarnel" && break
        sleep 0.5
    done
    sleep "$settle"
    import -window root "$shot"
    WINEPREFIX="$(dirname "$run")/wineprefix" wineserver -k || true
'
echo "$shot"
