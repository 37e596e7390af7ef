# A reader whose maker's INF installs Windows' usbser as its function service,
# beside another maker's serial adapter on usbser: the reader and its INF
# pair go, usbser stays for the adapter, and the log says what keeps it.
E2E_ARGS=('/log:C:\vk.log')
ANSWERS=(Return Return)

ADAPTER='VID_067B&PID_2303\6&1a2b3c&0&2'

seed() {
  seed_device "$READER_A" Ports "$E2E_GUID_PORTS\\0003" usbser - \
    'USB\VID_C2B5&PID_000A&REV_0100' 'USB\VID_C2B5&PID_000A'
  seed_driver_key "$E2E_GUID_PORTS\\0003" VELKOR oem12.inf
  seed_inf oem12.inf VELKOR 'USB\VID_C2B5&PID_000A'
  seed_file inf oem12.pnf
  seed_device "$ADAPTER" Ports "$E2E_GUID_PORTS\\0007" usbser - \
    'USB\VID_067B&PID_2303&REV_0300' 'USB\VID_067B&PID_2303'
  seed_driver_key "$E2E_GUID_PORTS\\0007" Prolific oem7.inf
  seed_inf oem7.inf Prolific 'USB\VID_067B&PID_2303'
  seed_service usbser usbser.sys
  seed_file drivers usbser.sys
}

check() {
  expect_exit 0
  expect_prompts first second
  expect_instance absent "$READER_A"
  expect_file absent inf oem12.inf
  expect_file absent inf oem12.pnf
  expect_instance present "$ADAPTER"
  expect_file present inf oem7.inf
  expect_service present usbser
  expect_file present drivers usbser.sys
  expect_log_line vk.log "[INFO] : usbser : service conservé : utilisé aussi par le périphérique USB\\$ADAPTER"
}
