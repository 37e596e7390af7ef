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
    {IDS_HELP_TITLE,
     "VelkorUSBCleaner : nettoyage des installations pr\xE9"
     "c\xE9"
     "dentes des lecteurs USB VELKOR."},
    {IDS_HELP_LIST,
     "  /list           affiche les lecteurs trouv\xE9s et les actions pr\xE9vues, sans rien modifier"},
    {IDS_HELP_QUIET,
     "  /quiet          aucune question \xE0 l'utilisateur, pour les installations automatiques"},
    {IDS_HELP_HELP, "  /? ou /help     affiche cette aide"},
    {IDS_HELP_STATUSES, "Codes de sortie :"},
    {IDS_STATUS_COMPLETED,
     "  0  le nettoyage a eu lieu (quels que soient les \xE9"
     "checs en cours de route)"},
    {IDS_STATUS_CANCELLED,
     "  1  l'utilisateur a annul\xE9 \xE0 la premi\xE8re question ; rien n'a \xE9t\xE9 modifi\xE9"},
    {IDS_STATUS_WRONG_ARCHITECTURE,
     "  2  version 32 bits lanc\xE9"
     "e sur un Windows 64 bits ; rien n'a \xE9t\xE9 modifi\xE9"},
    {IDS_LOG_OPEN_FAILED, "le journal ne peut \xEAtre ouvert ; le nettoyage continue sans journal"},
    {IDS_PLAN_TITLE, "Simulation (/list) : rien n'est modifi\xE9."},
    {IDS_PLAN_DEVICES, "Lecteurs s\xE9lectionn\xE9s : "},
    {IDS_PLAN_HARDWARE_ID, "    ID mat\xE9riel : "},
    {IDS_PLAN_CLASS, "    Classe : "},
    {IDS_PLAN_INF, "    Fichier .inf : "},
    {IDS_PLAN_SERVICE, "    Service : "},
    {IDS_PLAN_NONE, "(aucun)"},
    {IDS_PLAN_ACTIONS, "Actions pr\xE9vues :"},
    {IDS_PLAN_ACTION_COUNT, "Nombre d'actions : "},
    {IDS_ACTION_REMOVE_DEVICE, "supprimer le p\xE9riph\xE9rique "},
    {IDS_ACTION_DELETE_FILE, "effacer le fichier "},
    {IDS_ACTION_SET_ATTRIBUTES, "changer les attributs de "},
    {IDS_ACTION_SET_TIMES, "r\xE9tablir les dates de "},
    {IDS_ACTION_DELETE_SERVICE, "d\xE9sinstaller le service "},
    {IDS_LOG_DEVICE_SELECTED, "p\xE9riph\xE9rique s\xE9lectionn\xE9"},
    {IDS_LOG_DEVICE_REMOVED, "p\xE9riph\xE9rique supprim\xE9"},
    {IDS_LOG_DEVICE_NOT_REMOVED,
     "le p\xE9riph\xE9rique ne peut \xEAtre supprim\xE9 : son fichier .inf et son service sont conserv\xE9s"},
    {IDS_LOG_FILE_DELETED, "fichier effac\xE9"},
    {IDS_LOG_SERVICE_DELETED, "service d\xE9sinstall\xE9"},
    {IDS_LOG_INF_STILL_USED, "fichier .inf conserv\xE9 : un autre lecteur l'utilise encore"},
    {IDS_LOG_SERVICE_STILL_USED, "service conserv\xE9 : un autre lecteur l'utilise encore"},
    {IDS_LOG_SERVICE_FOREIGN, "service conserv\xE9 : il appartient \xE0 un autre fournisseur que VELKOR"},
    {IDS_LOG_INF_UNKNOWN, "fichier .inf inconnu : recherche parmi les fichiers oem*.inf"},
    {IDS_LOG_INF_NAMES_READER, "ce fichier .inf nomme un lecteur VELKOR"},
    {IDS_STORE_UNINSTALL_FAILED, "le paquet de pilote ne peut \xEAtre retir\xE9 du magasin des pilotes"},
    {IDS_DELETE_AT_RESTART, "le fichier est en cours d'utilisation : il sera effac\xE9 au red\xE9marrage"},
    {IDS_DELETE_AT_RESTART_FAILED,
     "le fichier ne peut \xEAtre programm\xE9 pour effacement au red\xE9marrage"},
    {IDS_LOG_STORE_UNINSTALLED, "paquet de pilote retir\xE9 du magasin des pilotes"},
    {IDS_STATUS_RESTART_REQUIRED,
     "  3010  avec /quiet : le nettoyage a eu lieu, un red\xE9marrage est n\xE9"
     "cessaire pour le terminer"},
    {IDS_ACTION_UNINSTALL_INF, "retirer du magasin des pilotes le paquet "},
    {IDS_ACTION_DELETE_AT_RESTART, "effacer au red\xE9marrage le fichier "},
    {IDS_LOG_OUTSIDE_UNKNOWN,
     "les autres p\xE9riph\xE9riques ne peuvent \xEAtre tous examin\xE9s : aucun service, fichier .inf ni "
     "fichier pilote partag\xE9 ne sera effac\xE9"},
    {IDS_LOG_SERVICE_USED_BY_DEVICE, "service conserv\xE9 : utilis\xE9 aussi par le p\xE9riph\xE9rique "},
    {IDS_LOG_SERVICE_USED_BY_CLASS, "service conserv\xE9 : filtre de la classe "},
    {IDS_LOG_INF_USED_BY_DEVICE, "fichier .inf conserv\xE9 : il installe aussi le p\xE9riph\xE9rique "},
    {IDS_LOG_FILE_USED_BY_DEVICE, "fichier conserv\xE9 : pilote utilis\xE9 aussi par le p\xE9riph\xE9rique "},
    {IDS_LOG_FILE_USED_BY_CLASS, "fichier conserv\xE9 : pilote d'un filtre de la classe "},
    {IDS_LOG_SHARED_UNEXAMINED,
     "conserv\xE9 : les autres p\xE9riph\xE9riques n'ont pu \xEAtre tous examin\xE9s"},
    {IDS_HELP_LOG_OPTIONAL,
     "  /log[:<fichier>] ajoute le journal de diagnostic au fichier (cr\xE9\xE9 s'il n'existe pas) ; sans "
     "nom, %WINDIR%\\Temp\\VelkorUSBCleaner.log"},
    {IDS_HELP_REPORT,
     "  /report[:<fichier>] \xE9"
     "crit en fin d'ex\xE9"
     "cution un rapport JSON pour les outils de d\xE9ploiement ; sans nom, "
     "%WINDIR%\\Temp\\VelkorUSBCleaner.json"},
    {IDS_HELP_CHECK,
     "  /check          dit, sans rien modifier ni rien demander, s'il reste des traces \xE0 nettoyer"},
    {IDS_STATUS_CHECK_FOUND, "  1  avec /check : il reste des traces \xE0 nettoyer (0 : aucune)"},
    {IDS_CHECK_CLEAN, "Aucune trace d'installation de lecteur VELKOR : rien \xE0 nettoyer."},
    {IDS_CHECK_DIRTY, "Traces d'installation de lecteur VELKOR \xE0 nettoyer ; actions pr\xE9vues : "},
    {IDS_REPORT_OPEN_FAILED,
     "le rapport ne peut \xEAtre \xE9"
     "crit ; le nettoyage continue sans rapport"},
    {IDS_HELP_USAGE_ALL,
     "Utilisation : VelkorUSBCleaner.exe [/list | /check] [/quiet] [/log[:<fichier>]] [/report[:<fichier>]] "
     "[/backup[:<dossier>]] [/restore:<dossier>] [/?]"},
    {IDS_STORE_UNINSTALL_HINT,
     "le fichier .inf et son .pnf sont conserv\xE9s ; pour retirer le paquet : pnputil /delete-driver %1 "
     "/uninstall /force"},
    {IDS_LOG_SERVICE_MARKED,
     "service marqu\xE9 pour suppression : il ne dispara\xEEtra qu'au red\xE9marrage"},
    {IDS_ALREADY_RUNNING,
     "Un nettoyage VelkorUSBCleaner est d\xE9j\xE0 en cours : attendez sa fin avant de relancer le "
     "programme. Aucune modification n'a \xE9t\xE9 faite."},
    {IDS_LOG_NO_VISIBLE_PROMPT,
     "aucune question ne peut \xEAtre vue (station de fen\xEAtres invisible) : le nettoyage se fait comme "
     "avec /quiet"},
    {IDS_STATUS_ALREADY_RUNNING, "  1618  un autre nettoyage est en cours ; rien n'a \xE9t\xE9 modifi\xE9"},
    {IDS_HELP_BACKUP,
     "  /backup[:<dossier>] sauvegarde d'abord tout ce que le nettoyage supprime (par d\xE9"
     "faut dans %ProgramData%\\VelkorUSBCleaner\\Backup\\<date-heure>)"},
    {IDS_HELP_RESTORE,
     "  /restore:<dossier>  remet en place ce qu'une sauvegarde contient, sans rien remplacer"},
    {IDS_STATUS_BACKUP_FAILED,
     "  4  le dossier de sauvegarde ne peut \xEAtre cr\xE9\xE9, ou n'est pas s\xFBr ; rien n'a \xE9t\xE9 "
     "modifi\xE9"},
    {IDS_STATUS_RESTORE_FAILED,
     "  5  /restore : un \xE9l\xE9ment n'a pu \xEAtre remis en place, ou la sauvegarde est illisible ou pas "
     "s\xFBre"},
    {IDS_BACKUP_FOLDER_FAILED,
     "le dossier de sauvegarde ne peut \xEAtre cr\xE9\xE9 ; aucune modification n'a \xE9t\xE9 faite"},
    {IDS_NOT_SAVED, "ne peut \xEAtre sauvegard\xE9 : il est conserv\xE9"},
    {IDS_LOG_SAVED, "sauvegard\xE9"},
    {IDS_LOG_RESTORED, "remis en place"},
    {IDS_LOG_RESTORE_SKIPPED, "d\xE9j\xE0 pr\xE9sent, ou jamais supprim\xE9 : laiss\xE9 tel quel"},
    {IDS_RESTORE_FAILED, "ne peut \xEAtre remis en place"},
    {IDS_LOG_DEVICE_RECORD_ONLY,
     "p\xE9riph\xE9rique gard\xE9 pour m\xE9moire : Windows le recr\xE9"
     "e quand le lecteur est branch\xE9"},
    {IDS_MANIFEST_UNREADABLE,
     "la liste de la sauvegarde ne peut \xEAtre lue ; rien n'a \xE9t\xE9 remis en place"},
    {IDS_PROMPT_RESTORE, "Les \xE9l\xE9ments sauvegard\xE9s dans ce dossier vont \xEAtre remis en place :"},
    {IDS_PROMPT_RESTORE_QUESTION, "Aucun fichier ni service existant ne sera remplac\xE9. Continuer ?"},
    {IDS_ACTION_SAVE, "sauvegarder "},
    {IDS_ACTION_RESTORE, "remettre en place "},
    {IDS_MANIFEST_NOT_WRITTEN,
     "la liste de la sauvegarde ne peut \xEAtre \xE9"
     "crite ; les copies sont dans le dossier"},
    {IDS_PLAN_RESTORE_TITLE, "Simulation (/list /restore) : rien n'est modifi\xE9."},
    {IDS_TRUST_OWNER, "appartient \xE0 un autre compte que SYSTEM, les administrateurs ou TrustedInstaller"},
    {IDS_TRUST_WRITABLE,
     "d'autres comptes que SYSTEM et les administrateurs peuvent y \xE9"
     "crire"},
    {IDS_TRUST_LINK, "est un lien (point d'analyse), qui n'est pas suivi"},
    {IDS_TRUST_HARD_LINKS, "a plusieurs noms (liens physiques)"},
    {IDS_TRUST_NO_SECURITY,
     "est sur un volume qui ne garde pas les droits d'acc\xE8s (FAT32, exFAT) : une sauvegarde n'y serait "
     "pas prot\xE9g\xE9"
     "e"},
    {IDS_TRUST_UNREADABLE, "ses droits d'acc\xE8s ne peuvent \xEAtre lus"},
    {IDS_TRUST_NOTHING_DONE, " ; aucune modification n'a \xE9t\xE9 faite"},
    {IDS_TRUST_NOTHING_RESTORED, " ; rien n'a \xE9t\xE9 remis en place"},
    {IDS_TRUST_NO_LOG, " ; le nettoyage continue sans journal"},
    {IDS_TRUST_NO_REPORT, " ; le nettoyage continue sans rapport"},
};

}  // namespace vk
