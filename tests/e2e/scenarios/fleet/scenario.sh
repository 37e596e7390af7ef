# What a deployment engine does on a reader's workstation: its detection runs
# /check (traces left: status 1), its remediation runs /quiet /log /report,
# whose log and report land in the Windows Temp folder, and the detection
# that follows finds nothing left (status 0). Both reports are the real
# program's and must match the schema.
E2E_ARGS=(/check)
ANSWERS=()

seed() {
  seed_other_maker
  seed_reader_a
}

# Runs the program again in the same prefix, without prompts to answer.
run_again() {
  E2E_ARGS=("$@")
  e2e_run_program "$E2E_PREFIX" "$exe" "$E2E_SHOTS" "$E2E_NAME" "$probe"
  e2e_log "again with ${E2E_ARGS[*]}: status $E2E_EXIT"
}

expect_valid_report() {
  e2e_check "report $1 matches the schema" \
    python3 "$root/tests/report/validate.py" "$root/views/report.schema.json" "$E2E_PREFIX/drive_c/$1"
}

check() {
  expect_exit 1
  expect_prompts
  expect_stdout_line "Traces d'installation de lecteur VELKOR à nettoyer ; actions prévues : 5"
  expect_instance present "$READER_A"
  expect_service present vlkusbser

  run_again /quiet /log /report
  expect_exit 0
  expect_prompts
  check_reader_a_removed
  check_other_maker_untouched
  expect_log_line "windows/temp/VelkorUSBCleaner.log" "[INFO] : vlkusbser : service désinstallé"
  expect_valid_report "windows/temp/VelkorUSBCleaner.json"

  run_again /check '/report:C:\vk check.json'
  expect_exit 0
  expect_stdout_line "Aucune trace d'installation de lecteur VELKOR : rien à nettoyer."
  expect_valid_report "vk check.json"
}
