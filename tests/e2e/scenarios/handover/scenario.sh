# The 32-bit program on 64-bit Windows, shipped with the 64-bit one in
# ..\x64: it starts that one, which runs the whole pass (its prompts, its end
# state), and ends with its exit status.
E2E_PROGRAM_SUBDIR=x86
E2E_SIBLING_PROGRAM=${E2E_X64_PROGRAM:?E2E_X64_PROGRAM names the 64-bit program}
ANSWERS=(Return Return)

seed() {
  seed_other_maker
  seed_reader_a
}

check() {
  expect_exit 0
  expect_prompts first second
  check_reader_a_removed
  # The 64-bit program sees the real drivers folder: nothing to delete there.
  expect_file present drivers vlkcomusb.sys
  expect_file present drivers vlkusbser.sys
  check_other_maker_untouched
}
