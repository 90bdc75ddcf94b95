#!/usr/bin/env bash
# Each manual page formatted the way lintian checks it: any warning of man or groff
# (an unknown macro, a line that cannot be set) fails.
set -u
status=0
for page in "$@"; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
    if [ -n "$warnings" ]; then
        echo "$page:"
        echo "$warnings"
        status=1
    else
        echo "$page: no warnings"
    fi
done
exit $status
