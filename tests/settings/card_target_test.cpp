#include <cstdio>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

#include "settings/card_target.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr char kNvme[] = "/sys/devices/pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0/nvme0n1";
constexpr char kSata[] =
    "/sys/devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda";
constexpr char kStick[] =
    "/sys/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb";
constexpr char kReader[] =
    "/sys/devices/platform/soc/fe340000.mmc/mmc_host/mmc0/mmc0:aaaa/block/mmcblk0";
constexpr char kLoop[] = "/sys/devices/virtual/block/loop0";

// A laptop: an NVMe disk holding the system (btrfs root, whose mounts name no device number),
// an internal SATA data disk, a USB stick, an SD card in a reader and a loop device.
CARD_SYSTEM_VIEW Laptop()
{
    CARD_SYSTEM_VIEW view;
    view.strMountInfo = "25 1 0:27 / / rw,relatime - btrfs /dev/nvme0n1p2 rw\n"
                        "26 25 259:1 / /boot rw - vfat /dev/nvme0n1p1 rw\n"
                        "27 25 0:27 /@home /home rw - btrfs /dev/nvme0n1p2 rw\n"
                        "28 25 0:30 / /tmp rw - tmpfs tmpfs rw\n";
    view.strSwaps = "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n"
                    "/dev/nvme0n1p4                          partition\t8388604\t\t0\t\t-2\n";
    auto disk = [&](const std::string &folder, const char *removable) {
        view.sysfs[folder + "/removable"] = removable;
    };
    auto partition = [&](const std::string &number, const std::string &node,
                         const std::string &folder) {
        view.sysfs["/sys/dev/block/" + number] = folder;
        view.sysfs[folder + "/partition"] = "1\n";
        view.deviceNumbers[node] = number;
    };
    disk(kNvme, "0\n");
    for (int i = 1; i <= 4; ++i)
        partition("259:" + std::to_string(i), "/dev/nvme0n1p" + std::to_string(i),
                  std::string(kNvme) + "/nvme0n1p" + std::to_string(i));
    disk(kSata, "0\n");
    partition("8:1", "/dev/sda1", std::string(kSata) + "/sda1");
    disk(kStick, "1\n");
    partition("8:17", "/dev/sdb1", std::string(kStick) + "/sdb1");
    partition("8:18", "/dev/sdb2", std::string(kStick) + "/sdb2");
    disk(kReader, "0\n"); // SD readers often say 0; the mmc bus tells
    partition("179:1", "/dev/mmcblk0p1", std::string(kReader) + "/mmcblk0p1");
    disk(kLoop, "0\n");
    view.sysfs["/sys/dev/block/7:0"] = kLoop;
    view.deviceNumbers["/dev/loop0"] = "7:0";
    return view;
}

} // namespace

