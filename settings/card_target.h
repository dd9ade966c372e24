#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/removable_volumes.h"

// The last mount at a place, which hides the earlier ones; null when nothing is mounted there.
const MOUNT_ENTRY *FindMount(const std::vector<MOUNT_ENTRY> &mounts, const std::string &mountPoint);
std::string ReadMountInfo();
// Calls visit with the id of each running process (the numeric folders of /proc) until it
// returns true; true when one did.
bool AnyProcess(const std::function<bool(const std::string &pid)> &visit);

// What the removable-card check reads of the system, as text, so that a table can stand in
// for the system.
struct CARD_SYSTEM_VIEW
{
    std::string strMountInfo; // /proc/self/mountinfo
    std::string strSwaps;     // /proc/swaps
    // Device number of a device node: "/dev/sdb1" -> "8:17".
    std::map<std::string, std::string> deviceNumbers;
    // sysfs: "/sys/dev/block/8:17" -> the device folder it links to (resolved), and the text of
    // "<device folder>/partition" and of the device's and its disk's "removable" where those
    // files exist.
    std::map<std::string, std::string> sysfs;
    // The device opened by the process serving a FUSE mount at the place (fusefat names none
    // in mountinfo); empty when there is none.
    std::string strServedDevice;
};

struct CARD_TARGET
{
    std::string strDevice;  // "/dev/sdb1" when the card may be formatted
    std::string strRefusal; // else why not, as shown to the user
};

// Only a removable or hot-plugged device (sysfs "removable", a USB, MMC or memory-stick bus in
// its path, or a loop device holding a card image) that is mounted at mountPoint as a whole
// file system, and no part of whose disk holds /, /boot, /home, /usr, /var or swap, may be
// formatted.
CARD_TARGET CheckCardTarget(const std::string &mountPoint, const CARD_SYSTEM_VIEW &view);

// The view of the running system for a mount point.
CARD_SYSTEM_VIEW ReadCardSystemView(const std::string &mountPoint);
