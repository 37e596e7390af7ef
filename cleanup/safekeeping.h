// What the cleanup actions ask of a backup, knowing no backup of their own:
// save this before it goes; then, here is what became of it.
#pragma once

#include <string>

#include "platform/winconst.h"

namespace vk {

enum class KeptItem {
    File,     // subject: its full path
    Package,  // a published INF's driver-store package; subject: its name
    Service,  // subject: its name
    Device,   // a device instance; subject: its instance ID
};

enum class ItemFate {
    Deleted,        // gone (removed, uninstalled)
    NotDeleted,     // the deletion failed (its code): still there
    LeftToRestart,  // goes only at the next restart
    Untouched,      // the pass did not go on to remove it
};

class ISafekeeping {
public:
    // Saves the item that is about to go, so that it can be put back;
    // false, with the reason recorded, when it could not be saved: the item
    // must then be kept. A file that is not there has nothing to save and is
    // no failure.
    virtual bool SaveBeforeDeletion(KeptItem kind, const std::string& subject) = 0;
    // What the deletion after the last save of that item made of it.
    virtual void Became(KeptItem kind, const std::string& subject, ItemFate fate, DWORD code = 0) = 0;

protected:
    ~ISafekeeping() = default;
};

}  // namespace vk
