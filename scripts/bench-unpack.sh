#!/usr/bin/env bash
# Benchmarks the program's unpacker against Info-ZIP's unzip on the same archives on this
# machine, and prints the figures: the time of each (best of three runs), the ratio, and the
# peak memory of each. The program's unpacker runs under Wine (tests/bench/unpack_bench.exe,
# timed inside the process, so Wine's start-up is not counted).
#
# Archives (made once into a temporary folder, removed at the end):
#   mixed:  about 100 MB of mixed files (large incompressible and compressible files, mid-sized
#           semi-compressible ones, many small ones in subfolders), deflated;
#   single: one entry of about 100 MB;
#   huge:   one compressible entry of 400 MB, to show that memory does not grow with the entry.
#
# Usage: bash scripts/bench-unpack.sh   (after scripts/test.sh has configured the Windows build)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
source scripts/windows-target.sh

cmake --build "$win_build" --target unpack_bench >/dev/null
bench_exe="$root/$win_build/tests/bench/unpack_bench.exe"
wine_run="$root/$win_build/wine-run"

work="$(mktemp -d /tmp/quarnel-bench.XXXXXX)"
stop_wine() { WINEPREFIX="$root/$win_build/wineprefix" wineserver -k 2>/dev/null || true; }
trap 'rm -rf "$work"; stop_wine' EXIT

python3 - "$work" <<'PY'
import os, random, sys, zipfile
work = sys.argv[1]
rng = random.Random(7)
half_table = bytes(b & 0x0F for b in range(256))      # 4 bits of entropy per byte
words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9))) for _ in range(3000)]

def random_bytes(n):
    return os.urandom(n)

def semi(n):
    return os.urandom(n).translate(half_table)

def text(n):
    out = bytearray()
    while len(out) < n:
        out += b" ".join(rng.choice(words) for _ in range(12)) + b"\r\n"
    return bytes(out[:n])

def write(name, files):
    with zipfile.ZipFile(os.path.join(work, name), "w", zipfile.ZIP_DEFLATED) as z:
        for path, data in files:
            z.writestr(path, data)

MB = 1 << 20
mixed = [("libcef.dll", random_bytes(30 * MB)), ("icudtl.dat", text(25 * MB))]
mixed += [("lib%02d.dll" % i, semi(500 * 1024)) for i in range(60)]
mixed += [("locales/l%02d.pak" % i, text(80 * 1024)) for i in range(53)]
mixed += [("res/%02d/f%04d.txt" % (i % 40, i), text(rng.randint(1024, 10 * 1024))) for i in range(2000)]
write("mixed.zip", mixed)
total = sum(len(d) for _, d in mixed)
write("single.zip", [("single.bin", random_bytes(35 * MB) + semi(30 * MB) + text(total - 65 * MB))])
write("huge.zip", [("huge.bin", text(400 * MB))])
print("archives: mixed %d entries, %.1f MB unpacked" % (len(mixed), total / MB))
PY

best_of_three() {  # prints the smallest first field of three runs of "$@" (each prints "seconds kb")
    local best="" line
    for _ in 1 2 3; do
        line="$("$@")"
        if [ -z "$best" ] || awk -v a="${line%% *}" -v b="${best%% *}" 'BEGIN{exit !(a<b)}'; then best="$line"; fi
    done
    echo "$best"
}

run_unzip() {
    rm -rf "$work/out"
    /usr/bin/time -f "%e %M" unzip -q -o "$1" -d "$work/out" 2>&1 >/dev/null | tail -n 1
}

run_ours() {
    rm -rf "$work/out"
    local winpath="Z:${work//\//\\}"
    "$wine_run" "$bench_exe" "$winpath\\$(basename "$1")" "$winpath\\out" |
        sed -n 's/.*seconds=\([0-9.]*\).*peak_working_set_kb=\([0-9]*\).*/\1 \2/p'
}

printf '%-8s %12s %12s %8s %16s %16s\n' archive "unzip s" "ours s" ratio "unzip peak MB" "ours peak MB"
for name in mixed single huge; do
    archive="$work/$name.zip"
    read -r unzip_s unzip_kb < <(best_of_three run_unzip "$archive")
    read -r ours_s ours_kb < <(best_of_three run_ours "$archive")
    awk -v n="$name" -v us="$unzip_s" -v os="$ours_s" -v uk="$unzip_kb" -v ok="$ours_kb" \
        'BEGIN{printf "%-8s %12.2f %12.2f %8.2f %16.1f %16.1f\n", n, us, os, os/us, uk/1024, ok/1024}'
done
