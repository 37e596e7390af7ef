# Readers that are selected in less obvious ways, and which service each one
# takes along: a lower filter wins over the function service, a reader of the
# USB class takes no service, a lower-case hardware ID still matches, and
# PID_0012 (target 6) is selected too.
ANSWERS=(Return Return)

READER_FILTERED='VID_C2B5&PID_000A\5&1111&0&1'
READER_HUB='VID_C2B5&PID_0012\5&2222&0&2'
READER_LOWER='VID_C2B5&PID_000E\5&3333&0&3'

seed() {
  seed_other_maker
  seed_reader_driver_files
  seed_device "$READER_FILTERED" Ports "$E2E_GUID_PORTS\\0003" vlkusbser vlkcomusb \
    'USB\VID_C2B5&PID_000A&REV_0100' 'USB\VID_C2B5&PID_000A'
  seed_driver_key "$E2E_GUID_PORTS\\0003" VELKOR oem12.inf
  seed_inf oem12.inf VELKOR 'USB\VID_C2B5&PID_000A'
  seed_file inf oem12.pnf
  seed_service vlkusbser vlkusbser.sys
  seed_service vlkcomusb vlkcomusb.sys

  seed_device "$READER_HUB" USB "$E2E_GUID_USB\\0007" vlkhub - \
    'USB\VID_C2B5&PID_0012&REV_0200' 'USB\VID_C2B5&PID_0012'
  seed_driver_key "$E2E_GUID_USB\\0007" VELKOR oem14.inf
  seed_inf oem14.inf VELKOR 'USB\VID_C2B5&PID_0012'
  seed_file inf oem14.pnf
  seed_service vlkhub vlkhub.sys

  seed_device "$READER_LOWER" Ports "$E2E_GUID_PORTS\\0005" vlkser2 - \
    'usb\vid_c2b5&pid_000e&rev_0100' 'usb\vid_c2b5&pid_000e'
  seed_driver_key "$E2E_GUID_PORTS\\0005" Velkor oem15.inf
  seed_inf oem15.inf VELKOR 'USB\VID_C2B5&PID_000E'
  seed_file inf oem15.pnf
  seed_service vlkser2 vlkusbser.sys
}

check() {
  expect_exit 0
  expect_prompts first second
  expect_instance absent "$READER_FILTERED"
  expect_instance absent "$READER_HUB"
  expect_instance absent "$READER_LOWER"
  expect_file absent inf oem12.inf
  expect_file absent inf oem12.pnf
  expect_file absent inf oem14.inf
  expect_file absent inf oem14.pnf
  expect_file absent inf oem15.inf
  expect_file absent inf oem15.pnf
  expect_service absent vlkcomusb
  expect_service present vlkusbser
  expect_service present vlkhub
  expect_service absent vlkser2
  # Every INF was found by name: no scan, so the driver files stay.
  expect_file present drivers vlkcomusb.sys
  expect_file present drivers vlkusbser.sys
  check_other_maker_untouched
}