TEST(CardTarget, OnlyARemovableCardOfItsOwnIsFormatted)
{
    const struct
    {
        const char *name;
        const char *mounts; // added to the laptop's mountinfo
        const char *swaps;  // added to its /proc/swaps
        const char *served; // the device the FUSE server was started on
        const char *target;
        const char *device;  // formatted as; null when refused
        const char *refusal; // a text the refusal holds
    } cases[] = {
        {"USB stick", "40 25 8:17 / /media/u/STICK rw - vfat /dev/sdb1 rw\n", "", "",
         "/media/u/STICK/", "/dev/sdb1", nullptr},
        {"SD card reader",
         "41 25 179:1 / /media/u/SD\\040CARD rw shared:5 - exfat /dev/mmcblk0p1 rw\n", "", "",
         "/media/u/SD CARD", "/dev/mmcblk0p1", nullptr},
        {"card image on a loop device", "42 25 7:0 / /mnt/card rw - vfat /dev/loop0 rw\n", "", "",
         "/mnt/card/", "/dev/loop0", nullptr},
        {"FUSE naming its device", "43 25 0:51 / /media/u/STICK rw - fuseblk /dev/sdb1 rw\n", "",
         "", "/media/u/STICK/", "/dev/sdb1", nullptr},
        {"fusefat, device found from its server",
         "44 25 0:52 / /mnt/card rw - fuse.fusefat fusefat rw\n", "", "/dev/loop0", "/mnt/card/",
         "/dev/loop0", nullptr},
        {"fusefat, no server found", "44 25 0:52 / /mnt/card rw - fuse.fusefat fusefat rw\n", "",
         "", "/mnt/card/", nullptr,
         "mounted through FUSE (fuse.fusefat) and the device behind it could not be found"},
        {"the later of two mounts decides",
         "45 25 7:0 / /mnt/x rw - vfat /dev/loop0 rw\n"
         "46 25 259:3 / /mnt/x rw - ext4 /dev/nvme0n1p3 rw\n",
         "", "", "/mnt/x", nullptr, "/dev/nvme0n1p3 is on the same disk as the system folder /"},
        {"NVMe system disk", "47 25 259:3 / /data rw - ext4 /dev/nvme0n1p3 rw\n", "", "", "/data/",
         nullptr, "/dev/nvme0n1p3 is on the same disk as the system folder / (/dev/nvme0n1p2)"},
        {"a partition of the disk holding /boot",
         "48 25 259:1 / /media/u/EFI rw - vfat /dev/nvme0n1p1 rw\n", "", "", "/media/u/EFI",
         nullptr, "/dev/nvme0n1p1 is on the same disk as the system folder"},
        {"a stick whose other partition is swap",
         "40 25 8:17 / /media/u/STICK rw - vfat /dev/sdb1 rw\n", "/dev/sdb2 partition 1000 0 -3\n",
         "", "/media/u/STICK", nullptr, "swap space /dev/sdb2"},
        {"a swap file on the card", "40 25 8:17 / /media/u/STICK rw - vfat /dev/sdb1 rw\n",
         "/media/u/STICK/swapfile file 1000 0 -3\n", "", "/media/u/STICK", nullptr,
         "swap space /media/u/STICK/swapfile"},
        {"internal data disk", "49 25 8:1 / /mnt/data rw - ext4 /dev/sda1 rw\n", "", "",
         "/mnt/data", nullptr, "/dev/sda1 (mounted at /mnt/data) is not a removable card"},
        {"bind mount", "50 25 8:17 /DCIM /media/u/PHOTOS rw - vfat /dev/sdb1 rw\n", "", "",
         "/media/u/PHOTOS/", nullptr, "shows the folder /DCIM of another disk (a bind mount)"},
        {"folder below a mount point", "40 25 8:17 / /media/u/STICK rw - vfat /dev/sdb1 rw\n", "",
         "", "/media/u/STICK/RECORD/", nullptr,
         "/media/u/STICK/RECORD is a folder on a disk, not the top folder"},
        {"a folder of the system disk", "", "", "", "/home/u/card/", nullptr, "not the top folder"},
        {"memory file system", "", "", "", "/tmp", nullptr,
         "/tmp is not on a disk device (tmpfs tmpfs)"},
    };
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.name);
        CARD_SYSTEM_VIEW view = Laptop();
        view.strMountInfo += tc.mounts;
        view.strSwaps += tc.swaps;
        view.strServedDevice = tc.served;
        const CARD_TARGET target = CheckCardTarget(tc.target, view);
        if (tc.device) {
            EXPECT_EQ(target.strDevice, tc.device);
            EXPECT_EQ(target.strRefusal, "");
        } else {
            EXPECT_EQ(target.strDevice, "");
            EXPECT_TRUE(target.strRefusal.starts_with("Nothing was formatted: "))
                << target.strRefusal;
            EXPECT_NE(target.strRefusal.find(tc.refusal), std::string::npos) << target.strRefusal;
        }
    }
}

TEST(CardTarget, FindsTheMountAtAPlace)
{
    const std::vector<MOUNT_ENTRY> mounts = ParseMountInfo(
        "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
        "44 26 0:39 / /media/card rw,nosuid - fuse.fusefat fusefat rw,user_id=0\n"
        "45 26 7:0 / /media/my\\040card rw shared:5 master:2 - fuseblk /dev/loop0 rw\n"
        "46 26 7:1 / /mnt/x rw - vfat /dev/loop1 rw\n"
        "47 26 7:2 /sub\\040dir /mnt/x rw - exfat /dev/loop2 rw\n");
    const struct
    {
        const char *place, *type, *source, *root;
    } cases[] = {
        {"/media/card/", "fuse.fusefat", "fusefat", "/"},  // FUSE names no device
        {"/media/my card/", "fuseblk", "/dev/loop0", "/"}, // escaped space, optional fields
        {"/mnt/x", "exfat", "/dev/loop2", "/sub dir"},     // the later mount hides the earlier
        {"/", "ext4", "/dev/sda1", "/"},
    };
    for (const auto &tc : cases) {
        const MOUNT_ENTRY *mount = FindMount(mounts, tc.place);
        ASSERT_NE(mount, nullptr) << tc.place;
        EXPECT_EQ(mount->strFsType, tc.type);
        EXPECT_EQ(mount->strSource, tc.source);
        EXPECT_EQ(mount->strRoot, tc.root);
    }
    EXPECT_EQ(FindMount(mounts, "/nowhere/"), nullptr);
    EXPECT_EQ(FindMount(mounts, "/media"), nullptr);
}

// The view of the running system finds the device behind the root file system, and a temporary
// folder is never a card.
TEST(CardTarget, RunningSystem)
{
    CTempFolder folder;
    const CARD_TARGET target = CheckCardTarget(folder.Path(), ReadCardSystemView(folder.Path()));
    EXPECT_EQ(target.strDevice, "");
    EXPECT_NE(target.strRefusal.find("Nothing was formatted"), std::string::npos);
    const CARD_TARGET root = CheckCardTarget("/", ReadCardSystemView("/"));
    EXPECT_EQ(root.strDevice, "");
    EXPECT_FALSE(root.strRefusal.empty());
    std::printf("the system's root: %s\n", root.strRefusal.c_str());
}
