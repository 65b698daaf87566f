#!/usr/bin/env bash
# Proves that README's two commands work on a bare Debian 12: makes a minimal Debian 12 root with
# debootstrap from the package archive this machine already uses, clones the repository's
# committed state into it, and runs `bash scripts/run.sh` and then `bash scripts/test.sh` there as
# root with no display, as a new user would. Prints each command's result and wall time; the
# full output of each lands in the work folder's run.log and test.log.
#
# Needs root (debootstrap, chroot and mounts) and some 15 GB of disk; takes a good while (the
# packages, the dependency build and the whole test run, all from nothing).
#
# Usage: bash scripts/check-fresh-debian.sh [--keep] [work-folder]
#   The work folder defaults to a new folder under /var/tmp; with --keep it stays afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$PWD"

keep=0
work=""
while [ $# -gt 0 ]; do
    case "$1" in
        --keep) keep=1 ;;
        -*) echo "usage: $0 [--keep] [work-folder]" >&2; exit 2 ;;
        *) work="$1" ;;
    esac
    shift
done
[ "$(id -u)" -eq 0 ] || { echo "check-fresh-debian: run as root" >&2; exit 2; }
[ -n "$work" ] || work="$(mktemp -d /var/tmp/quarnel-fresh.XXXXXX)"
mkdir -p "$work"
target="$work/root"

command -v debootstrap >/dev/null ||
    env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap >/dev/null

# The main archive and the security archive this machine uses.
uris="$(sed -n 's/^URIs:[[:space:]]*//p' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
$(sed -n 's/^deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\([^[:space:]]*\).*/\2/p' /etc/apt/sources.list 2>/dev/null || true)"
mirror="$(grep -v -- '-security' <<<"$uris" | grep . | head -n 1 || true)"
security="$(grep -- '-security' <<<"$uris" | head -n 1 || true)"
mirror="${mirror:-http://deb.debian.org/debian}"

mounted=()
cleanup() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[$i]}" 2>/dev/null || true; done
    if [ $keep -eq 0 ]; then
        rm -rf "$work"
    else
        echo "check-fresh-debian: kept $work"
    fi
}
trap cleanup EXIT

seconds_since() { echo $(($(date +%s) - $1)); }

start=$(date +%s)
echo "check-fresh-debian: debootstrap bookworm from $mirror into $target"
debootstrap --variant=minbase bookworm "$target" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    { tail -n 20 "$work/debootstrap.log" >&2; exit 1; }
echo "check-fresh-debian: base system in $(seconds_since $start) s"

# A Debian 12 installation gets its release's updates and security archives too.
rm -f "$target/etc/apt/sources.list"
{
    printf 'Types: deb\nURIs: %s\nSuites: bookworm bookworm-updates\nComponents: main\n' "$mirror"
    printf 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n'
    if [ -n "$security" ]; then
        printf '\nTypes: deb\nURIs: %s\nSuites: bookworm-security\nComponents: main\n' "$security"
        printf 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n'
    fi
} >"$target/etc/apt/sources.list.d/debian.sources"
cp /etc/resolv.conf "$target/etc/resolv.conf"

for m in proc sys dev dev/pts dev/shm; do
    mkdir -p "$target/$m"
    mount --bind "/$m" "$target/$m"
    mounted+=("$target/$m")
done

# The committed state, as a clean clone has it.
git clone -q --no-hardlinks "$repo" "$target/root/quarnel"

in_root() {
    chroot "$target" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        bash -c "cd /root/quarnel && $1"
}

# The root shares this machine's network, and with it the X servers' abstract sockets: copy the
# lock files of the displays in use here, so that xvfb-run -a inside picks a free number.
reserve_displays() {
    local lock
    for lock in /tmp/.X*-lock; do
        [ -e "$lock" ] && cp "$lock" "$target/tmp/"
    done
    return 0
}

status=0
for cmd in "bash scripts/run.sh" "bash scripts/test.sh"; do
    log="$work/$(basename "${cmd##* }" .sh).log"
    reserve_displays
    t=$(date +%s)
    if in_root "$cmd" >"$log" 2>&1; then result="passed"; else result="FAILED (exit $?)"; status=1; fi
    echo "check-fresh-debian: '$cmd': $result in $(seconds_since $t) s; last lines:"
    if [ "$result" = passed ]; then tail -n 3 "$log"; else tail -n 30 "$log"; fi | sed 's/^/    /'
done
echo "check-fresh-debian: all done in $(seconds_since $start) s"
exit $status
