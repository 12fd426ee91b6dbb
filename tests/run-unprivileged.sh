#!/bin/sh
# Runs a test as an unprivileged user when started as root: root ignores the permissions these cases are about.
if [ "$(id -u)" = 0 ]; then
    export HOME=/tmp
    # Wine will not use a prefix that another user owns; test.sh prepares one for the unprivileged user.
    [ -z "${UNPRIVILEGED_WINEPREFIX:-}" ] || export WINEPREFIX="$UNPRIVILEGED_WINEPREFIX"
    exec setpriv --reuid=65534 --regid=65534 --clear-groups "$@"
fi
exec "$@"
