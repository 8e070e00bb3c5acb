#!/usr/bin/env bash
# Installs what building and running Vantor needs, builds the program and its helper alone
# (no tests) into build/run, and starts it. Arguments are passed to the program (try --help).
# Under sudo the build runs as the user who called sudo: only apt-get and setcap run as root.
#
# Under sudo the program does not run as root, and holds no privilege: only the built network
# helper is given the network capabilities, as file capabilities (as the Debian package's
# helper is), and the program, which starts that helper itself, runs as the user who called
# sudo. So the web browser it opens for a device's page runs as that user, with the user's
# desktop session and without any privilege, and its log goes to that user's home.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh run
program=build/run/src/app/vantor
# Where the program looks for it: ../libexec/vantor/ beside itself.
helper=build/run/src/libexec/vantor/vantor-net-helper
capabilities=cap_net_bind_service,cap_net_admin,cap_net_raw+ep

if [ "$(id -u)" -ne 0 ] || [ "${SUDO_UID:-0}" -eq 0 ]; then
    exec "$program" "$@"
fi

# The kernel ignores file capabilities on a file system mounted nosuid.
if findmnt -n -o OPTIONS -T "$helper" | tr , '\n' | grep -qx nosuid ||
    ! setcap "$capabilities" "$helper"; then
    echo "run: cannot give $helper file capabilities here (nosuid mount, or no extended" >&2
    echo "run: attributes); build in another folder, or install the package (README)." >&2
    exit 1
fi

# Earlier versions of this script gave the program itself the capabilities, and a build that
# did not relink it still carries them; the program must run without.
if [ -n "$(getcap "$program")" ]; then
    setcap -r "$program"
fi

user=$(getent passwd "$SUDO_UID" | cut -d: -f1)
home=$(getent passwd "$SUDO_UID" | cut -d: -f6)
session=(HOME="$home" USER="$user" LOGNAME="$user")
# sudo keeps DISPLAY and XAUTHORITY but not the session's runtime folder and bus, which the
# browser and the desktop's URL handler look for.
runtime="/run/user/$SUDO_UID"
if [ -d "$runtime" ]; then
    session+=(XDG_RUNTIME_DIR="$runtime")
    [ -S "$runtime/bus" ] && session+=(DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/bus")
fi
# Not --no-new-privs: the helper's file capabilities would count for nothing under it.
exec setpriv --reuid="$SUDO_UID" --regid="$SUDO_GID" --init-groups -- \
    env "${session[@]}" "$program" "$@"
