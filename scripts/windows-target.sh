# Chooses which Windows build the tests and the run command run under Wine, once per command,
# and says which and why on one line. Sourced (from the repository's root) by scripts/test.sh,
# scripts/run.sh and the benchmark scripts; sets:
#   win_arch       i686 or x86_64
#   win_build      the build folder of that target: build/win (i686) or build/win64 (x86_64)
#   win_toolchain  its CMake toolchain file
#
# The product is the 32-bit (i686) build. Debian's 32-bit Wine needs the kernel to run 32-bit
# Linux code; a kernel without IA-32 emulation refuses any 32-bit program, so there the Windows
# tests run against a 64-bit (x86_64) build of the same sources under wine64 instead.
# QUARNEL_WIN_ARCH=i686 or =x86_64 forces the choice.

# Exit code 42 when the kernel runs 32-bit x86 code: a 96-byte static ELF32 program that calls
# exit(42) through int 0x80. It needs no 32-bit library, so the answer holds before the i386
# packages are installed.
quarnel_runs_32bit_code() {
    local probe="$PWD/build/.ia32-probe" rc=0
    mkdir -p build
    local elf='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00'
    elf+='\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00'
    elf+='\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'
    elf+='\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
    elf+='\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80'  # mov eax,1; mov ebx,42; int 0x80
    printf "$elf" >"$probe"
    chmod +x "$probe"
    quarnel_probe_error="$("$probe" 2>&1)" || rc=$?
    rm -f "$probe"
    quarnel_probe_error="${quarnel_probe_error##*: }"
    [ $rc -eq 42 ]
}

case "${QUARNEL_WIN_ARCH:-}" in
    i686 | x86_64)
        win_arch="$QUARNEL_WIN_ARCH"
        win_reason="QUARNEL_WIN_ARCH=$QUARNEL_WIN_ARCH"
        ;;
    "")
        if quarnel_runs_32bit_code; then
            win_arch=i686
            win_reason="this machine runs 32-bit code"
        else
            win_arch=x86_64
            win_reason="this machine cannot run 32-bit code (a tiny 32-bit program: ${quarnel_probe_error:-no exit code 42})"
        fi
        ;;
    *)
        echo "QUARNEL_WIN_ARCH must be i686 or x86_64, not $QUARNEL_WIN_ARCH" >&2
        exit 2
        ;;
esac

win_toolchain="cmake/toolchain-$win_arch-mingw.cmake"
if [ "$win_arch" = i686 ]; then
    win_build=build/win
    echo "Windows programs run as the 32-bit build ($win_build) under wine: $win_reason" >&2
else
    win_build=build/win64
    echo "Windows programs run as the 64-bit build ($win_build) under wine64 with a win64 prefix," \
        "not as the 32-bit product: $win_reason" >&2
fi
