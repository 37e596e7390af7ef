# Cancel on the first prompt: exit 1 and the workstation is left as it was.
ANSWERS=(Escape)

seed() {
  seed_other_maker
  seed_reader_a
}

check() {
  expect_exit 1
  expect_prompts first
  expect_instance present "$READER_A"
  expect_key present "HKLM\\System\\CurrentControlSet\\Control\\Class\\$E2E_GUID_PORTS\\0003"
  expect_file present inf oem12.inf
  expect_file present inf oem12.pnf
  expect_service present vlkusbser
  expect_file present drivers vlkcomusb.sys
  expect_file present drivers vlkusbser.sys
  check_other_maker_untouched
}
