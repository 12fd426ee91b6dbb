#!/bin/sh
# Runs a QtTest executable under Wine and prints its report, which QtTest writes through OutputDebugString there.
report=$(mktemp /tmp/qtest.XXXXXX)
/usr/lib/wine/wine64 "$@" -o "$report,txt"
status=$?
tr -d '\r' <"$report"
rm -f "$report"
exit $status
