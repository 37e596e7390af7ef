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
  check_nothing_changed
}
