# An unattended run that asks for a restore point, as a cautious installer
# starts it: Wine has no System Restore (its SRSetRestorePointW fails without
# a status), so the log says the point could not be made and the pass goes on
# as without it; the run's event goes to the Application log, under a source
# registered on first use, and Wine's ReportEventW traces its text.
E2E_ARGS=(/quiet /restorepoint '/log:C:\vk rp.log')
E2E_WINEDEBUG=+eventlog
ANSWERS=()

seed() {
  seed_other_maker
  seed_reader_a
}

check() {
  expect_exit 0
  expect_prompts
  check_reader_a_removed
  check_other_maker_untouched
  expect_log_line "vk rp.log" "[ERROR] : Nettoyage des lecteurs VELKOR : le point de restauration ne peut être créé (ce système n'offre pas la Restauration du système) ; le nettoyage continue sans lui"
  expect_log_line "vk rp.log" "[INFO] : USB\\$READER_A : périphérique supprimé"
  local key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\VelkorUSBCleaner'
  expect_key present "$key"
  # REG_EXPAND_SZ, which system.reg writes as str(2).
  local file
  file=$(e2e_reg_value "$E2E_PREFIX" "$key" EventMessageFile)
  e2e_check "the source's message file is Windows' EventCreate.exe (got: $file)" \
    test "$file" = '"EventMessageFile"=str(2):"%SystemRoot%\\System32\\EventCreate.exe"'
  e2e_check "the source takes the three levels" \
    test "$(e2e_reg_value "$E2E_PREFIX" "$key" TypesSupported)" = '"TypesSupported"=dword:00000007'
  # Wine writes characters past ASCII as \xxxx; the point that was not made
  # makes the event a warning.
  expect_stderr_text 'warn:eventlog:ReportEventW L"Nettoyage des lecteurs VELKOR termin\00e9 ; des \00e9l\00e9ments ont'
  expect_stderr_text 'code de sortie 0. Lecteurs s\00e9lectionn\00e9s : 1. '
}
