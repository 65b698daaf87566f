# The two apt steps of the set-up, made to ride through an archive in the middle of a sync.
# Sourced by setup-machine.sh, and by test-setup.sh, which proves them against an archive that
# cannot be reached. `sudo` is set by the caller ("" when running as root).

# An archive in the middle of a sync serves an index whose size disagrees with its Release file
# for a few minutes: the update is tried again after a pause, and past the last try apt goes on
# with the indexes it has (an index it could not fetch is ignored or the old one kept).
apt_update_patiently() {
    local attempt log pause="${QUARNEL_APT_PAUSE:-15}"
    for attempt in 1 2 3 4; do
        # apt-get update exits 0 even when an index failed; its "Failed to fetch" lines tell.
        if log="$(${sudo:-} apt-get update -q 2>&1)" && ! grep -q '^[EW]: Failed to fetch' <<<"$log"; then
            return 0
        fi
        printf '%s\n' "$log" | grep '^[EW]:' >&2 || true
        if [ $attempt -lt 4 ]; then
            echo "setup-machine: apt-get update failed (try $attempt of 4); again in $pause s" >&2
            sleep "$pause"
        fi
    done
    echo "setup-machine: apt-get update still fails; going on with the indexes apt has" >&2
}

# With one architecture's index of the security suite missing or older, its newer versions have
# no twins in the other architecture and multi-arch packages cannot be installed side by side:
# the release's own versions, which both architectures have, are taken for this run.
apt_install_or_release() {
    local codename
    apt_install "$@" && return 0
    codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")"
    echo "setup-machine: install failed; trying again with the release's own versions (-t $codename)" >&2
    apt_install -t "$codename" "$@" && return 0
    echo "setup-machine: cannot install $*: the package archive is unreachable or its indexes disagree" \
        "(see apt's messages above)" >&2
    return 1
}

apt_install() {
    ${sudo:-} env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@"
}
