# Two readers installed by the same INF (named in two letter cases) and using
# the same service: both instances go, the INF pair and the service go once
# the last user is removed.
ANSWERS=(Return Return)

seed() {
  seed_other_maker
  seed_reader_a
  seed_device "$READER_C" Ports "$E2E_GUID_PORTS\\0004" vlkusbser - \
    'USB\VID_C2B5&PID_000C&REV_0100' 'USB\VID_C2B5&PID_000C'
  seed_driver_key "$E2E_GUID_PORTS\\0004" velkor OEM12.INF
}

check() {
  expect_exit 0
  expect_prompts first second
  check_reader_a_removed
  expect_instance absent "$READER_C"
  expect_file present drivers vlkcomusb.sys
  expect_file present drivers vlkusbser.sys
  check_other_maker_untouched
}
