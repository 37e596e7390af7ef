# No reader device is known, but reader INF files are left over: the OEM INF
# scan deletes those that name a reader (by content, any case, even in a
# comment), then both driver files, even a read-only one.
ANSWERS=(Return Return)

seed() {
  seed_other_maker
  seed_service vlkusbser vlkusbser.sys
  seed_inf oem5.inf VELKOR 'USB\VID_C2B5&PID_000B'
  seed_file inf oem5.pnf
  seed_file inf oem9.inf $'; old reader: usb\\vid_c2b5&pid_000e\r\n[Version]\r\nSignature="$Windows NT$"\r\n'
  # The scan looks for five IDs only; PID_0012 is not among them.
  seed_inf oem7.inf VELKOR 'USB\VID_C2B5&PID_0012'
  seed_file inf oem7.pnf
  # Only oem*.inf files are scanned.
  seed_inf velkor.inf VELKOR 'USB\VID_C2B5&PID_000A'
  seed_reader_driver_files
  seed_read_only drivers vlkusbser.sys
}

check() {
  expect_exit 0
  expect_prompts first second
  expect_file absent inf oem5.inf
  expect_file absent inf oem5.pnf
  expect_file absent inf oem9.inf
  expect_file present inf oem7.inf
  expect_file present inf oem7.pnf
  expect_file present inf velkor.inf
  expect_file absent drivers vlkcomusb.sys
  expect_file absent drivers vlkusbser.sys
  # No device was removed, so no service is deleted.
  expect_service present vlkusbser
  check_other_maker_untouched
}
