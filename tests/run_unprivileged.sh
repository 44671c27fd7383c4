#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a test program as the unprivileged user "nobody". Root writes through permission bits, so
# the save failures that rest on them only show their worth when run this way. Exits 77, which
# CTest reports as skipped, when there is nothing to add (not root) or no way to drop privilege.
set -u
if [ "$(id -u)" -ne 0 ]; then
  echo "already unprivileged: the normal run covers these tests"
  exit 77
fi
if ! command -v setpriv >/dev/null 2>&1; then
  echo "setpriv is missing: cannot drop privilege"
  exit 77
fi
drop="setpriv --reuid=65534 --regid=65534 --clear-groups"
if ! $drop test -x "$1"; then
  echo "user nobody cannot reach $1"
  exit 77
fi
cd /tmp && exec $drop env HOME=/tmp TMPDIR=/tmp "$@"
