#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine. Safe to run again:
# it only calls apt when a package is missing.
set -euo pipefail

packages=(
    # Windows target: the MinGW-w64 compilers with the posix thread model
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
    cmake ninja-build dpkg-dev
    # Running and testing the Windows program; the zh_CN.UTF-8 locale lets Wine map Chinese file
    # names to UTF-8 names on Linux
    wine wine32:i386 xvfb xauth x11-utils imagemagick fonts-wqy-microhei locales
    # Native build of the window-free code, with sanitizers and libFuzzer
    clang libclang-rt-14-dev googletest zlib1g-dev libminizip-dev libpng-dev libjpeg-dev
    # Reference unzip for the unpacking benchmark; Python for the test servers
    unzip python3
)

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

if [ ${#missing[@]} -eq 0 ] && [ $need_src -eq 0 ]; then
    make_locale
    exit 0
fi

if [ $need_src -eq 1 ]; then
    $sudo tee "$src_list" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
fi

echo "setup-machine: installing ${missing[*]:-deb-src entries}" >&2
$sudo apt-get update -q
to_install=()
for p in "${missing[@]}"; do [ "$p" = update-needed ] || to_install+=("$p"); done
if [ ${#to_install[@]} -gt 0 ]; then
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${to_install[@]}"
fi
make_locale
