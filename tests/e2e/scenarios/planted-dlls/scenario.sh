# Fifteen DLLs that Windows programs commonly load, each built to leave a
# marker when loaded, put beside the program, and Windows' search order given
# to Wine for those names (Wine otherwise takes its own copies): whatever the
# switch, none of them is loaded. The control, a program that loads them by
# their bare names from the same folder, shows that each would be.
PLANTED=(version uxtheme dwmapi cfgmgr32 srclient newdev profapi cryptbase wintrust msimg32 dbghelp userenv
  wtsapi32 netapi32 devobj)
E2E_DLL_OVERRIDES="$(IFS=,; printf '%s' "${PLANTED[*]}")=n,b"
E2E_ARGS=(/check)
ANSWERS=()

seed() {
  local app="$E2E_PREFIX/drive_c/VelkorUSBCleaner" name
  [ -f "${E2E_PLANTED_DLL:-}" ] || e2e_die "no planted DLL (E2E_PLANTED_DLL)"
  seed_other_maker
  seed_reader_a
  mkdir -p "$app"
  for name in "${PLANTED[@]}"; do
    cp "$E2E_PLANTED_DLL" "$app/$name.dll"
  done
}

# No marker of a planted DLL after the run named $1; the markers are removed.
expect_none_loaded() {
  local markers
  markers=$(cd "$E2E_PREFIX/drive_c" && ls planted-*.txt 2>/dev/null | tr '\n' ' ')
  if [ -z "$markers" ]; then
    e2e_pass "$1: no planted DLL loaded"
  else
    e2e_fail "$1: planted DLLs loaded: $markers"
  fi
  rm -f "$E2E_PREFIX/drive_c"/planted-*.txt
}

# run NAME ANSWER... -- ARG...: one more run of the program.
run() {
  local name=$1 answers=()
  shift
  while [ $# -gt 0 ] && [ "$1" != -- ]; do
    answers+=("$1")
    shift
  done
  shift
  E2E_ARGS=("$@")
  e2e_run_program "$E2E_PREFIX" "$exe" "$E2E_SHOTS" "$E2E_NAME-$name" "$probe" ${answers[@]+"${answers[@]}"}
}

check() {
  local backup app="$E2E_PREFIX/drive_c/VelkorUSBCleaner" name markers=0
  expect_exit 1
  expect_none_loaded /check
  run list -- /list
  expect_exit 0
  expect_none_loaded /list
  e2e_start_xvfb "$E2E_SHOTS/$E2E_NAME-xvfb.log"
  run help Return -- '/?'
  expect_exit 0
  expect_none_loaded '/?'
  # Attended, with the log, the report and a backup in their default places.
  run pass Return Return -- /log /report /backup
  expect_exit 0
  if [ "$E2E_PROMPTS" = 2 ]; then e2e_pass "both prompts shown"; else e2e_fail "both prompts shown (got $E2E_PROMPTS)"; fi
  check_reader_a_removed
  expect_none_loaded '/log /report /backup, with its prompts'
  e2e_stop_xvfb
  # A restore point loads System Restore's srclient.dll and COM.
  run quiet -- /quiet /restorepoint
  expect_exit 0
  expect_none_loaded '/quiet /restorepoint'
  backup=$(ls -d "$E2E_PREFIX/drive_c/ProgramData/VelkorUSBCleaner/Backup"/* 2>/dev/null | head -n 1)
  if [ -z "$backup" ]; then
    e2e_fail "the backup is in ProgramData"
    return
  fi
  backup="C:\\ProgramData\\VelkorUSBCleaner\\Backup\\${backup##*/}"
  run restore-plan -- /list "/restore:$backup"
  expect_exit 0
  expect_none_loaded '/list /restore:'
  run restore -- /quiet "/restore:$backup" '/log:C:\restore.txt' /report
  expect_exit 0
  expect_service present vlkusbser
  expect_none_loaded '/quiet /restore:'

  # The control: each planted DLL is live in that folder under that order.
  cp "$E2E_PLANTED_CONTROL" "$app/control.exe"
  e2e_wine "$E2E_PREFIX" 'C:\VelkorUSBCleaner\control.exe' "${PLANTED[@]/%/.dll}" >/dev/null 2>&1
  e2e_wine_stop "$E2E_PREFIX"
  for name in "${PLANTED[@]}"; do
    [ -f "$E2E_PREFIX/drive_c/planted-$name.dll.txt" ] && markers=$((markers + 1))
  done
  if [ "$markers" = "${#PLANTED[@]}" ]; then
    e2e_pass "the control loads all ${#PLANTED[@]} planted DLLs by name"
  else
    e2e_fail "the control loads all ${#PLANTED[@]} planted DLLs by name (only $markers)"
  fi
  rm -f "$E2E_PREFIX/drive_c"/planted-*.txt
}
