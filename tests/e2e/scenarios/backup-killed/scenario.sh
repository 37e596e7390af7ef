# A /quiet /backup: pass over enough readers to take a few seconds, each with
# its own INF pair and service, is killed part-way by its pid (as a time-out,
# End task or a crash ends it); a /quiet /restore: from what it left then
# brings back every service and INF file it had deleted, with its bytes and
# values. The first run is a /check, which changes nothing.
E2E_ARGS=(/check)
ANSWERS=()
READERS=150
# Deletions the pass makes before it is killed: some, far from all.
KILL_AFTER=40

reader_slot() { printf '%04d' "$((100 + $1))"; }

seed() {
  local i slot
  seed_other_maker
  for i in $(seq 1 "$READERS"); do
    slot=$(reader_slot "$i")
    seed_device "VID_C2B5&PID_000A\\6&1b2c3d&0&$i" Ports "$E2E_GUID_PORTS\\$slot" "vlksvc$i" - \
      'USB\VID_C2B5&PID_000A&REV_0100' 'USB\VID_C2B5&PID_000A'
    seed_driver_key "$E2E_GUID_PORTS\\$slot" VELKOR "oem$slot.inf"
    seed_service "vlksvc$i" "vlksvc$i.sys"
    seed_inf "oem$slot.inf" VELKOR 'USB\VID_C2B5&PID_000A'
    seed_file inf "oem$slot.pnf" "pnf of reader $i"
  done
  mkdir -p "$E2E_PREFIX/seeded"
  cp "$(e2e_inf_dir "$E2E_PREFIX")"/oem0*.inf "$(e2e_inf_dir "$E2E_PREFIX")"/oem0*.pnf "$E2E_PREFIX/seeded/"
}

service_key() { printf 'HKLM\\System\\CurrentControlSet\\Services\\vlksvc%s' "$1"; }

# What is left of the readers' services and INF files: "gone" lists the ones
# absent, one a line.
readers_gone() {
  local i slot inf
  inf=$(e2e_inf_dir "$E2E_PREFIX")
  for i in $(seq 1 "$READERS"); do
    slot=$(reader_slot "$i")
    e2e_reg_key_exists "$E2E_PREFIX" "$(service_key "$i")" || echo "service vlksvc$i"
    [ -e "$inf/oem$slot.inf" ] || echo "file oem$slot.inf"
    [ -e "$inf/oem$slot.pnf" ] || echo "file oem$slot.pnf"
  done
}

# Starts the pass and kills it by its pid once the manifest says it has
# deleted KILL_AFTER items.
run_killed_backup() {
  local manifest="$E2E_PREFIX/drive_c/bk/manifest.txt" pid i deleted=0 started
  started=$(date +%s.%N)
  # Started without a shell function between, so that $! is the program's
  # own process (env and the wine script exec it).
  env -u DISPLAY WINEPREFIX="$E2E_PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    wine 'C:\VelkorUSBCleaner\VelkorUSBCleaner.exe' /quiet '/backup:C:\bk' \
    </dev/null >"$E2E_SHOTS/$E2E_NAME-killed-stdout.txt" 2>"$E2E_SHOTS/$E2E_NAME-killed.log" &
  pid=$!
  for i in $(seq 1 1200); do
    deleted=$(grep -c "	deleted	" "$manifest" 2>/dev/null || true)
    [ "${deleted:-0}" -ge "$KILL_AFTER" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  if kill -KILL "$pid" 2>/dev/null; then
    E2E_KILLED=yes
  else
    E2E_KILLED=no
  fi
  wait "$pid" 2>/dev/null || true
  e2e_log "killed the pass (pid $pid) after $(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }') s," \
    "$deleted deletions in its manifest"
  e2e_wine_stop "$E2E_PREFIX"
}

check() {
  local gone restored i slot inf value
  expect_exit 1
  run_killed_backup
  if [ "$E2E_KILLED" = yes ]; then
    e2e_pass "the pass was killed while it ran"
  else
    e2e_fail "the pass was killed while it ran (it had ended)"
  fi
  gone=$(readers_gone | wc -l)
  if [ "$gone" -gt 0 ] && [ "$gone" -lt $((3 * READERS)) ]; then
    e2e_pass "the killed pass had deleted part of the readers' services and files ($gone of $((3 * READERS)))"
  else
    e2e_fail "the killed pass had deleted part of the readers' services and files ($gone of $((3 * READERS)))"
  fi

  E2E_ARGS=(/quiet '/restore:C:\bk' '/log:C:\restore.txt')
  e2e_run_program "$E2E_PREFIX" "$exe" "$E2E_SHOTS" "$E2E_NAME-restore" "$probe"
  expect_exit 0
  restored=$(readers_gone)
  if [ -z "$restored" ]; then
    e2e_pass "every deleted service and INF file is back"
  else
    e2e_fail "every deleted service and INF file is back; still gone: $(printf '%s' "$restored" | head -5 | tr '\n' ' ')"
  fi
  inf=$(e2e_inf_dir "$E2E_PREFIX")
  for i in $(seq 1 "$READERS"); do
    slot=$(reader_slot "$i")
    cmp -s "$inf/oem$slot.inf" "$E2E_PREFIX/seeded/oem$slot.inf" && cmp -s "$inf/oem$slot.pnf" "$E2E_PREFIX/seeded/oem$slot.pnf" ||
      { e2e_fail "reader $i's INF pair has its bytes"; continue; }
    value=$(e2e_reg_value "$E2E_PREFIX" "$(service_key "$i")" ImagePath)
    [ "$value" = "\"ImagePath\"=\"System32\\\\drivers\\\\vlksvc$i.sys\"" ] ||
      e2e_fail "service vlksvc$i has its ImagePath (got $value)"
  done
  e2e_pass "checked the bytes of $READERS INF pairs and $READERS services' ImagePath"
  check_other_maker_untouched
}
