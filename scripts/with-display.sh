#!/usr/bin/env bash
# Runs a command (a Windows program under Wine) with a display of its own: a
# private Xvfb, and a Wine session in a fresh WINEPREFIX (from the
# environment) begun on that display. Wine gives a working console only to a
# session that began with a display, so the session is this script's own,
# and ends with it.
# Usage: WINEPREFIX=<dir> [WINEARCH=win32|win64] with-display.sh <command> [args...]
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/e2e/lib.sh
. "$here/e2e/lib.sh"

[ $# -ge 1 ] || e2e_die "usage: WINEPREFIX=<dir> $0 <command> [args...]"
[ -n "${WINEPREFIX:-}" ] || e2e_die "WINEPREFIX not set"
e2e_require_tools

cleanup() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  e2e_stop_xvfb
}
trap cleanup EXIT

e2e_start_xvfb "$WINEPREFIX-xvfb.log"
export DISPLAY=$E2E_DISPLAY
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
# The session's services keep the output of the program that starts them:
# wineboot's goes to a file, so that nothing holds the caller's pipe open.
wineboot -i </dev/null >"$WINEPREFIX.log" 2>&1 || { cat "$WINEPREFIX.log" >&2; e2e_die "wineboot failed"; }
"$@" </dev/null
