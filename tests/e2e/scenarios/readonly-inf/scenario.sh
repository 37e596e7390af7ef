# The reader's INF pair is read-only: it is deleted all the same.
ANSWERS=(Return Return)

seed() {
  seed_other_maker
  seed_reader_a
  seed_read_only inf oem12.inf
  seed_read_only inf oem12.pnf
}

check() {
  expect_exit 0
  expect_prompts first second
  expect_instance absent "$READER_A"
  expect_file absent inf oem12.inf
  expect_file absent inf oem12.pnf
  expect_service absent vlkusbser
  check_other_maker_untouched
}
