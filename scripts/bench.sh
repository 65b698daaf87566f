#!/usr/bin/env bash
# Builds and runs the benchmarks at their full sizes and prints their figures: reading and
# showing large address lists (url_list_benchmark_test), the browser view's page-source round
# trips and notification bursts (browser_view_bench_test), a timed pass over misbehaving pages at
# 3 s and 4 s, row by row (visiting_test's BenchmarkAHostilePassRowByRow), and the time from the program's start
# to its window shown (program_test's BenchmarkTimeToWindowShown), the page on screen over 10
# starts of the program with each engine (page_on_screen_test), exporting 65,535 rows
# (export_test's ExportBenchmark), and decoding and drawing site icons (scripts/bench-picture.sh).
# None fails on speed. The test command runs the same cases at their smallest sizes only, to show
# that they still work.
#
# With --unpack it also runs scripts/bench-unpack.sh (the unpacker against unzip; it makes some
# 600 MB of archives and takes a good while).
#
# With --soak it runs instead the soak run alone: a pass of 10,000 local pages at a 0.25 s
# interval through the browser engine, printing the memory of the program, the host and the
# browser after every 1,000 pages (about 45 minutes).
#
# Usage: bash scripts/bench.sh [--unpack | --soak]   (under Xvfb when there is no display)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

unpack=0
soak=0
for arg in "$@"; do
    case "$arg" in
        --unpack) unpack=1 ;;
        --soak) soak=1 ;;
        *) echo "usage: bash scripts/bench.sh [--unpack | --soak]" >&2; exit 2 ;;
    esac
done

# The program's window needs a screen of at least 1440x1000.
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1920x1080x24" bash "$0" "$@"
fi

bash scripts/setup-machine.sh
source scripts/windows-target.sh
# The benchmark scripts it calls run the same build.
export QUARNEL_WIN_ARCH="$win_arch"
cmake -S . -B "$win_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$win_toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DQUARNEL_WERROR=ON >/dev/null
cmake --build "$win_build" --target win_url_list_benchmark_test win_browser_view_bench_test win_program_test \
    win_visiting_test win_export_test win_host_browser_view_test win_page_on_screen_test

stop_wine() { WINEPREFIX="$root/$win_build/wineprefix" wineserver -k 2>/dev/null || true; }
trap stop_wine EXIT

run() {  # test program, then its arguments
    echo "== $1"
    "$root/$win_build/wine-run" "$root/$win_build/tests/win/$1.exe" --gtest_brief=1 "${@:2}"
}
if [ "$soak" -eq 1 ]; then
    echo "== soak: 10,000 pages at 0.25 s, memory of the program, the host and the browser"
    QUARNEL_BENCH_SOAK=1 run win_host_browser_view_test --gtest_filter='ChromiumHostTest.BenchmarkRecoveryAndMemoryOverAPass'
    exit 0
fi
export QUARNEL_BENCH_FULL=1
run win_url_list_benchmark_test
run win_browser_view_bench_test
run win_program_test --gtest_filter='*.Benchmark*'
run win_visiting_test --gtest_filter='*.Benchmark*'
run win_page_on_screen_test
run win_export_test --gtest_filter='ExportBenchmark.*'
echo "== browser engine (start, loads, memory; the view's CPU beside the browser alone, pictures, input to screen, on the"
echo "   Linux and the Windows stand-in path), and its anchor: a bare DevTools client"
run win_host_browser_view_test --gtest_filter='ChromiumHostTest.Benchmark*:Paths/ViewCostTest.*'
python3 tests/bench/devtools_bare_client.py /usr/bin/chromium 10
echo "== site icons"
bash scripts/bench-picture.sh

if [ "$unpack" -eq 1 ]; then
    echo "== unpack"
    bash scripts/bench-unpack.sh
fi
