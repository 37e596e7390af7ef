# An unattended pass with a backup, then an unattended restore from it: the
# pass removes reader A as usual and leaves its files, service and records in
# C:\b; the restore puts the INF back with its bytes and the service back
# with its values, and touches neither the other maker's things nor the PNF
# that came back in between. Wine has no driver-store location, so the
# package is saved as its INF and PNF and copied back under their names.
E2E_ARGS=(/quiet '/backup:C:\b' '/log:C:\backup.txt')
ANSWERS=()

seed() {
  seed_other_maker
  seed_reader_a
}

# The system.reg line of one of the service's values, empty when absent.
service_value() {
  SECTION='[system\\currentcontrolset\\services\\vlkusbser]' NAME="\"$1\"=" awk '
    /^\[/ { cur = tolower($0); sub(/\] [0-9]+$/, "]", cur); inside = (cur == ENVIRON["SECTION"]); next }
    inside && index($0, ENVIRON["NAME"]) == 1 { print; exit }
  ' "$E2E_PREFIX/system.reg"
}

backup_has() {
  if [ -n "$(find "$E2E_PREFIX/drive_c/b" -ipath "$E2E_PREFIX/drive_c/b/$1" 2>/dev/null)" ]; then
    e2e_pass "backup holds $1"
  else
    e2e_fail "backup holds $1"
  fi
}

check() {
  local inf before_inf before_image after_image value
  expect_exit 0
  expect_prompts
  check_reader_a_removed
  check_other_maker_untouched
  backup_has manifest.txt
  backup_has files/inf/oem12.inf
  backup_has files/inf/oem12.pnf
  backup_has services/vlkusbser.reg
  backup_has services/vlkusbser.txt
  backup_has "devices/USB#${READER_A//\\/#}.reg"
  expect_log_line backup.txt "[INFO] : vlkusbser -> services\\vlkusbser.reg : sauvegardé"

  # A file that came back before the restore stays as it is.
  inf=$(e2e_inf_dir "$E2E_PREFIX")
  printf 'newer' >"$inf/oem12.pnf"
  before_inf=$(cat "$E2E_PREFIX/drive_c/b/files/inf/oem12.inf")
  E2E_ARGS=(/quiet '/restore:C:\b' '/log:C:\restore.txt')
  e2e_run_program "$E2E_PREFIX" "$exe" "$E2E_SHOTS" "$E2E_NAME-restore" "$probe"
  expect_exit 0
  expect_service present vlkusbser
  expect_file present inf oem12.inf
  expect_file present inf oem12.pnf
  if [ "$(cat "$inf/oem12.inf")" = "$before_inf" ]; then
    e2e_pass "the restored INF has its bytes"
  else
    e2e_fail "the restored INF has its bytes"
  fi
  if [ "$(cat "$inf/oem12.pnf")" = newer ]; then
    e2e_pass "a file that was there is not overwritten"
  else
    e2e_fail "a file that was there is not overwritten"
  fi
  for value in Type Start ErrorControl ImagePath; do
    if [ -n "$(service_value "$value")" ]; then
      e2e_pass "service value back: $value"
    else
      e2e_fail "service value back: $value"
    fi
  done
  after_image=$(service_value ImagePath)
  before_image='"ImagePath"="System32\\drivers\\vlkusbser.sys"'
  if [ "$after_image" = "$before_image" ]; then
    e2e_pass "ImagePath as it was"
  else
    e2e_fail "ImagePath as it was (got $after_image)"
  fi
  expect_log_line restore.txt "[INFO] : C:\\windows\\inf\\oem12.pnf : déjà présent, ou jamais supprimé : laissé tel quel"
  check_other_maker_untouched
}
