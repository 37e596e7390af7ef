# An unattended pass with a backup, then an unattended restore from it: the
# pass removes reader A as usual and leaves its files, service and records in
# C:\b; the restore puts the files back with their bytes and the service back
# with its values, and touches neither the other maker's things nor the file
# that came back in between. Wine has no driver-store location, so the
# package is saved as its INF and PNF and copied back under their names.
E2E_ARGS=(/quiet '/backup:C:\b' '/log:C:\backup.txt')
ANSWERS=()

seed() {
  seed_other_maker
  seed_reader_a
}

backup_has() {
  if [ -f "$E2E_PREFIX/drive_c/b/$1" ]; then
    e2e_pass "backup holds $1"
  else
    e2e_fail "backup holds $1"
  fi
}

check() {
  local inf before_inf before_image after_image
  expect_exit 0
  expect_prompts
  check_reader_a_removed
  expect_file absent drivers vlkcomusb.sys
  check_other_maker_untouched
  backup_has manifest.txt
  backup_has files/inf/oem12.inf
  backup_has files/system32/drivers/vlkusbser.sys
  backup_has services/vlkusbser.reg
  backup_has services/vlkusbser.txt
  backup_has "devices/USB#${READER_A//\\/#}.reg"
  expect_log_line backup.txt "[INFO] : vlkusbser -> C:\\b\\services\\vlkusbser.reg : sauvegardé"

  # A driver file installed again before the restore stays as it is.
  printf 'newer' >"$(e2e_drivers_dir "$E2E_PREFIX")/vlkusbser.sys"
  inf=$(e2e_inf_dir "$E2E_PREFIX")
  before_inf=$(cat "$E2E_PREFIX/drive_c/b/files/inf/oem12.inf")
  E2E_ARGS=(/quiet '/restore:C:\b' '/log:C:\restore.txt')
  e2e_run_program "$E2E_PREFIX" "$exe" "$E2E_SHOTS" "$E2E_NAME-restore" "$probe"
  expect_exit 0
  expect_service present vlkusbser
  expect_file present inf oem12.inf
  expect_file present inf oem12.pnf
  expect_file present drivers vlkcomusb.sys
  if [ "$(cat "$inf/oem12.inf")" = "$before_inf" ] && [ "$(cat "$(e2e_drivers_dir "$E2E_PREFIX")/vlkcomusb.sys")" = "placeholder vlkcomusb.sys" ]; then
    e2e_pass "restored files have their bytes"
  else
    e2e_fail "restored files have their bytes"
  fi
  if [ "$(cat "$(e2e_drivers_dir "$E2E_PREFIX")/vlkusbser.sys")" = newer ]; then
    e2e_pass "a file that was there is not overwritten"
  else
    e2e_fail "a file that was there is not overwritten"
  fi
  for value in Type Start ErrorControl ImagePath; do
    if [ -n "$(e2e_reg_value "$E2E_PREFIX" 'HKLM\System\CurrentControlSet\Services\vlkusbser' "$value")" ]; then
      e2e_pass "service value back: $value"
    else
      e2e_fail "service value back: $value"
    fi
  done
  after_image=$(e2e_reg_value "$E2E_PREFIX" 'HKLM\System\CurrentControlSet\Services\vlkusbser' ImagePath)
  before_image='"ImagePath"="System32\\drivers\\vlkusbser.sys"'
  if [ "$after_image" = "$before_image" ]; then
    e2e_pass "ImagePath as it was"
  else
    e2e_fail "ImagePath as it was (got $after_image)"
  fi
  expect_log_line restore.txt "[INFO] : C:\\windows\\system32\\drivers\\vlkusbser.sys : déjà présent, ou jamais supprimé : laissé tel quel"
  check_other_maker_untouched
}
