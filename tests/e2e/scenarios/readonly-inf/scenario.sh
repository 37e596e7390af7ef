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
  check_reader_a_removed
  check_other_maker_untouched
}
