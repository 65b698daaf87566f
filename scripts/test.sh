#!/usr/bin/env bash
# Builds and runs every test: the native tests of core/ (with the sanitizers, and each fuzz
# target for a short bounded run) and the Windows tests under Wine inside Xvfb. Ends with
# CTest's summary of both.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

bash scripts/setup-machine.sh
# Every tracked C++ file as clang-format writes it.
bash scripts/check-format.sh

# Native: clang for libFuzzer; sanitizers on everything.
CC=clang CXX=clang++ cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUARNEL_WERROR=ON >/dev/null
cmake --build build/native

# Windows: the MinGW-w64 cross compilers; the dependencies come from scripts/build-deps.sh. The
# 32-bit product's build where this machine runs 32-bit code, else a 64-bit build of the same
# sources (scripts/windows-target.sh says which).
source scripts/windows-target.sh
cmake -S . -B "$win_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$win_toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DQUARNEL_WERROR=ON >/dev/null
cmake --build "$win_build"
# The product's 32-bit build is compiled too where its tests run as the 64-bit build: what only
# the 32-bit compiler refuses (a callback without its calling convention) fails here.
if [ "$win_build" != build/win ]; then
    cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake \
        -DCMAKE_BUILD_TYPE=Release -DQUARNEL_WERROR=ON >/dev/null
    cmake --build build/win
fi

# One CTest run over both builds, so one summary line covers every test.
cat >build/CTestTestfile.cmake <<CTEST
subdirs("native")
subdirs("${win_build#build/}")
CTEST

export win_build
stop_wine() { WINEPREFIX="$root/$win_build/wineprefix" wineserver -k 2>/dev/null || true; }
trap stop_wine EXIT
# The Wine server (kept until stop_wine) and the prefix's background programs start before CTest,
# with no output to hold: started by a test, they would keep that test's output pipe open, and
# CTest counts a test as running until its output closes, so it would seem to last as long as the
# server and hold one of the two test slots meanwhile.
xvfb-run -a -s "-screen 0 1920x1080x24" bash -c '
    prefix="$PWD/$win_build/wineprefix"
    [ -f "$prefix/.ready" ] || { "$win_build/wine-run" wineboot && WINEPREFIX="$prefix" wineserver -w; } </dev/null >/dev/null 2>&1
    WINEPREFIX="$prefix" wineserver -p </dev/null >/dev/null 2>&1 || true
    "$win_build/wine-run" wineboot </dev/null >/dev/null 2>&1
    exec ctest --test-dir build --output-on-failure -j2 "$@"' bash "$@"
