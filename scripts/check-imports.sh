#!/usr/bin/env bash
# Fails when a Windows executable imports a DLL that is not part of Windows itself, such as
# MinGW's libstdc++, libgcc or libwinpthread DLLs.
#
# Usage: bash scripts/check-imports.sh OBJDUMP EXE   (OBJDUMP: the target's, e.g. i686-w64-mingw32-objdump)
set -euo pipefail
objdump="$1" exe="$2"
allowed='^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|shlwapi|ole32|oleaut32|uuid|advapi32|wininet|msvcrt|ws2_32|version|winmm|imm32|uxtheme|dwmapi|gdiplus|crypt32|secur32|rpcrt4|bcrypt|iphlpapi|psapi|userenv|setupapi|ntdll|winspool\.drv|mpr|urlmon|msimg32)\.dll$'
imports="$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')"
[ -n "$imports" ] || { echo "no imports found in $exe" >&2; exit 1; }
bad=0
while read -r dll; do
    lower="$(printf '%s' "$dll" | tr 'A-Z' 'a-z')"
    if [[ "$lower" =~ $allowed ]]; then
        echo "ok: $dll"
    else
        echo "not a system DLL: $dll" >&2
        bad=1
    fi
done <<<"$imports"
exit $bad
