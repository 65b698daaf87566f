#!/usr/bin/env bash
# A real reader of the exported worksheets: the export test writes a list longer than one file
# holds, with Chinese texts, through the export command into a folder, together with the list's
# cells; LibreOffice converts every file to CSV, and each must start with the header row and all
# of them together must hold every row of the list once, cell for cell. Part of the test command
# (CTest's reader.libreoffice); needs soffice (package libreoffice-calc-nogui).
#
# Usage: bash scripts/check-export-with-libreoffice.sh WINE-RUN WIN_EXPORT_TEST.EXE
set -euo pipefail
wine_run="$1" test_exe="$2"
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
mkdir -p "$dir/sheets" "$dir/csv"

QUARNEL_SHEET_CHECK_DIR="$dir/sheets" "$wine_run" "$test_exe" --gtest_brief=1 \
    --gtest_filter='ExportTest.WritesFilesForARealReader'
# The files name no code page: the reader takes the system's, GBK under a Chinese locale. A
# profile of its own keeps this run apart from any other LibreOffice on the machine.
LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 soffice -env:UserInstallation="file://$dir/profile" --headless \
    --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76' --outdir "$dir/csv" "$dir"/sheets/*.xls >/dev/null

python3 - "$dir" <<'PY'
import csv, pathlib, re, sys

root = pathlib.Path(sys.argv[1])
def rows(path):
    with open(path, encoding="utf-8", newline="") as f:
        return list(csv.reader(f))
def number(sheet):  # "name.xls" first, then "name (2).xls", "name (3).xls", ...
    found = re.search(r" \((\d+)\)$", sheet.stem)
    return int(found.group(1)) if found else 1

expected = rows(root / "sheets" / "list.csv")
sheets = sorted((root / "sheets").glob("*.xls"), key=number)
if len(sheets) < 2:
    sys.exit(f"expected a file and its continuation, found {[s.name for s in sheets]}")
read = []
for sheet in sheets:
    got = rows(root / "csv" / (sheet.stem + ".csv"))
    if not got or got[0] != expected[0]:
        sys.exit(f"{sheet.name}: header {got[:1]} instead of {expected[0]}")
    read += got[1:]
for i, (want, have) in enumerate(zip(expected[1:], read)):
    if want != have:
        sys.exit(f"row {i + 1}: LibreOffice read {have}, the list holds {want}")
if len(read) != len(expected) - 1:
    sys.exit(f"LibreOffice read {len(read)} rows, the list holds {len(expected) - 1}")
print(f"LibreOffice read {len(sheets)} files, {len(read)} rows: every cell as in the list")
PY
