#!/usr/bin/env bash
# Checks a Debian package of Vantor: the files it must hold, its dependencies and post-install
# script, the desktop entry, the AppStream metainfo, the manual page, the icons, that the
# program starts, and lintian (errors fail; warnings are listed).
# Usage: scripts/check-package.sh build/package/vantor_<version>_amd64.deb
set -euo pipefail
deb="$1"
failures=0
fail() {
    echo "check-package: $*" >&2
    failures=$((failures + 1))
}

sizes=(16 22 24 32 48 64 128 256)
expected=(
    ./usr/bin/vantor
    ./usr/libexec/vantor/vantor-net-helper
    ./usr/share/applications/org.vantor.Vantor.desktop
    ./usr/share/metainfo/org.vantor.Vantor.metainfo.xml
    ./usr/share/man/man1/vantor.1.gz
    ./usr/share/doc/vantor/copyright
    ./usr/share/doc/vantor/changelog.gz
)
for size in "${sizes[@]}"; do
    expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/vantor.png")
done

listing=$(dpkg-deb -c "$deb")
echo "$listing"
for path in "${expected[@]}"; do
    grep -q " $path\$" <<<"$listing" || fail "$path is missing"
done
for path in /usr/bin/vantor /usr/libexec/vantor/vantor-net-helper; do
    grep -q "^-rwxr-xr-x root/root .* \.$path\$" <<<"$listing" ||
        fail "$path is not an executable owned by root"
done

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# The two tools the program runs, and what shlibdeps finds for the libraries it links.
names=$(sed -E 's/ \([^)]*\)//g; s/, /\n/g' <<<"$depends")
for package in libcap2-bin iproute2 libc6 libstdc++6 libqt6widgets6; do
    grep -Fqx "$package" <<<"$names" || fail "Depends lacks $package"
done

recommends=$(dpkg-deb -f "$deb" Recommends)
echo "Recommends: $recommends"
# xdg-open opens a device's web page; without it the banner's click finds no browser.
grep -Eq '(^|, )xdg-utils( |,|$)' <<<"$recommends" || fail "Recommends lacks xdg-utils"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"
dpkg-deb -e "$deb" "$work/control"
grep -q '^capabilities=cap_net_bind_service,cap_net_admin,cap_net_raw+ep$' \
    "$work/control/postinst" || fail "postinst does not grant the three capabilities"
grep -q '^helper=/usr/libexec/vantor/vantor-net-helper$' "$work/control/postinst" ||
    fail "postinst does not name the helper"
grep -q '^[^#]*setcap "$capabilities" "$helper"' "$work/control/postinst" ||
    fail "postinst does not give the helper the capabilities"
# The helper alone holds them: every other setcap of the postinst takes capabilities away.
granting=$(grep -E '^[^#]*\bsetcap\b' "$work/control/postinst" | grep -v -- 'setcap -r ' |
    grep -Fv 'setcap "$capabilities" "$helper"' || true)
[ -z "$granting" ] || fail "postinst grants capabilities to something else: $granting"

desktop-file-validate "$work/root/usr/share/applications/org.vantor.Vantor.desktop" ||
    fail "desktop-file-validate"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/org.vantor.Vantor.metainfo.xml" ||
    fail "appstreamcli validate"
man_warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
    man --warnings -E UTF-8 -l "$work/root/usr/share/man/man1/vantor.1.gz" 2>&1 >/dev/null)
[ -z "$man_warnings" ] || fail "man page: $man_warnings"
for size in "${sizes[@]}"; do
    png="$work/root/usr/share/icons/hicolor/${size}x${size}/apps/vantor.png"
    [ ! -f "$png" ] || file "$png" | grep -q "PNG image data, $size x $size," ||
        fail "$png is not a $size x $size PNG"
done
# The program's libraries resolve and its command line works (no display needed).
"$work/root/usr/bin/vantor" --help >/dev/null || fail "vantor --help failed"

if command -v lintian >/dev/null; then
    lintian --fail-on error --display-info "$deb" || fail "lintian reports errors"
fi

if ((failures)); then
    echo "check-package: $failures failures" >&2
    exit 1
fi
echo "check-package: $deb is complete"
