// The French string table as Windows-1252 bytes. The resource script holds the
// same texts; the Windows tests check that LoadStringA returns exactly these.
#pragma once

#include "res/resource.h"

namespace vk {

struct StringResource {
    unsigned id;
    const char* text;
};

constexpr StringResource kStringTable[] = {
    {IDS_SERVICE_UNINSTALL, "D\xE9sinstallation du service"},
    {IDS_SCM_OPEN_FAILED, "le SC Manager ne peut \xEAtre ouvert"},
    {IDS_SERVICE_OPEN_FAILED, "le service ne peut \xEAtre ouvert"},
    {IDS_SERVICE_DELETE_FAILED, "le Service ne peut \xEAtre d\xE9sinstall\xE9"},
    {IDS_REGISTRY_READ_FAILED, "La valeur ne peut \xEAtre lue dans la base de registre"},
    {IDS_DEVICE_LIST_FAILED, "Impossible de conna\xEEtre la liste des p\xE9riph\xE9riques install\xE9s"},
    {IDS_SERVICE_KEPT, "Le service correspondant \xE0 ce p\xE9riph\xE9rique ne sera pas d\xE9sinstall\xE9"},
    {IDS_INF_KEPT, "Le fichier .inf correspondant \xE0 ce p\xE9riph\xE9rique ne sera pas d\xE9sinstall\xE9"},
    {IDS_FILE_DELETE_FAILED, "le fichier ne peut \xEAtre effac\xE9"},
    {IDS_STORE_UNINSTALL_FAILED, "le paquet de pilote ne peut \xEAtre retir\xE9 du magasin des pilotes"},
    {IDS_DELETE_AT_RESTART, "le fichier est en cours d'utilisation : il sera effac\xE9 au red\xE9marrage"},
    {IDS_DELETE_AT_RESTART_FAILED,
     "le fichier ne peut \xEAtre programm\xE9 pour effacement au red\xE9marrage"},
};

}  // namespace vk
