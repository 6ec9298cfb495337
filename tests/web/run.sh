#!/bin/sh
# The page in headless Chromium: the built site served from 127.0.0.1 and driven through
# its test hook, its results compared with the desktop program's headless runs.
#
#   run.sh SITE_DIR
# NEVEMULATOR names the desktop program (default build/nevemulator of this tree); the
# demos it runs are the GAMES folder beside it. playwright-core is installed into
# tests/web/node_modules from the lock file when missing; the browser is Debian's
# /usr/bin/chromium. The picture of the page for the README is written to page.png beside
# SITE_DIR.
set -eu
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
[ $# -eq 1 ] || { echo "usage: $0 SITE_DIR" >&2; exit 2; }
SITE=$(cd "$1" 2>/dev/null && pwd) || { echo "$0: no site at $1: build it with make web" >&2; exit 1; }
[ -f "$SITE/index.html" ] || { echo "$0: $SITE has no index.html: build it with make web" >&2; exit 1; }
PROGRAM=${NEVEMULATOR:-$ROOT/build/nevemulator}
case $PROGRAM in /*) ;; *) PROGRAM=$(pwd)/$PROGRAM ;; esac
[ -x "$PROGRAM" ] || { echo "$0: the desktop program $PROGRAM is missing: build it with make build (or set NEVEMULATOR)" >&2; exit 1; }
GAMES=$(dirname "$PROGRAM")/GAMES
[ -d "$GAMES" ] || { echo "$0: the demos are missing beside the program ($GAMES)" >&2; exit 1; }
[ -x /usr/bin/chromium ] || { echo "$0: /usr/bin/chromium is missing: scripts/install-deps.sh --web installs it" >&2; exit 1; }

if [ ! -d "$HERE/node_modules/playwright-core" ]; then
    (cd "$HERE" && npm ci --no-audit --no-fund) || { echo "$0: npm ci failed in $HERE" >&2; exit 1; }
fi

cd "$HERE"
SITE_DIR=$SITE NEVEMULATOR=$PROGRAM GAMES_DIR=$GAMES PAGE_PICTURE=$(dirname "$SITE")/page.png \
    exec node --test --test-concurrency=1 ./*.test.mjs
