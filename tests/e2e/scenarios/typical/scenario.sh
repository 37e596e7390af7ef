# One reader installed by oem12.inf next to another maker's device: the
# reader, its INF pair and its service go; nothing else changes.
ANSWERS=(Return Return)

seed() {
  seed_other_maker
  seed_reader_a
}

check() {
  expect_exit 0
  expect_prompts first second
  check_reader_a_removed
  # The INF was found by name, so no OEM INF scan and no driver-file deletion.
  expect_file present drivers vlkcomusb.sys
  expect_file present drivers vlkusbser.sys
  check_other_maker_untouched
}
