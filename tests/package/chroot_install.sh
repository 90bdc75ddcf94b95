#!/usr/bin/env bash
# The package installed into a clean Debian 12 chroot (mmdebstrap, the chroot thrown
# away afterwards), its programs started there, then purged: nothing of it may be left.
# Without root, mmdebstrap or the Debian mirror the check cannot run: it says so and is
# skipped (exit status 77), it does not fail.
#   chroot_install.sh PACKAGE_DIR
set -euo pipefail

skip() {
    echo "SKIPPED: $*"
    exit 77
}

deb=$(ls -t "$1"/lanvey_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { echo "no package in $1 (make deb)"; exit 1; }
[ "$(id -u)" = 0 ] || skip "a chroot needs root"
command -v mmdebstrap >/dev/null || skip "mmdebstrap is not installed (make deps)"

mirror=http://deb.debian.org/debian
security=http://deb.debian.org/debian-security
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/lib/apt/apt-helper download-file "$mirror/dists/bookworm/Release" "$work/Release" \
    >/dev/null 2>&1 || skip "the Debian mirror $mirror cannot be reached"

cp "$deb" "$work/lanvey.deb"
# Runs inside mmdebstrap's customize step, with the chroot as $1 and /proc and /dev
# mounted in it.
cat >"$work/check" <<'CHECK'
#!/bin/bash
set -euo pipefail
root=$1
inroot() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }

echo "--- install"
# Depends alone must be enough to run every program.
inroot apt-get install -y -q --no-install-recommends /tmp/lanvey.deb
inroot dpkg-query -W -f='${Package} ${Version} ${Status}\n' lanvey
inroot dpkg -L lanvey >"$root/tmp/files"

echo "--- programs"
inroot lanvey-scan --version
inroot lanvey-db --help >/dev/null
# The postinst gives the helper its capability (the chroot's file system holds it).
caps=$(inroot getcap /usr/lib/lanvey/lanvey-arp || true)
echo "capability: $caps"
case "$caps" in
    *cap_net_raw=ep*) ;;
    *) echo "the postinst did not give /usr/lib/lanvey/lanvey-arp cap_net_raw+ep"; exit 1 ;;
esac
# The window offscreen, for three seconds: it must still run then (timeout's 124),
# which it cannot without every library the package depends on. It runs as a user, as
# it would on a desktop; all it writes goes to that user's home.
mkdir -p "$root/tmp/home"
chroot "$root" chown nobody:nogroup /tmp/home
set +e
inroot setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env HOME=/tmp/home QT_QPA_PLATFORM=offscreen timeout 3 lanvey
rc=$?
set -e
[ $rc = 124 ] || { echo "the window ended with status $rc within 3 s"; exit 1; }
echo "the window ran for 3 s; it wrote:"
(cd "$root/tmp/home" && find . -mindepth 1 | sort)
rm -rf "$root/tmp/home"

echo "--- purge"
inroot apt-get purge -y -q lanvey
left=0
while read -r path; do
    # Folders that other packages share (/usr, /usr/share/man/man1, ...) stay.
    if [ -d "$root$path" ] && [ ! -L "$root$path" ]; then
        case $path in *lanvey*) ;; *) continue ;; esac
    fi
    if [ -e "$root$path" ] || [ -L "$root$path" ]; then
        echo "left behind: $path"
        left=1
    fi
done <"$root/tmp/files"
rm -f "$root/tmp/files" "$root/tmp/lanvey.deb"
found=$(find "$root" -xdev \( -iname '*lanvey*' -o -iname '*norvane*' \) \
    -not -path "$root/proc/*" 2>/dev/null || true)
if [ -n "$found" ]; then
    echo "left behind:"
    echo "$found"
    left=1
fi
[ $left = 0 ] && echo "purge left nothing of the package behind"
exit $left
CHECK
chmod +x "$work/check"

start=$(date +%s)
mmdebstrap --variant=apt --quiet \
    --customize-hook="copy-in $work/lanvey.deb /tmp" \
    --customize-hook="$work/check \"\$1\"" \
    bookworm /dev/null \
    "deb $mirror bookworm main" "deb $mirror bookworm-updates main" \
    "deb $security bookworm-security main"
echo "chroot check took $(($(date +%s) - start)) s"
