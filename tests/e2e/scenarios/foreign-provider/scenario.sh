# A reader bound to Microsoft's usbser driver: its INF is not the maker's, so
# the program falls back to the OEM INF scan, which finds the reader's old
# oem20.inf and then deletes the driver files. usbser belongs to Windows and
# serves other devices too, so it stays.
ANSWERS=(Return Return)

READER_B='VID_C2B5&PID_000B\5&4444&0&4'

seed() {
  seed_other_maker
  seed_reader_driver_files
  seed_device "$READER_B" Ports "$E2E_GUID_PORTS\\0006" usbser - \
    'USB\VID_C2B5&PID_000B&REV_0100' 'USB\VID_C2B5&PID_000B'
  seed_driver_key "$E2E_GUID_PORTS\\0006" Microsoft mdmcpq.inf
  seed_service usbser usbser.sys
  seed_file drivers usbser.sys
  seed_inf mdmcpq.inf Microsoft 'USB\Class_02&SubClass_02'
  seed_inf oem20.inf VELKOR 'USB\VID_C2B5&PID_000B'
  seed_file inf oem20.pnf
}

check() {
  expect_exit 0
  expect_prompts first second
  expect_instance absent "$READER_B"
  expect_file present inf mdmcpq.inf
  expect_file absent inf oem20.inf
  expect_file absent inf oem20.pnf
  expect_file absent drivers vlkcomusb.sys
  expect_file absent drivers vlkusbser.sys
  expect_file present drivers usbser.sys
  expect_service present usbser
  check_other_maker_untouched
}
