# The 32-bit program alone in its folder on 64-bit Windows: it says why it
# cannot clean, changes nothing and exits with 2.
ANSWERS=(Return)

seed() {
  seed_other_maker
  seed_reader_a
}

check() {
  expect_exit 2
  expect_prompts wow64
  expect_instance present "$READER_A"
  expect_key present "HKLM\\System\\CurrentControlSet\\Control\\Class\\$E2E_GUID_PORTS\\0003"
  expect_file present inf oem12.inf
  expect_file present inf oem12.pnf
  expect_service present vlkusbser
  expect_file present drivers vlkcomusb.sys
  expect_file present drivers vlkusbser.sys
  check_other_maker_untouched
}
