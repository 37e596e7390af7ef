#!/usr/bin/env bash
# Runs one end-to-end scenario of VelkorUSBCleaner.exe under Wine and checks
# the workstation it leaves behind.
# Usage: run-scenario.sh <scenario> <VelkorUSBCleaner.exe> <work dir> [dialog_probe.exe]
# E2E_WINEARCH=win32 runs it in a 32-bit prefix (default win64); the work dir
# keeps one template prefix, so give each architecture its own.
# Scenarios live in tests/e2e/scenarios/<scenario>/scenario.sh: ANSWERS (keys
# for the prompts), seed (builds the workstation) and check (its end state).
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=lib.sh
. "$here/lib.sh"

[ $# -ge 3 ] || e2e_die "usage: $0 <scenario> <exe> <work dir> [dialog_probe.exe]"
E2E_NAME=$1
exe=$(realpath "$2")
work=$(mkdir -p "$3" && cd "$3" && pwd)
probe=${4:-}
scenario_dir="$root/tests/e2e/scenarios/$E2E_NAME"

[ -f "$scenario_dir/scenario.sh" ] || e2e_die "unknown scenario '$E2E_NAME' (no $scenario_dir/scenario.sh)"
[ -f "$exe" ] || e2e_die "program not found: $exe"
e2e_require_tools xwininfo flock

# Without the probe the prompt texts cannot be checked, so build it when the
# caller did not pass one.
if [ -z "$probe" ]; then
  probe="$work/dialog_probe.exe"
  if [ ! -f "$probe" ] || [ "$root/tests/e2e/dialog_probe.cpp" -nt "$probe" ]; then
    case ${E2E_WINEARCH:-win64} in
      win32) cxx=i686-w64-mingw32-g++-posix ;;
      *) cxx=x86_64-w64-mingw32-g++-posix ;;
    esac
    command -v "$cxx" >/dev/null ||
      e2e_die "no dialog probe given and no MinGW compiler to build one (scripts/install-deps.sh windows)"
    "$cxx" -std=c++17 -O1 -static -o "$probe.tmp$$" "$root/tests/e2e/dialog_probe.cpp" ||
      e2e_die "could not build the dialog probe"
    mv "$probe.tmp$$" "$probe"
  fi
fi
probe=$(realpath "$probe")

ANSWERS=(Return Return)
E2E_ARGS=()
# shellcheck source=/dev/null
. "$root/tests/e2e/scenarios/workstations.sh"
# shellcheck source=/dev/null
. "$scenario_dir/scenario.sh"
declare -F seed >/dev/null || e2e_die "scenario $E2E_NAME defines no seed function"
declare -F check >/dev/null || e2e_die "scenario $E2E_NAME defines no check function"

E2E_PREFIX="$work/$E2E_NAME/prefix"
E2E_SHOTS="$work/screenshots"
mkdir -p "$E2E_SHOTS"
rm -f "$E2E_SHOTS/$E2E_NAME"-prompt*

cleanup() {
  e2e_wine_kill "$E2E_PREFIX"
  e2e_stop_xvfb
}
trap cleanup EXIT

started=$SECONDS
e2e_require_tools
e2e_make_template "$work/template"
# Wine's 64-bit loader sometimes dies in glibc's own exit code ("Inconsistency
# detected by ld.so", status 127) on a loaded machine: a crash of the Linux
# side, not of the program, so the scenario is run once more from a fresh
# prefix, and says so. Any other failure stands.
for attempt in 1 2; do
  e2e_new_prefix "$work/template" "$E2E_PREFIX"
  e2e_seed "$E2E_PREFIX" seed
  e2e_start_xvfb "$work/$E2E_NAME/xvfb.log"
  e2e_log "scenario $E2E_NAME on display $E2E_DISPLAY, answers: ${ANSWERS[*]}"
  e2e_run_program "$E2E_PREFIX" "$exe" "$E2E_SHOTS" "$E2E_NAME" "$probe" "${ANSWERS[@]}"
  e2e_stop_xvfb
  e2e_log "program ended with status $E2E_EXIT after $E2E_PROMPTS prompt(s)"
  if [ "$attempt" = 1 ] && [ "$E2E_EXIT" = 127 ] &&
    grep -q 'Inconsistency detected by ld.so' "$E2E_SHOTS/$E2E_NAME-program.log" 2>/dev/null; then
    e2e_log "Wine's loader crashed in ld.so (not the program): running $E2E_NAME once more from a fresh prefix"
    e2e_wine_kill "$E2E_PREFIX"
    rm -rf "$E2E_PREFIX"
    continue
  fi
  break
done

echo "[e2e] $E2E_NAME: end state"
check
e2e_log "scenario took $((SECONDS - started))s"
if e2e_finish; then
  # A prefix is over a gigabyte: only a failed scenario's is kept to look into.
  e2e_wine_kill "$E2E_PREFIX"
  rm -rf "$E2E_PREFIX"
  exit 0
fi
exit 1
