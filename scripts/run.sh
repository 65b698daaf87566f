#!/usr/bin/env bash
# Builds everything and runs the program under Wine. On a display it opens the window there;
# without one it runs the program under Xvfb, saves a screenshot of the screen to a PNG file and
# prints its path.
#
# The program runs from build/run/, a program folder of its own: it keeps its files beside the
# .exe. Options: --screenshot forces the screenshot even on a display; --seconds N waits N
# seconds after the window appears before the screenshot (default 3).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

screenshot=0
settle=3
while [ $# -gt 0 ]; do
    case "$1" in
        --screenshot) screenshot=1 ;;
        --seconds) settle="$2"; shift ;;
        *) echo "usage: $0 [--screenshot] [--seconds N]" >&2; exit 2 ;;
    esac
    shift
done

bash scripts/setup-machine.sh
cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win

mkdir -p build/run
cp build/win/app/quarnel.exe build/run/
run="$root/build/win/wine-run"

if [ $screenshot -eq 0 ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    cd build/run
    exec "$run" quarnel.exe
fi

shot="$root/build/screenshot.png"
export run shot settle
xvfb-run -a -s "-screen 0 1920x1080x24" bash -c '
    cd build/run
    "$run" quarnel.exe &
    for _ in $(seq 1 120); do
        xwininfo -root -tree 2>/dev/null | grep -q "Quarnel" && break
        sleep 0.5
    done
    sleep "$settle"
    import -window root "$shot"
    WINEPREFIX="$(dirname "$run")/wineprefix" wineserver -k || true
'
echo "$shot"
