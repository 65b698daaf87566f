#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine. Safe to run again:
# it only calls apt when a package is missing.
set -euo pipefail

packages=(
    # Windows target: the MinGW-w64 compilers with the posix thread model, for the 32-bit product
    # and for the 64-bit build the Windows tests run on where 32-bit code cannot run
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
    cmake ninja-build pkg-config dpkg-dev xz-utils
    # The SIMD parts of libjpeg-turbo, which decodes the browser view's pictures of the page
    nasm
    # Running and testing the Windows program; the zh_CN.UTF-8 locale lets Wine map Chinese file
    # names to UTF-8 names on Linux
    wine wine32:i386 wine64 xvfb xauth x11-utils imagemagick fonts-wqy-microhei locales
    # Native build of the window-free code, with sanitizers and libFuzzer
    clang clang-format libclang-rt-14-dev googletest zlib1g-dev libminizip-dev libpng-dev libjpeg-dev
    # JSON for the DevTools messages (header-only, used by both builds)
    nlohmann-json3-dev
    # Reference unzip for the unpacking benchmark; Python for the test servers
    unzip python3
    # A real reader of the exported worksheets (some 80 MB to download, 265 MB installed)
    libreoffice-calc-nogui
    # The browser the host drives over the DevTools protocol under Wine (30 s to install), and
    # pgrep and pkill for the tests that check it ends
    chromium procps
)
# npm installs the tests' tools from the npm registry (below). Debian's npm only where none is on
# the machine: one that came with another Node.js must not be replaced.
command -v npm >/dev/null || packages+=(npm)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
    missing=(update-needed)
fi
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done

# The dependencies for the Windows target are built from Debian's source packages, so apt needs
# deb-src entries for the main archive.
src_list=/etc/apt/sources.list.d/quarnel-deb-src.sources
need_src=0
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
    need_src=1
fi

make_locale() {
    if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
        $sudo localedef -i zh_CN -c -f UTF-8 zh_CN.UTF-8
    fi
}

# Every program the build, the run command and the tests call, with the package that brings it:
# a package list that misses one fails here, by name, instead of halfway through a build.
check_tools() {
    local bad=0 tool
    for tool in i686-w64-mingw32-g++-posix i686-w64-mingw32-gcc-posix i686-w64-mingw32-ar \
        i686-w64-mingw32-objdump i686-w64-mingw32-windres x86_64-w64-mingw32-g++-posix \
        x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-ar x86_64-w64-mingw32-objdump \
        x86_64-w64-mingw32-windres cmake ninja pkg-config apt-get dpkg-source \
        patch make xz wine wineserver wineboot xvfb-run Xvfb xauth xdpyinfo xwininfo import clang \
        clang++ clang-format unzip python3 flock sha256sum localedef soffice chromium pgrep pkill; do
        command -v "$tool" >/dev/null || { echo "setup-machine: $tool is still missing" >&2; bad=1; }
    done
    [ -x /usr/lib/wine/wine64 ] || command -v wine64 >/dev/null || { echo "setup-machine: wine64 is still missing" >&2; bad=1; }
    [ -f /usr/src/googletest/CMakeLists.txt ] || { echo "setup-machine: GoogleTest sources missing" >&2; bad=1; }
    [ -f /usr/include/nlohmann/json.hpp ] || { echo "setup-machine: nlohmann/json.hpp missing" >&2; bad=1; }
    locale -a 2>/dev/null | grep -qix 'zh_CN.utf8' || { echo "setup-machine: no zh_CN.UTF-8 locale" >&2; bad=1; }
    return $bad
}

# Test-only tools from the npm registry, at pinned versions, in build/test-tools (never
# committed): the bot detector that a page of the Windows tests runs. Installed once; a registry
# that cannot be reached leaves them missing, and the tests that need them say so.
test_tools="$(cd "$(dirname "$0")/.." && pwd)/build/test-tools"
install_test_tools() {
    local botd="$test_tools/node_modules/@fingerprintjs/botd/package.json"
    grep -qs '"version": "2.0.0"' "$botd" && return 0
    mkdir -p "$test_tools"
    npm install --prefix "$test_tools" --no-save --no-package-lock --no-audit --no-fund \
        @fingerprintjs/botd@2.0.0 >/dev/null 2>&1 ||
        echo "setup-machine: could not install @fingerprintjs/botd@2.0.0 from the npm registry" >&2
}

if [ ${#missing[@]} -eq 0 ] && [ $need_src -eq 0 ]; then
    make_locale
    check_tools
    install_test_tools
    exit 0
fi

# The deb-src entry uses the main archive this machine already uses, for its own release.
archive_uri() {
    local uri
    uri="$(sed -n 's/^URIs:[[:space:]]*\([^[:space:]]*\).*/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null |
        grep -v -- '-security' | head -n 1 || true)"
    [ -n "$uri" ] || uri="$(sed -n 's/^deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\([^[:space:]]*\).*/\2/p' \
        /etc/apt/sources.list 2>/dev/null | grep -v -- '-security' | head -n 1 || true)"
    echo "${uri:-http://deb.debian.org/debian}"
}

if [ $need_src -eq 1 ]; then
    codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")"
    $sudo tee "$src_list" >/dev/null <<SRC
Types: deb-src
URIs: $(archive_uri)
Suites: $codename
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
fi

echo "setup-machine: installing ${missing[*]:-deb-src entries}" >&2
source "$(dirname "$0")/apt-steps.sh"
apt_update_patiently
to_install=()
for p in "${missing[@]}"; do [ "$p" = update-needed ] || to_install+=("$p"); done
[ ${#to_install[@]} -eq 0 ] || apt_install_or_release "${to_install[@]}" || exit 1
make_locale
check_tools || exit 1
install_test_tools
