#!/usr/bin/env bash
# Runs one libFuzzer target for a bounded time: fuzz-target corpus-folder seed-folder seconds.
# The corpus folder lives in the build tree and grows across runs; the seed folder is optional.
# QUARNEL_FUZZ_SECONDS, when set, takes the place of the seconds (scripts/fuzz.sh sets it).
set -euo pipefail
target="$1" corpus="$2" seeds="$3" seconds="${QUARNEL_FUZZ_SECONDS:-$4}"
mkdir -p "$corpus"
dirs=("$corpus")
[ -d "$seeds" ] && dirs+=("$seeds")
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
exec "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 "${dirs[@]}"
