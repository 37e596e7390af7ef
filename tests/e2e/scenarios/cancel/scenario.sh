# Cancel on the first prompt: exit 1 and the workstation is left as it was.
ANSWERS=(Escape)

seed() {
  seed_other_maker
  seed_reader_a
}

check() {
  expect_exit 1
  expect_prompts first
  check_nothing_changed
}
