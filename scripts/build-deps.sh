#!/usr/bin/env bash
# Builds zlib with minizip's unzip interface, libpng and libjpeg-turbo for the Windows target
# from Debian's source packages, once, into a cache folder outside the work tree.
#
# Usage: bash scripts/build-deps.sh [i686|x86_64]   (the Windows processor; i686 when not given)
#
# The cache folder is $QUARNEL_DEPS_CACHE, else $XDG_CACHE_HOME/quarnel-deps, else
# ~/.cache/quarnel-deps. Each build lands in a subfolder keyed by the package versions, the
# compiler version and this script's own content, so a change of any of them builds anew and
# an unchanged one is reused by later builds and fresh clones.
#
# Prints the install prefix (holding include/ and lib/) on its last line.
set -euo pipefail

ZLIB_VERSION="1:1.2.13.dfsg-1"
LIBPNG_VERSION="1.6.39-2+deb12u5"
LIBJPEG_VERSION="1:2.1.5-2"

arch="${1:-i686}"
case "$arch" in
    i686 | x86_64) ;;
    *) echo "usage: $0 [i686|x86_64]" >&2; exit 2 ;;
esac
triple="$arch-w64-mingw32"
here="$(cd "$(dirname "$0")" && pwd)"
cache_root="${QUARNEL_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quarnel-deps}"
cc=$triple-gcc-posix
toolchain="$here/../cmake/toolchain-$arch-mingw.cmake"
key_text="zlib=$ZLIB_VERSION libpng=$LIBPNG_VERSION libjpeg=$LIBJPEG_VERSION cc=$($cc -dumpfullversion) $(sha256sum "$0" "$toolchain" "$here/../cmake/mingw-toolchain.cmake" | cut -c1-64)"
key="$triple-$(printf '%s' "$key_text" | sha256sum | cut -c1-16)"
prefix="$cache_root/$key"

if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

mkdir -p "$cache_root"
exec 9>"$cache_root/.lock"
flock 9
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

work="$(mktemp -d "$cache_root/work.XXXXXX")"
trap 'rm -rf "$work"' EXIT
rm -rf "$prefix"
mkdir -p "$prefix/include/minizip" "$prefix/lib"

# apt-get source downloads the .dsc, the upstream tarball and Debian's changes, and unpacks
# them with Debian's patches applied. If the pinned version has left the archive, fall back to
# the current one: the cache key still names the pinned versions, so warn.
fetch_source() {
    local name="$1" version="$2"
    (cd "$work" && apt-get source -q "$name=$version" >/dev/null 2>&1) || {
        echo "build-deps: $name=$version not in the archive, using the current source" >&2
        (cd "$work" && apt-get source -q "$name" >/dev/null)
    }
}


echo "build-deps: building into $prefix" >&2

fetch_source zlib "$ZLIB_VERSION"
zdir="$(find "$work" -maxdepth 1 -type d -name 'zlib-*' | head -n 1)"
# Debian's source of zlib drops the win32/ makefiles, so compile the library's files directly.
for f in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate inftrees \
    trees uncompr zutil; do
    $cc -O2 -c "$zdir/$f.c" -o "$work/z_$f.o"
done
$triple-ar rcs "$prefix/lib/libz.a" "$work"/z_*.o
cp "$zdir/zlib.h" "$zdir/zconf.h" "$prefix/include/"

# minizip: only the reading side (unzip) and its I/O layers, as a static library.
mz="$zdir/contrib/minizip"
for f in ioapi unzip iowin32; do
    $cc -O2 -c -I"$zdir" -DNOCRYPT "$mz/$f.c" -o "$work/mz_$f.o"
done
$triple-ar rcs "$prefix/lib/libminizip.a" "$work"/mz_*.o
cp "$mz/ioapi.h" "$mz/unzip.h" "$mz/iowin32.h" "$prefix/include/minizip/"

fetch_source libpng1.6 "$LIBPNG_VERSION"
pdir="$(find "$work" -maxdepth 1 -type d -name 'libpng1.6-*' | head -n 1)"
cmake -S "$pdir" -B "$work/png-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DSKIP_INSTALL_PROGRAMS=ON \
    -DZLIB_INCLUDE_DIR="$prefix/include" -DZLIB_LIBRARY="$prefix/lib/libz.a" >&2
cmake --build "$work/png-build" >&2
cmake --install "$work/png-build" >&2

fetch_source libjpeg-turbo "$LIBJPEG_VERSION"
jdir="$(find "$work" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n 1)"
# With its SIMD parts (assembled by nasm): the browser view decodes up to 20 pictures of the page
# a second, and colour conversion and upsampling without them are most of the host's work.
cmake -S "$jdir" -B "$work/jpeg-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DREQUIRE_SIMD=ON -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF >&2
cmake --build "$work/jpeg-build" >&2
cmake --install "$work/jpeg-build" >&2

rm -rf "$prefix/share" "$prefix/bin" "$prefix/doc"
printf '%s\n' "$key_text" >"$prefix/.complete"
echo "$prefix"
