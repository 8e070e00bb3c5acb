#!/usr/bin/env bash
# Checks that an ordinary user runs an installed Vantor package in Recovery mode without sudo,
# and that only the network helper holds privileges: the package's files carry no capability
# but the helper's; the program, as user nobody, in a network namespace of its own with one
# veth pair, must hold the DHCP (67) and TFTP (69) ports through the helper it starts, must
# not warn about missing privileges, and must itself hold no capability; once it has ended, no
# helper may be left.
#
# Without ROOT nothing is installed on this system: the package is unpacked into a temporary
# folder (dpkg-deb -x) and the capabilities are given to the unpacked helper, as the
# post-install script gives them to /usr/libexec/vantor/vantor-net-helper. With ROOT, a Debian
# root folder (one made by `debootstrap bookworm ROOT` is a fresh Debian 12), the package is
# installed there with `apt-get install ./vantor_*.deb`, which runs its post-install script,
# and the installed program is run in that root.
# Usage: sudo scripts/try-package.sh build/package/vantor_<version>_amd64.deb [ROOT]
set -euo pipefail
deb=$(realpath "$1")
root="${2:-}"
[ "$(id -u)" -eq 0 ] || { echo "try-package: needs root (namespaces, setcap)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
dpkg-deb -e "$deb" "$work/control"
capabilities=$(sed -n 's/^capabilities=//p' "$work/control/postinst")
helper_path=/usr/libexec/vantor/vantor-net-helper

if [ -z "$root" ]; then
    dpkg-deb -x "$deb" "$work/root"
    setcap "$capabilities" "$work/root$helper_path"
    tree=$(realpath "$work/root")
    program="$tree/usr/bin/vantor"
else
    root=$(realpath "$root")
    cp "$deb" "$root/tmp/"
    unshare --mount -- bash -c '
        set -euo pipefail
        mount -t proc proc "$0/proc"
        chroot "$0" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "/tmp/$1"
    ' "$root" "$(basename "$deb")"
    rm -f "$root/tmp/$(basename "$deb")"
    tree="$root"
    program=/usr/bin/vantor
fi

# The package's files as they lie in the tree: in a Debian root other packages' files carry
# capabilities of their own (ping's cap_net_raw), which are none of this package's business.
mapfile -t files < <(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -n 's|^\./\(.*[^/]\)$|\1|p')
held=$(cd "$tree" && getcap "${files[@]}")
echo "try-package: getcap of the package's files:"
sed 's/^/try-package:   /' <<<"$held"
status=0
others=$(grep -v "^${helper_path#/} " <<<"$held" || true)
if [ -n "$others" ]; then
    echo "try-package: files other than the helper hold capabilities: $others" >&2
    status=1
fi
# getcap writes "+ep" as "=ep".
grep -qx "${helper_path#/} ${capabilities/+/=}" <<<"$held" ||
    { echo "try-package: the helper does not hold $capabilities" >&2; status=1; }
((status == 0)) || exit 1

# In a mount namespace too, so that the root's /proc, /sys and /dev mounts vanish with it; in a
# PID namespace, so that any helper process found there is one this run started, and none
# outlives the namespace.
unshare --net --mount --pid --fork --mount-proc -- bash -c '
    set -euo pipefail
    root="$1" log="$2" program="$3" helper="$4"
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

    # Those of the PIDs given that run the helper.
    helpers() {
        local pid
        for pid in "$@"; do
            [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" != "$helper" ] || echo "$pid"
        done
    }

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
    # The program holds nothing: what needs a capability, its helper does.
    caps=$(grep -E "^Cap(Prm|Eff):" "/proc/$pid/status" 2>/dev/null || true)
    if [ -z "$caps" ]; then
        echo "try-package: the program ended before its capabilities were read" >&2
        status=1
    else
        sed "s/^/try-package: program /" <<<"$caps"
        if grep -Evq ":[[:space:]]+0+$" <<<"$caps"; then
            echo "try-package: the program holds capabilities" >&2
            status=1
        fi
    fi
    mapfile -t started < <(helpers $(pgrep -P "$pid" || true))
    if ((${#started[@]})); then
        ps -o pid=,user=,args= -p "$(IFS=,; echo "${started[*]}")" | sed "s/^/try-package: helper /"
        for child in "${started[@]}"; do
            getpcaps "$child" 2>&1 | sed "s/^/try-package: helper /" || true
        done
    else
        echo "try-package: the program runs no $helper" >&2
        status=1
    fi
    ss -lun | tee "$log.ports"
    for port in 67 69; do
        grep -Eq ":$port[[:space:]]" "$log.ports" ||
            { echo "try-package: port $port is not held" >&2; status=1; }
    done
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" || { echo "try-package: the program exited $?" >&2; status=1; }
    # The helper ends when its socket to the program closes, once it has removed what it
    # planted: give it a few seconds for that.
    for _ in $(seq 100); do
        left=$(helpers $(ps -e -o pid=))
        [ -n "$left" ] || break
        sleep 0.1
    done
    if [ -n "$left" ]; then
        echo "try-package: a helper outlived the program:" $left >&2
        status=1
    fi
    # Read once the program has ended: the warning may follow "Listening".
    if grep -q "is not allowed to" "$log"; then
        echo "try-package: the program warns about missing privileges" >&2
        status=1
    fi
    sed "s/^/vantor: /" "$log"
    exit "$status"
' try-package "$root" "$work/vantor.log" "$program" "$tree$helper_path"
echo "try-package: an ordinary user holds ports 67 and 69 in Recovery mode; only the helper" \
    "holds capabilities, and it ended with the program"
