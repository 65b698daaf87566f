#!/usr/bin/env bash
# Fuzzes every decoder and parser of core/ for longer than the test command's short run: each
# libFuzzer target for the given seconds (60 unless told), one after another, growing the corpus
# folders in build/native that the test command's runs start from. A crash stops the run with
# the target's report and the input that caused it.
#
# Usage: bash scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
case "$seconds" in ''|*[!0-9]*) echo "usage: bash scripts/fuzz.sh [seconds]" >&2; exit 2 ;; esac

bash scripts/setup-machine.sh
CC=clang CXX=clang++ cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUARNEL_WERROR=ON >/dev/null
cmake --build build/native
QUARNEL_FUZZ_SECONDS="$seconds" ctest --test-dir build/native -R '^fuzz\.' --output-on-failure --timeout $((seconds + 300))
