# An unattended run with a log, as an installer starts it: no prompt, the
# typical end state, and a log that says what was done, entry by entry.
E2E_ARGS=(/quiet '/log:C:\vk logs.txt')
ANSWERS=()

seed() {
  seed_other_maker
  seed_reader_a
}

check() {
  expect_exit 0
  expect_prompts
  check_reader_a_removed
  expect_file present drivers vlkcomusb.sys
  expect_file present drivers vlkusbser.sys
  check_other_maker_untouched
  expect_log_entries "vk logs.txt"
  expect_log_line "vk logs.txt" "[INFO] : USB\\$READER_A (VID_C2B5&PID_000A) : périphérique sélectionné"
  expect_log_line "vk logs.txt" "[INFO] : USB\\$READER_A : périphérique supprimé"
  # Wine's store uninstall takes the INF file; the PNF is left to the deletion.
  expect_log_line "vk logs.txt" "[INFO] : oem12.inf : paquet de pilote retiré du magasin des pilotes"
  expect_log_line "vk logs.txt" "[INFO] : C:\\windows\\inf\\oem12.pnf : fichier effacé"
  expect_log_line "vk logs.txt" "[INFO] : vlkusbser : service désinstallé"
}
