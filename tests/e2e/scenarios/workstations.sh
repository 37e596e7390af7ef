# Building blocks for the scenario workstations (sourced by run-scenario.sh
# and scripts/demo.sh after scripts/e2e/lib.sh).

READER_A='VID_C2B5&PID_000A\5&2c0e81a&0&1'
READER_C='VID_C2B5&PID_000C\5&2c0e81a&0&3'
OTHER_DEVICE='VID_0403&PID_6001\A50285BI'
OTHER_DRIVER_KEY="$E2E_GUID_PORTS\\0001"

# A USB serial adapter of another maker, with its own INF pair and service.
seed_other_maker() {
  seed_device "$OTHER_DEVICE" Ports "$OTHER_DRIVER_KEY" ftdiser - \
    'USB\VID_0403&PID_6001&REV_0600' 'USB\VID_0403&PID_6001'
  seed_driver_key "$OTHER_DRIVER_KEY" FTDI oem3.inf
  seed_service ftdiser ftdiser.sys
  seed_inf oem3.inf FTDI 'USB\VID_0403&PID_6001'
  seed_file inf oem3.pnf
  seed_file drivers ftdiser.sys
}

seed_reader_driver_files() {
  seed_file drivers vlkcomusb.sys
  seed_file drivers vlkusbser.sys
}

# One earlier reader installation: PID_000A, installed by oem12.inf, service
# vlkusbser.
seed_reader_a() {
  seed_device "$READER_A" Ports "$E2E_GUID_PORTS\\0003" vlkusbser - \
    'USB\VID_C2B5&PID_000A&REV_0100' 'USB\VID_C2B5&PID_000A'
  seed_driver_key "$E2E_GUID_PORTS\\0003" VELKOR oem12.inf
  seed_service vlkusbser vlkusbser.sys
  seed_inf oem12.inf VELKOR 'USB\VID_C2B5&PID_000A'
  seed_file inf oem12.pnf
  seed_reader_driver_files
}

# Reader A's instance, INF pair and service are gone.
check_reader_a_removed() {
  expect_instance absent "$READER_A"
  expect_file absent inf oem12.inf
  expect_file absent inf oem12.pnf
  expect_service absent vlkusbser
}

# The other maker's device, INF pair, service and driver are all untouched.
check_other_maker_untouched() {
  expect_instance present "$OTHER_DEVICE"
  expect_key present "HKLM\\System\\CurrentControlSet\\Control\\Class\\$OTHER_DRIVER_KEY"
  expect_service present ftdiser
  expect_file present inf oem3.inf
  expect_file present inf oem3.pnf
  expect_file present drivers ftdiser.sys
}

# A run that must change nothing: reader A and the other maker's device, with
# everything they use, are all still there.
check_nothing_changed() {
  expect_instance present "$READER_A"
  expect_key present "HKLM\\System\\CurrentControlSet\\Control\\Class\\$E2E_GUID_PORTS\\0003"
  expect_file present inf oem12.inf
  expect_file present inf oem12.pnf
  expect_service present vlkusbser
  expect_file present drivers vlkcomusb.sys
  expect_file present drivers vlkusbser.sys
  check_other_maker_untouched
}
