#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/removable_volumes.h"
#include "tests/support/temp_folder.h"

namespace {

struct MountLineCase
{
    const char *name;
    const char *line;
    bool parsed;
    unsigned major, minor;
    const char *mountPoint, *fsType, *source;
};

const MountLineCase kMountLines[] = {
    {"plain", "36 26 8:17 / /media/card rw,nosuid - vfat /dev/sdb1 rw,fmask=0022", true, 8, 17,
     "/media/card", "vfat", "/dev/sdb1"},
    {"optional fields before the dash",
     "40 26 179:1 / /run/media/u/CARD rw shared:5 master:1 - exfat /dev/mmcblk0p1 rw", true, 179, 1,
     "/run/media/u/CARD", "exfat", "/dev/mmcblk0p1"},
    {"escaped space and backslash", "41 26 8:33 / /media/my\\040card\\134x rw - vfat /dev/sdc1 rw",
     true, 8, 33, "/media/my card\\x", "vfat", "/dev/sdc1"},
    {"escape cut short keeps its text", "42 26 8:1 / /m\\04 rw - ext4 /dev/sda1 rw", true, 8, 1,
     "/m\\04", "ext4", "/dev/sda1"},
    {"no dash", "43 26 8:1 / /m rw ext4 /dev/sda1 rw", false, 0, 0, "", "", ""},
    {"dash without source", "44 26 8:1 / /m rw - ext4", false, 0, 0, "", "", ""},
    {"device number without colon", "45 26 81 / /m rw - ext4 /dev/sda1 rw", false, 0, 0, "", "",
     ""},
    {"device number not a number", "46 26 a:b / /m rw - ext4 /dev/sda1 rw", false, 0, 0, "", "",
     ""},
    {"device number too large", "47 26 99999999999999999999999:1 / /m rw - ext4 x rw", false, 0, 0,
     "", "", ""},
    {"too few fields", "48 26 8:1 /", false, 0, 0, "", "", ""},
    {"empty", "", false, 0, 0, "", "", ""},
};

TEST(MountInfo, ParsesEachLineOrSkipsIt)
{
    for (const MountLineCase &c : kMountLines) {
        SCOPED_TRACE(c.name);
        const std::vector<MOUNT_ENTRY> entries = ParseMountInfo(c.line);
        ASSERT_EQ(entries.size(), c.parsed ? 1u : 0u);
        if (!c.parsed)
            continue;
        EXPECT_EQ(entries[0].nMajor, c.major);
        EXPECT_EQ(entries[0].nMinor, c.minor);
        EXPECT_EQ(entries[0].strMountPoint, c.mountPoint);
        EXPECT_EQ(entries[0].strFsType, c.fsType);
        EXPECT_EQ(entries[0].strSource, c.source);
    }
}

TEST(MountInfo, KeepsLineOrderAndSkipsOnlyBadLines)
{
    const auto entries = ParseMountInfo("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                        "garbage\n"
                                        "2 1 8:17 / /media/c rw - vfat /dev/sdb1 rw\n");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].strMountPoint, "/");
    EXPECT_EQ(entries[1].strMountPoint, "/media/c");
}

struct MountsLineCase
{
    const char *name;
    const char *text;
    std::vector<std::string> points;
};

const MountsLineCase kMountsLines[] = {
    {"plain", "/dev/sdb1 /media/card vfat rw,nosuid 0 0", {"/media/card"}},
    {"escaped space, tab, newline and backslash",
     "/dev/sdc1 /media/a\\040b\\011c\\012d\\134e vfat rw 0 0",
     {"/media/a b\tc\nd\\e"}},
    {"escape cut short or out of range keeps its text",
     "none /m\\04 tmpfs rw 0 0\nnone /n\\400 tmpfs rw 0 0",
     {"/m\\04", "/n\\400"}},
    {"escape as the last characters", "none /media/x\\040 tmpfs rw 0 0", {"/media/x "}},
    {"escaped source does not shift the fields", "my\\040disk /mnt/x ext4 rw 0 0", {"/mnt/x"}},
    {"tabs and runs of blanks between fields", "  none\t/run/x   tmpfs\trw 0 0", {"/run/x"}},
    {"only source, point and type", "none /t tmpfs", {"/t"}},
    {"too few fields and empty lines are skipped", "none /t\n\n   \nproc", {}},
    {"order of the table is kept",
     "/dev/sda1 / ext4 rw 0 0\nproc /proc proc rw 0 0\n/dev/sdb1 /media/c vfat rw 0 0\n",
     {"/", "/proc", "/media/c"}},
    {"a point mounted twice is listed twice", "a /m tmpfs rw 0 0\nb /m tmpfs rw 0 0", {"/m", "/m"}},
};

TEST(MountTable, ParsesMountPointsOrSkipsLine)
{
    for (const MountsLineCase &c : kMountsLines) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ParseMountPoints(c.text), c.points);
    }
}

// A small sysfs: dev/block/M:m links to the device folder, partitions lie in their disk's folder.
class FakeSys
{
public:
    void Disk(const std::string &devicePath, const std::string &number, int removable)
    {
        namespace fs = std::filesystem;
        fs::create_directories(m_Root / devicePath);
        std::ofstream(m_Root / (devicePath + "/removable")) << removable << "\n";
        Link(devicePath, number);
    }
    void Partition(const std::string &devicePath, const std::string &number)
    {
        std::filesystem::create_directories(m_Root / devicePath);
        std::ofstream(m_Root / (devicePath + "/partition")) << "1\n";
        Link(devicePath, number);
    }
    std::string Root() const { return m_Root.Path(); }

private:
    void Link(const std::string &devicePath, const std::string &number)
    {
        std::filesystem::create_directories(m_Root / "dev/block");
        std::filesystem::create_symlink("../../" + devicePath, m_Root / ("dev/block/" + number));
    }
    CTempFolder m_Root;
};

TEST(RemovableDevice, FollowsPartitionToItsDiskAndLooksAtBus)
{
    FakeSys sys;
    sys.Disk("devices/pci0/ata1/block/sda", "8:0", 0);
    sys.Partition("devices/pci0/ata1/block/sda/sda1", "8:1");
    sys.Disk("devices/pci0/ata2/block/sdb", "8:16", 1);
    sys.Partition("devices/pci0/ata2/block/sdb/sdb1", "8:17");
    sys.Disk("devices/pci0/usb1/1-1/host6/block/sdc", "8:32", 0); // a USB disk not marked
    sys.Partition("devices/pci0/usb1/1-1/host6/block/sdc/sdc1", "8:33");
    sys.Disk("devices/platform/mmc_host/mmc0/mmc0:1/block/mmcblk0", "179:0", 0);
    sys.Partition("devices/platform/mmc_host/mmc0/mmc0:1/block/mmcblk0/mmcblk0p1", "179:1");

    struct Case
    {
        unsigned major, minor;
        bool removable;
    } const cases[] = {
        {8, 0, false}, {8, 1, false},  {8, 16, true},  {8, 17, true},
        {8, 33, true}, {179, 1, true}, {8, 99, false}, {0, 40, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.major) + ":" + std::to_string(c.minor));
        EXPECT_EQ(IsRemovableBlockDevice(c.major, c.minor, sys.Root()), c.removable);
    }
}

} // namespace
