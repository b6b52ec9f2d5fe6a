# packages.sh - installs the Debian packages kestrel builds, tests and runs
# with. Sourced by scripts/test and scripts/demo.

kestrel_packages=(
    build-essential cmake pkg-config
    libpq-dev zlib1g-dev libsodium-dev libfcgi-dev
    libgtest-dev libgmock-dev googletest
    postgresql lighttpd curl
    pgbouncer
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
    # Packages with a service (pgbouncer) must not start one: the tests run
    # their own instances. A policy of our own only while installing.
    local policy=""
    if [ ! -e /usr/sbin/policy-rc.d ]; then
        policy=/usr/sbin/policy-rc.d
        printf '#!/bin/sh\nexit 101\n' >"$policy"
        chmod +x "$policy"
    fi
    local status=0
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null || status=$?
    [ -z "$policy" ] || rm -f "$policy"
    return $status
}
