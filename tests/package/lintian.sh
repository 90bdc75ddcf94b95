#!/usr/bin/env bash
# lintian on the package that make deb built: every tag is shown, an error fails.
#   lintian.sh PACKAGE_DIR
set -u
deb=$(ls -t "$1"/lanvey_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { echo "no package in $1 (make deb)"; exit 1; }
echo "$deb ($(stat -c %s "$deb") bytes)"
dpkg-deb --field "$deb" Depends Recommends
# --display-info shows the notes below warnings as well; overrides are listed too.
lintian --fail-on error --display-info --show-overrides "$deb"
status=$?
[ $status -eq 0 ] && echo "lintian: no errors"
exit $status
