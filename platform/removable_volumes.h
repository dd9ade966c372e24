#pragma once

#include <string>
#include <vector>

// One mounted file system as /proc/self/mountinfo describes it.
struct MOUNT_ENTRY
{
    unsigned nMajor = 0; // device number of the mounted file system
    unsigned nMinor = 0;
    std::string strRoot;       // the folder of the file system shown there; "/" for all of it
    std::string strMountPoint; // with the kernel's octal escapes (\040 ...) undone
    std::string strFsType;
    std::string strSource; // e.g. /dev/sdb1
};

// Undoes the \ooo escapes with which mountinfo, mounts and swaps write space, tab, newline and
// backslash in paths.
std::string UnescapeOctal(const std::string &text);

// Parses the text of a mountinfo file. Lines that do not have the documented fields are skipped.
std::vector<MOUNT_ENTRY> ParseMountInfo(const std::string &text);

// The mount points of a /proc/self/mounts text ("source point type options freq pass"), in table
// order, with the octal escapes undone. Lines without a source, a point and a type are skipped.
std::vector<std::string> ParseMountPoints(const std::string &text);

// A volume the user may choose as a card: a mounted file system on a removable disk.
struct REMOVABLE_VOLUME
{
    std::string strLabel;      // volume label, or the mount point's last name when it has none
    std::string strMountPoint; // the card root: the mount point with a trailing '/'
};

// True when the block device major:minor, or the disk it is a partition of, is marked removable
// or sits on a USB or MMC bus. sysRoot is "/sys" except in tests.
bool IsRemovableBlockDevice(unsigned nMajor, unsigned nMinor, const std::string &sysRoot = "/sys");
// The same rule over what sysfs says: the disk's folder (resolved) and the text of the device's
// and the disk's "removable" files.
bool IsRemovableSysfsDisk(const std::string &diskFolder, const std::string &deviceRemovable,
                          const std::string &diskRemovable);

// The block device a mount stands on: its own device number, or for a mount without one (major
// 0, as FUSE file systems such as exfat-fuse, ntfs-3g and fusefat have) the block device its
// source names (/dev/sdb1). False when there is none.
bool MountBlockDevice(const MOUNT_ENTRY &entry, unsigned &nMajor, unsigned &nMinor);

// A mount the drive choice offers: it stands on a removable block device, or on a loop device
// that holds a card's file system (FAT, exFAT or one served through FUSE), as an image of a
// card attached by the user does.
bool IsCardMount(const MOUNT_ENTRY &entry, const std::string &sysRoot = "/sys");

// The removable volumes mounted now, in mount order. A file system mounted twice is offered once.
std::vector<REMOVABLE_VOLUME> ListRemovableVolumes();
