#!/usr/bin/env bash
# Proves that the set-up's apt steps ride through an archive that cannot be fully updated: apt is
# given, for this run only, an extra source that refuses connections, so every update reports
# "Failed to fetch". The steps must try the update again, go on with the indexes apt has, and
# still install a small package (GNU hello), which is removed again at the end. Needs root or
# sudo and Debian's archive; changes nothing else on the machine.
set -euo pipefail
cd "$(dirname "$0")/.."
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
package=hello
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    echo "test-setup: $package is installed already; remove it first" >&2
    exit 2
fi

tmp="$(mktemp -d)"
trap '$sudo apt-get purge -y -q "$package" >/dev/null 2>&1 || true; rm -rf "$tmp"' EXIT
mkdir "$tmp/sources.list.d"
cp /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list "$tmp/sources.list.d/" 2>/dev/null || true
echo "deb [trusted=yes] http://127.0.0.1:9/unreachable bookworm main" >"$tmp/sources.list.d/unreachable.list"
echo "Dir::Etc::SourceParts \"$tmp/sources.list.d\";" >"$tmp/apt.conf"
export APT_CONFIG="$tmp/apt.conf" QUARNEL_APT_PAUSE=1

source scripts/apt-steps.sh
apt_update_patiently 2>"$tmp/update.log"
grep -q 'failed (try 1 of 4)' "$tmp/update.log" || { echo "test-setup: the update did not fail" >&2; exit 1; }
grep -q 'going on with the indexes apt has' "$tmp/update.log" || { echo "test-setup: no going on" >&2; exit 1; }
apt_install_or_release "$package" >/dev/null
dpkg-query -W -f='${Status}' "$package" | grep -q 'install ok installed' || {
    echo "test-setup: $package was not installed" >&2
    exit 1
}
echo "test-setup: the update failed 4 times, and $package was installed all the same"
