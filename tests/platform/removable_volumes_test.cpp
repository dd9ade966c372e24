#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

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
    // An attached loop device: a virtual block device with a loop/ folder.
    void Loop(const std::string &name, const std::string &number, bool bAttached)
    {
        Disk("devices/virtual/block/" + name, number, 0);
        if (bAttached)
            std::filesystem::create_directories(m_Root /
                                                ("devices/virtual/block/" + name + "/loop"));
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

// Some block device of this machine, for the cases that need a real device node; empty when
// /dev shows none.
std::string SomeBlockDevice(unsigned &nMajor, unsigned &nMinor)
{
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator("/dev", error)) {
        struct stat st
        {
        };
        if (::stat(entry.path().c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
            nMajor = major(st.st_rdev);
            nMinor = minor(st.st_rdev);
            return entry.path().string();
        }
    }
    return {};
}

MOUNT_ENTRY Mount(unsigned nMajor, unsigned nMinor, const std::string &type,
                  const std::string &source)
{
    MOUNT_ENTRY entry;
    entry.nMajor = nMajor;
    entry.nMinor = nMinor;
    entry.strMountPoint = "/media/card";
    entry.strFsType = type;
    entry.strSource = source;
    return entry;
}

// FUSE mounts carry an anonymous device number (0:N); the device is the one their source
// names. Anything that is no block device gives none.
TEST(RemovableDevice, AMountWithoutDeviceNumberStandsOnTheDeviceItsSourceNames)
{
    CTempFolder folder;
    std::ofstream(folder / "image") << "x";
    struct Case
    {
        const char *name;
        MOUNT_ENTRY entry;
        bool found;
        unsigned major, minor;
    } const cases[] = {
        {"own number", Mount(8, 17, "vfat", "/dev/sdb1"), true, 8, 17},
        {"fusefat without a device", Mount(0, 41, "fuse.fusefat", "fusefat"), false, 0, 0},
        {"character device", Mount(0, 42, "fuse", "/dev/null"), false, 0, 0},
        {"regular file", Mount(0, 43, "fuse", folder / "image"), false, 0, 0},
        {"missing path", Mount(0, 44, "fuse", "/dev/no-such-disk"), false, 0, 0},
        {"empty source", Mount(0, 45, "tmpfs", ""), false, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        unsigned nMajor = 99, nMinor = 99;
        EXPECT_EQ(MountBlockDevice(c.entry, nMajor, nMinor), c.found);
        if (c.found) {
            EXPECT_EQ(nMajor, c.major);
            EXPECT_EQ(nMinor, c.minor);
        }
    }
    unsigned nMajor = 0, nMinor = 0;
    const std::string device = SomeBlockDevice(nMajor, nMinor);
    if (device.empty())
        GTEST_SKIP() << "no block device node in /dev for the FUSE source case";
    unsigned nFoundMajor = 0, nFoundMinor = 0;
    ASSERT_TRUE(MountBlockDevice(Mount(0, 46, "fuseblk", device), nFoundMajor, nFoundMinor));
    EXPECT_EQ(nFoundMajor, nMajor);
    EXPECT_EQ(nFoundMinor, nMinor);
}

TEST(RemovableDevice, CardMountsAreRemovableDisksAndCardImagesOnLoopDevices)
{
    FakeSys sys;
    sys.Disk("devices/pci0/ata1/block/sda", "8:0", 0);
    sys.Partition("devices/pci0/ata1/block/sda/sda1", "8:1");
    sys.Disk("devices/pci0/usb1/1-1/host6/block/sdc", "8:32", 1);
    sys.Partition("devices/pci0/usb1/1-1/host6/block/sdc/sdc1", "8:33");
    sys.Loop("loop0", "7:0", true);
    sys.Loop("loop1", "7:1", false);
    struct Case
    {
        const char *name;
        MOUNT_ENTRY entry;
        bool offered;
    } const cases[] = {
        {"removable card", Mount(8, 33, "vfat", "/dev/sdc1"), true},
        {"fixed disk", Mount(8, 1, "ext4", "/dev/sda1"), false},
        {"FAT image on a loop device", Mount(7, 0, "vfat", "/dev/loop0"), true},
        {"exFAT image through exfat-fuse", Mount(7, 0, "fuseblk", "/dev/loop0"), true},
        {"system image on a loop device", Mount(7, 0, "squashfs", "/dev/loop0"), false},
        {"detached loop device", Mount(7, 1, "vfat", "/dev/loop1"), false},
        {"FUSE mount naming no device", Mount(0, 41, "fuse.fusefat", "fusefat"), false},
        {"tmpfs", Mount(0, 30, "tmpfs", "tmpfs"), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsCardMount(c.entry, sys.Root()), c.offered);
    }

    // A FUSE mount of a real device node: judged by that device, here made a USB disk.
    unsigned nMajor = 0, nMinor = 0;
    const std::string device = SomeBlockDevice(nMajor, nMinor);
    if (device.empty())
        GTEST_SKIP() << "no block device node in /dev for the FUSE source case";
    const std::string number = std::to_string(nMajor) + ":" + std::to_string(nMinor);
    FakeSys fixed, usb;
    fixed.Disk("devices/pci0/ata1/block/sdz", number, 0);
    usb.Disk("devices/pci0/usb2/2-1/host7/block/sdz", number, 0);
    EXPECT_FALSE(IsCardMount(Mount(0, 47, "fuse", device), fixed.Root()));
    EXPECT_TRUE(IsCardMount(Mount(0, 47, "fuse", device), usb.Root()));
}

// A card image on a loop device, mounted through FUSE as a desktop without kernel FAT does;
// unmounted and detached at the end.
class CLoopCard
{
public:
    CLoopCard(bool bFat, std::string *skip)
    {
        if (::geteuid() != 0 || !std::filesystem::exists("/dev/loop-control")) {
            *skip = "needs root and loop devices";
            return;
        }
        std::filesystem::create_directory(m_strMount);
        const std::string image = m_Folder / "card.img";
        std::ofstream(image).flush();
        std::filesystem::resize_file(image, 40u << 20);
        const std::string mkfs = bFat ? "mkfs.vfat -F 32 -n ROADCARD " : "mkfs.exfat -L ROADCARD ";
        if (!Run(mkfs + "'" + image + "'")) {
            *skip = "mkfs.vfat / mkfs.exfat not available";
            return;
        }
        m_strDevice = Output("losetup -f --show '" + image + "'");
        if (m_strDevice.empty()) {
            *skip = "no free loop device";
            return;
        }
        // fusefat names the device only when told to; exfat-fuse mounts it as fuseblk.
        const std::string mount =
            bFat ? "fusefat -o rw+,fsname=" + m_strDevice + " " : "mount.exfat-fuse ";
        m_bMounted = Run(mount + m_strDevice + " '" + m_strMount + "'");
        if (!m_bMounted)
            *skip = "FUSE mount (fusefat, mount.exfat-fuse) not possible here";
    }
    ~CLoopCard()
    {
        if (m_bMounted)
            Run("umount '" + m_strMount + "'");
        if (!m_strDevice.empty())
            Run("losetup -d " + m_strDevice);
    }
    std::string Root() const { return m_strMount + "/"; }

private:
    static bool Run(const std::string &command)
    {
        return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
    }
    static std::string Output(const std::string &command)
    {
        std::string out;
        if (FILE *pipe = ::popen((command + " 2>/dev/null").c_str(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, pipe))
                out += buffer;
            if (::pclose(pipe) != 0)
                out.clear();
        }
        while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
            out.pop_back();
        return out;
    }

    CTempFolder m_Folder;
    std::string m_strMount = m_Folder / "card";
    std::string m_strDevice;
    bool m_bMounted = false;
};

TEST(RemovableVolumes, ACardImageMountedThroughFuseIsOffered)
{
    for (const bool bFat : {true, false}) {
        SCOPED_TRACE(bFat ? "fusefat" : "exfat-fuse");
        std::string skip;
        CLoopCard card(bFat, &skip);
        if (!skip.empty())
            GTEST_SKIP() << skip;
        bool bOffered = false;
        for (const REMOVABLE_VOLUME &volume : ListRemovableVolumes())
            bOffered |= volume.strMountPoint == card.Root();
        EXPECT_TRUE(bOffered);
    }
}

} // namespace
