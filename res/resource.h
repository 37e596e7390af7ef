// Resource identifiers, shared by the resource script and the program.
#pragma once

#define IDS_SERVICE_UNINSTALL 5
#define IDS_SCM_OPEN_FAILED 6
#define IDS_SERVICE_OPEN_FAILED 7
#define IDS_SERVICE_DELETE_FAILED 8
#define IDS_REGISTRY_READ_FAILED 9
#define IDS_DEVICE_LIST_FAILED 10
#define IDS_SERVICE_KEPT 11
#define IDS_INF_KEPT 12
#define IDS_FILE_DELETE_FAILED 14

#define IDI_APPLICATION_ICON 128
