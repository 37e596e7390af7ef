#!/usr/bin/env bash
# What /backup costs: the whole unattended pass over READERS readers (200 by
# default), each with its own INF pair and service, with /backup:C:\bk and
# without, under Wine, from the same seeded prefix copied afresh for every
# run; ROUNDS (5 by default) of each, alternating which goes first. Prints
# each run's wall-clock time and the ratio of the medians.
# Usage: bench-backup.sh <VelkorUSBCleaner.exe> <work dir>
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
exe=$(realpath "$1")
work=$(mkdir -p "$2" && cd "$2" && pwd)
readers=${READERS:-200}
rounds=${ROUNDS:-5}
# shellcheck source=scripts/e2e/lib.sh
. "$here/e2e/lib.sh"
# shellcheck source=/dev/null
. "$here/../tests/e2e/scenarios/workstations.sh"

seed() {
  local i slot
  for i in $(seq 1 "$readers"); do
    slot=$(printf '%04d' "$((100 + i))")
    seed_device "VID_C2B5&PID_000A\\6&1b2c3d&0&$i" Ports "$E2E_GUID_PORTS\\$slot" "vlksvc$i" - \
      'USB\VID_C2B5&PID_000A&REV_0100' 'USB\VID_C2B5&PID_000A'
    seed_driver_key "$E2E_GUID_PORTS\\$slot" VELKOR "oem$slot.inf"
    seed_service "vlksvc$i" "vlksvc$i.sys"
    seed_inf "oem$slot.inf" VELKOR 'USB\VID_C2B5&PID_000A'
    seed_file inf "oem$slot.pnf" "pnf of reader $i"
  done
}

seeded="$work/seeded-$readers"
if [ ! -f "$seeded/.seeded" ]; then
  e2e_make_template "$work/template"
  e2e_new_prefix "$work/template" "$seeded"
  E2E_PREFIX=$seeded
  e2e_seed "$seeded" seed
  mkdir -p "$seeded/drive_c/VelkorUSBCleaner"
  touch "$seeded/.seeded"
fi

# One pass in a fresh copy of the seeded prefix: its wall-clock seconds.
run_pass() {
  local prefix="$work/run" started ended
  e2e_new_prefix "$seeded" "$prefix"
  cp "$exe" "$prefix/drive_c/VelkorUSBCleaner/VelkorUSBCleaner.exe"
  started=$(date +%s.%N)
  e2e_wine "$prefix" 'C:\VelkorUSBCleaner\VelkorUSBCleaner.exe' /quiet "$@" </dev/null >/dev/null 2>&1 || true
  ended=$(date +%s.%N)
  e2e_wine_kill "$prefix"
  if [ $# -gt 0 ] && [ ! -f "$prefix/drive_c/bk/manifest.txt" ]; then
    echo "no manifest written: the backup pass did not run" >&2
    exit 1
  fi
  awk -v a="$started" -v b="$ended" 'BEGIN { printf "%.2f", b - a }'
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

plain=()
backup=()
for round in $(seq 1 "$rounds"); do
  if [ $((round % 2)) = 1 ]; then
    plain+=("$(run_pass)")
    backup+=("$(run_pass '/backup:C:\bk')")
  else
    backup+=("$(run_pass '/backup:C:\bk')")
    plain+=("$(run_pass)")
  fi
  echo "round $round: /quiet ${plain[-1]} s, /quiet /backup:C:\\bk ${backup[-1]} s"
done
rm -rf "$work/run"
p=$(median "${plain[@]}")
b=$(median "${backup[@]}")
echo "$readers readers: /quiet median $p s, /quiet /backup:C:\\bk median $b s, ratio $(awk -v p="$p" -v b="$b" 'BEGIN { printf "%.2f", b / p }')"
