#!/bin/sh
# Usage: check_libraries.sh BINARY...
# Fails when a binary would load a Qt 5 library (two Qt versions in one
# process break as soon as both are initialised) or does not load Qt 6 at
# all (then ldd did not tell us what it loads).
status=0
for binary in "$@"; do
    libraries=$(ldd "$binary") || { echo "ldd failed on $binary" >&2; status=1; continue; }
    if printf '%s\n' "$libraries" | grep -q 'libQt5'; then
        echo "$binary loads Qt 5:" >&2
        printf '%s\n' "$libraries" | grep 'libQt5' >&2
        status=1
    fi
    if ! printf '%s\n' "$libraries" | grep -q 'libQt6Core'; then
        echo "$binary does not load libQt6Core: unexpected ldd output" >&2
        status=1
    fi
done
[ $status -eq 0 ] && echo "no Qt 5 library in: $*"
exit $status
