#!/usr/bin/env bash
# Fails, naming the files, when a tracked C++ source is not as clang-format (.clang-format at the
# top) writes it. Fix with: git ls-files '*.cpp' '*.h' | xargs clang-format -i
set -euo pipefail
cd "$(dirname "$0")/.."
bad=()
while IFS= read -r file; do
    clang-format --style=file "$file" | cmp -s - "$file" || bad+=("$file")
done < <(git ls-files '*.cpp' '*.h')
if [ ${#bad[@]} -gt 0 ]; then
    printf 'check-format: not formatted: %s\n' "${bad[@]}" >&2
    exit 1
fi
