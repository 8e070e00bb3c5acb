#!/usr/bin/env bash
# Checks that an ordinary user runs an installed Vantor package in Recovery mode without sudo:
# the program, as user nobody with only the file capabilities the package's post-install
# script grants, in a network namespace of its own with one veth pair, must hold the DHCP (67)
# and TFTP (69) ports and must not warn about missing privileges.
#
# Without ROOT nothing is installed on this system: the package is unpacked into a temporary
# folder (dpkg-deb -x) and the capabilities are given to the unpacked binary, as the
# post-install script gives them to /usr/bin/vantor. With ROOT, a Debian root folder (one made
# by `debootstrap bookworm ROOT` is a fresh Debian 12), the package is installed there with
# `apt-get install ./vantor_*.deb`, which runs its post-install script, and the installed
# program is run in that root.
# Usage: sudo scripts/try-package.sh build/package/vantor_<version>_amd64.deb [ROOT]
set -euo pipefail
deb=$(realpath "$1")
root="${2:-}"
[ "$(id -u)" -eq 0 ] || { echo "try-package: needs root (namespaces, setcap)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"

if [ -z "$root" ]; then
    dpkg-deb -x "$deb" "$work/root"
    dpkg-deb -e "$deb" "$work/control"
    capabilities=$(sed -n 's/^capabilities=//p' "$work/control/postinst")
    setcap "$capabilities" "$work/root/usr/bin/vantor"
    program="$work/root/usr/bin/vantor"
else
    root=$(realpath "$root")
    cp "$deb" "$root/tmp/"
    unshare --mount -- bash -c '
        set -euo pipefail
        mount -t proc proc "$0/proc"
        chroot "$0" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "/tmp/$1"
    ' "$root" "$(basename "$deb")"
    rm -f "$root/tmp/$(basename "$deb")"
    program=/usr/bin/vantor
fi
echo "try-package: file capabilities: $(getcap "${root:-$work/root}/usr/bin/vantor")"

# In a mount namespace too, so that the root's /proc, /sys and /dev mounts vanish with it.
unshare --net --mount -- bash -c '
    set -euo pipefail
    root="$1" log="$2" program="$3"
    if [ -n "$root" ]; then
        mount -t proc proc "$root/proc"
        mount -t sysfs sysfs "$root/sys"
        mount --rbind /dev "$root/dev"
    fi
    ip link set lo up
    ip link add vantor0 type veth peer name vantor1
    ip address add 10.78.0.1/24 dev vantor0
    ip link set vantor0 up
    ip link set vantor1 up

    jail=()
    [ -z "$root" ] || jail=(chroot "$root")
    "${jail[@]}" setpriv --reuid=65534 --regid=65534 --clear-groups -- "$program" \
        --headless --mode recovery >"$log" 2>&1 &
    pid=$!
    for _ in $(seq 100); do
        grep -q "^> Listening" "$log" && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    status=0
    echo "try-package: running as $(ps -o user= -p "$pid" || echo "(ended)")"
    getpcaps "$pid" 2>&1 | sed "s/^/try-package: /" || true
    ss -lun | tee "$log.ports"
    for port in 67 69; do
        grep -Eq ":$port[[:space:]]" "$log.ports" ||
            { echo "try-package: port $port is not held" >&2; status=1; }
    done
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" || { echo "try-package: the program exited $?" >&2; status=1; }
    # Read once the program has ended: the warning may follow "Listening".
    if grep -q "is not allowed to" "$log"; then
        echo "try-package: the program warns about missing privileges" >&2
        status=1
    fi
    sed "s/^/vantor: /" "$log"
    exit "$status"
' try-package "$root" "$work/vantor.log" "$program"
echo "try-package: an ordinary user holds ports 67 and 69 in Recovery mode"
