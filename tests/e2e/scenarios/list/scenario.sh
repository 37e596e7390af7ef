# A dry run on a reader's workstation with an orphan reader INF: it prints the
# reader, its INF and its service and each action, asks nothing and changes
# nothing.
E2E_ARGS=(/list)
ANSWERS=()

seed() {
  seed_other_maker
  seed_reader_a
  seed_inf oem21.inf VELKOR 'USB\VID_C2B5&PID_000C'
  seed_file inf oem21.pnf
}

check() {
  expect_exit 0
  expect_prompts
  expect_stdout_line "Lecteurs sélectionnés : 1"
  expect_stdout_line "  USB\\$READER_A"
  expect_stdout_line "    ID matériel : VID_C2B5&PID_000A"
  expect_stdout_line "    Classe : Ports"
  expect_stdout_line "    Fichier .inf : oem12.inf"
  expect_stdout_line "    Service : vlkusbser"
  expect_stdout_line "  1. supprimer le périphérique USB\\$READER_A"
  # The store is asked first; whatever it leaves, the deletions remove.
  expect_stdout_line "  2. retirer du magasin des pilotes le paquet oem12.inf"
  expect_stdout_line "  3. effacer le fichier C:\\windows\\inf\\oem12.inf"
  expect_stdout_line "  4. effacer le fichier C:\\windows\\inf\\oem12.pnf"
  expect_stdout_line "  5. désinstaller le service vlkusbser"
  expect_stdout_line "Nombre d'actions : 5"
  # Nothing changed.
  expect_instance present "$READER_A"
  expect_key present "HKLM\\System\\CurrentControlSet\\Control\\Class\\$E2E_GUID_PORTS\\0003"
  expect_service present vlkusbser
  expect_file present inf oem12.inf
  expect_file present inf oem12.pnf
  expect_file present inf oem21.inf
  expect_file present drivers vlkcomusb.sys
  expect_file present drivers vlkusbser.sys
  check_other_maker_untouched
}
