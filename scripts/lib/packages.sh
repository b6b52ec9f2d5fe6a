# packages.sh - installs the Debian packages kestrel builds, tests and runs
# with. Sourced by scripts/test and scripts/demo.

kestrel_packages=(
    build-essential cmake pkg-config
    libpq-dev zlib1g-dev libsodium-dev libfcgi-dev
    libgtest-dev libgmock-dev googletest
    postgresql lighttpd curl
    apache2 libapache2-mod-fcgid nginx fcgiwrap spawn-fcgi pgbouncer
    chromium chromium-driver
)

# Installs what is missing; as root only, since apt-get needs it.
kestrel_install_packages() {
    local missing=()
    local pkg
    for pkg in "${kestrel_packages[@]}" "$@"; do
        # No pipe into grep -q: under pipefail its early exit fails dpkg-query.
        [[ $(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null) == *"ok installed"* ]] ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing packages (install them as root): ${missing[*]}" >&2
        return 1
    fi
    echo "installing: ${missing[*]}"
    apt-get update -qq
    # The tests run their own servers on loopback ports: keep apt from
    # starting the packages' system services (port 80, fcgiwrap's socket,
    # pgbouncer).
    local policy=/usr/sbin/policy-rc.d own_policy=0
    if [ ! -e "$policy" ]; then
        printf '#!/bin/sh\nexit 101\n' >"$policy"
        chmod 755 "$policy"
        own_policy=1
    fi
    local rc=0
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null || rc=$?
    [ "$own_policy" -eq 0 ] || rm -f "$policy"
    return "$rc"
}
