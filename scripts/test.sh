#!/usr/bin/env bash
# Builds and runs every test: the native tests of core/ (with the sanitizers, and each fuzz
# target for a short bounded run) and the Windows tests under Wine inside Xvfb. Ends with
# CTest's summary of both.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

bash scripts/setup-machine.sh

# Native: clang for libFuzzer; sanitizers on everything.
CC=clang CXX=clang++ cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUARNEL_WERROR=ON >/dev/null
cmake --build build/native

# Windows: the MinGW-w64 cross compilers; the dependencies come from scripts/build-deps.sh.
cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake \
    -DCMAKE_BUILD_TYPE=Release -DQUARNEL_WERROR=ON >/dev/null
cmake --build build/win

# One CTest run over both builds, so one summary line covers every test.
cat >build/CTestTestfile.cmake <<'CTEST'
subdirs("native")
subdirs("win")
CTEST

stop_wine() { WINEPREFIX="$root/build/win/wineprefix" wineserver -k 2>/dev/null || true; }
trap stop_wine EXIT
xvfb-run -a -s "-screen 0 1920x1080x24" ctest --test-dir build --output-on-failure -j2 "$@"
