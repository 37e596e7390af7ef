#!/usr/bin/env bash
# Demo: installs what is needed, builds the program, and runs it under Wine on
# a freshly seeded demo workstation, showing what is there before and after.
# With DISPLAY set the prompts appear on that display for you to answer;
# without one the demo starts its own Xvfb, answers OK itself and keeps
# screenshots of the prompts. Run as root: sudo bash scripts/demo.sh
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
# shellcheck source=e2e/lib.sh
. "$root/scripts/e2e/lib.sh"
# shellcheck source=../tests/e2e/scenarios/workstations.sh
. "$root/tests/e2e/scenarios/workstations.sh"
# shellcheck source=wine-loader.sh
. "$root/scripts/wine-loader.sh"

work=${VK_DEMO_DIR:-$root/build/demo}
exe="$root/dist/x64/VelkorUSBCleaner.exe"

echo "== Installing what is missing"
bash scripts/install-deps.sh all

echo "== Building"
# VK_DEMO_SKIP_BUILD=1 reuses an existing dist/x64 build.
if [ "${VK_DEMO_SKIP_BUILD:-0}" != 1 ] && [ -f scripts/build-windows.sh ]; then
  bash scripts/build-windows.sh
fi
[ -f "$exe" ] || e2e_die "$exe was not built"
vk_use_wine_loader "$root/build/wine-loader"

READER_UNPLUGGED='VID_C2B5&PID_000B\5&3a7f19&0&2'

# Two readers (one plugged in when it was last seen, one long gone: Windows
# keeps both instances), another maker's adapter, INF files of both makers and
# a reader INF left over from an older installation.
seed_demo() {
  seed_other_maker
  seed_reader_a
  seed_device "$READER_UNPLUGGED" Ports "$E2E_GUID_PORTS\\0004" usbser - \
    'USB\VID_C2B5&PID_000B&REV_0100' 'USB\VID_C2B5&PID_000B'
  seed_driver_key "$E2E_GUID_PORTS\\0004" Microsoft mdmcpq.inf
  seed_service usbser usbser.sys
  seed_file drivers usbser.sys
  seed_inf oem21.inf VELKOR 'USB\VID_C2B5&PID_000B' 'USB\VID_C2B5&PID_000C'
  seed_file inf oem21.pnf
  seed_inf oem30.inf Contoso 'USB\VID_045E&PID_0040'
  seed_file inf oem30.pnf
}

show_workstation() {
  local prefix=$1 svc f
  echo "  USB device instances (HKLM\\System\\CurrentControlSet\\Enum\\USB):"
  grep -i '^\[System\\\\CurrentControlSet\\\\Enum\\\\USB\\\\[^]\\]*\\\\[^]\\]*\]' "$prefix/system.reg" |
    sed 's/^\[System\\\\CurrentControlSet\\\\Enum\\\\USB\\\\//; s/\].*$//; s/\\\\/\\/g; s/^/    /' || echo "    (none)"
  echo "  Driver services:"
  for svc in vlkusbser vlkcomusb usbser ftdiser; do
    if e2e_reg_key_exists "$prefix" "HKLM\\System\\CurrentControlSet\\Services\\$svc"; then
      echo "    $svc"
    fi
  done
  echo "  OEM INF files (C:\\windows\\inf):"
  (cd "$(e2e_inf_dir "$prefix")" && ls oem*.inf oem*.pnf 2>/dev/null | sort -V | sed 's/^/    /') || true
  echo "  Reader driver files (C:\\windows\\system32\\drivers):"
  for f in vlkcomusb.sys vlkusbser.sys; do
    if [ -e "$(e2e_drivers_dir "$prefix")/$f" ]; then echo "    $f"; else echo "    $f (absent)"; fi
  done
}

E2E_PREFIX="$work/prefix"
shots="$work/screenshots"
cleanup() {
  e2e_wine_kill "$E2E_PREFIX"
  e2e_stop_xvfb
}
trap cleanup EXIT

echo "== Preparing a fresh Wine prefix with the demo workstation ($E2E_PREFIX)"
e2e_require_tools xwininfo flock
e2e_make_template "$work/template"
e2e_new_prefix "$work/template" "$E2E_PREFIX"
e2e_seed "$E2E_PREFIX" seed_demo

echo "== Before"
show_workstation "$E2E_PREFIX"

echo "== Dry run: VelkorUSBCleaner.exe /list (changes nothing, asks nothing)"
mkdir -p "$E2E_PREFIX/drive_c/VelkorUSBCleaner"
cp "$exe" "$E2E_PREFIX/drive_c/VelkorUSBCleaner/VelkorUSBCleaner.exe"
# The program writes Windows-1252; the terminal reads UTF-8.
e2e_wine "$E2E_PREFIX" 'C:\VelkorUSBCleaner\VelkorUSBCleaner.exe' /list </dev/null 2>/dev/null |
  iconv -f CP1252 -t UTF-8 | tr -d '\r' | sed 's/^/   | /'
e2e_wine_stop "$E2E_PREFIX"

echo "== Running VelkorUSBCleaner.exe /log:C:\\velkor-demo.log"
E2E_ARGS=('/log:C:\velkor-demo.log')
if [ -n "${DISPLAY:-}" ]; then
  echo "   The prompts appear on display $DISPLAY: answer them there."
  mkdir -p "$E2E_PREFIX/drive_c/VelkorUSBCleaner"
  cp "$exe" "$E2E_PREFIX/drive_c/VelkorUSBCleaner/VelkorUSBCleaner.exe"
  set +e
  E2E_RUN_DISPLAY=$DISPLAY e2e_wine "$E2E_PREFIX" 'C:\VelkorUSBCleaner\VelkorUSBCleaner.exe' "${E2E_ARGS[@]}" </dev/null
  status=$?
  set -e
  e2e_wine_stop "$E2E_PREFIX"
else
  e2e_start_xvfb "$work/xvfb.log"
  echo "   No DISPLAY: running on a private Xvfb ($E2E_DISPLAY) and pressing OK on each prompt."
  E2E_RUN_TIMEOUT=120 e2e_run_program "$E2E_PREFIX" "$exe" "$shots" demo "" Return Return
  e2e_stop_xvfb
  status=$E2E_EXIT
  echo "   $E2E_PROMPTS prompt(s) answered; screenshots: $shots/demo-prompt*.png"
fi

echo "== After"
show_workstation "$E2E_PREFIX"
echo "== What the pass logged (C:\\velkor-demo.log)"
iconv -f CP1252 -t UTF-8 "$E2E_PREFIX/drive_c/velkor-demo.log" | tr -d '\r' | sed 's/^/   | /'
echo "== Exit status: $status"
