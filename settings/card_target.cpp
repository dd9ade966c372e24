#include "settings/card_target.h"

#include <fstream>
#include <memory>
#include <sstream>

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

constexpr const char *kSystemFolders[] = {"/", "/boot", "/home", "/usr", "/var"};

std::string WithoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string Parent(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string BaseName(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Lookup(const std::map<std::string, std::string> &map, const std::string &key)
{
    const auto it = map.find(key);
    return it == map.end() ? std::string() : it->second;
}

std::string ReadText(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct SWAP_ENTRY
{
    std::string strName;
    bool bFile;
};

std::vector<SWAP_ENTRY> ParseSwaps(const std::string &text)
{
    std::vector<SWAP_ENTRY> swaps;
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line); // the heading
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string name, type;
        if (fields >> name >> type)
            swaps.push_back({UnescapeOctal(name), type == "file"});
    }
    return swaps;
}

std::string Number(const MOUNT_ENTRY &mount)
{
    return std::to_string(mount.nMajor) + ":" + std::to_string(mount.nMinor);
}

// The disk-level facts of the view.
class CDiskView
{
public:
    explicit CDiskView(const CARD_SYSTEM_VIEW &view) : m_View(view) {}

    // The device number behind a mount; empty when it names no block device.
    std::string NumberOf(const MOUNT_ENTRY &mount) const
    {
        if (mount.nMajor != 0)
            return Number(mount);
        if (mount.strSource.starts_with("/dev/"))
            return Lookup(m_View.deviceNumbers, mount.strSource);
        return {};
    }
    std::string NumberOfNode(const std::string &node) const
    {
        return Lookup(m_View.deviceNumbers, node);
    }
    std::string DeviceFolder(const std::string &number) const
    {
        return number.empty() ? std::string() : Lookup(m_View.sysfs, "/sys/dev/block/" + number);
    }
    std::string DiskFolder(const std::string &deviceFolder) const
    {
        return m_View.sysfs.count(deviceFolder + "/partition") != 0 ? Parent(deviceFolder)
                                                                    : deviceFolder;
    }
    std::string DiskOfNumber(const std::string &number) const
    {
        const std::string folder = DeviceFolder(number);
        return folder.empty() ? std::string() : DiskFolder(folder);
    }
    bool Removable(const std::string &deviceFolder, const std::string &diskFolder) const
    {
        // A loop device holds a card image: the tests format those.
        return BaseName(diskFolder).starts_with("loop") ||
               IsRemovableSysfsDisk(diskFolder, Lookup(m_View.sysfs, deviceFolder + "/removable"),
                                    Lookup(m_View.sysfs, diskFolder + "/removable"));
    }

private:
    const CARD_SYSTEM_VIEW &m_View;
};

CARD_TARGET Refuse(const std::string &why)
{
    return {{}, "Nothing was formatted: " + why};
}

// The device a FUSE server (fusefat DEVICE DIR) was started on for a mount point.
std::string ServedDevice(const std::string &program, const std::string &mountPoint)
{
    std::string found;
    AnyProcess([&](const std::string &pid) {
        const std::string cmdline = ReadText("/proc/" + pid + "/cmdline");
        std::vector<std::string> args;
        for (size_t start = 0; start < cmdline.size();) {
            const size_t end = cmdline.find('\0', start);
            args.push_back(cmdline.substr(start, end - start));
            start = end == std::string::npos ? cmdline.size() : end + 1;
        }
        if (args.empty() || BaseName(args[0]) != program)
            return false;
        std::vector<std::string> positional;
        for (size_t i = 1; i < args.size(); ++i) {
            if (args[i] == "-o")
                ++i; // its value
            else if (!args[i].empty() && !args[i].starts_with("-"))
                positional.push_back(args[i]);
        }
        if (positional.size() != 2)
            return false;
        char cwd[PATH_MAX];
        const ssize_t n = ::readlink(("/proc/" + pid + "/cwd").c_str(), cwd, sizeof cwd - 1);
        const std::string base = n > 0 ? std::string(cwd, static_cast<size_t>(n)) + "/" : "/";
        auto absolute = [&](const std::string &p) { return p.starts_with("/") ? p : base + p; };
        char dir[PATH_MAX];
        if (::realpath(absolute(positional[1]).c_str(), dir) != nullptr && dir == mountPoint)
            found = absolute(positional[0]);
        return false; // the last one found is kept, as later ones replace earlier ones
    });
    return found;
}

} // namespace

bool AnyProcess(const std::function<bool(const std::string &pid)> &visit)
{
    const std::unique_ptr<DIR, int (*)(DIR *)> proc(::opendir("/proc"), ::closedir);
    if (!proc)
        return false;
    while (const dirent *entry = ::readdir(proc.get())) {
        const std::string pid = entry->d_name;
        if (!pid.empty() && pid.find_first_not_of("0123456789") == std::string::npos && visit(pid))
            return true;
    }
    return false;
}

const MOUNT_ENTRY *FindMount(const std::vector<MOUNT_ENTRY> &mounts, const std::string &mountPoint)
{
    const std::string wanted = WithoutTrailingSlash(mountPoint);
    const MOUNT_ENTRY *found = nullptr;
    for (const MOUNT_ENTRY &mount : mounts)
        if (mount.strMountPoint == wanted)
            found = &mount;
    return found;
}

std::string ReadMountInfo()
{
    return ReadText("/proc/self/mountinfo");
}

CARD_TARGET CheckCardTarget(const std::string &mountPoint, const CARD_SYSTEM_VIEW &view)
{
    const std::string place = WithoutTrailingSlash(mountPoint);
    const std::vector<MOUNT_ENTRY> mounts = ParseMountInfo(view.strMountInfo);
    const MOUNT_ENTRY *target = FindMount(mounts, place);
    if (target == nullptr)
        return Refuse(place + " is a folder on a disk, not the top folder of a mounted card.");
    if (target->strRoot != "/")
        return Refuse(place + " shows the folder " + target->strRoot +
                      " of another disk (a bind mount), not a whole card.");
    const CDiskView disks(view);
    std::string number = disks.NumberOf(*target);
    if (number.empty() && target->strFsType.starts_with("fuse") && !view.strServedDevice.empty())
        number = disks.NumberOfNode(view.strServedDevice);
    const std::string folder = disks.DeviceFolder(number);
    if (folder.empty()) {
        if (target->strFsType.starts_with("fuse"))
            return Refuse("the card at " + place + " is mounted through FUSE (" +
                          target->strFsType + ") and the device behind it could not be found.");
        return Refuse(place + " is not on a disk device (" + target->strFsType + " " +
                      target->strSource + ").");
    }
    const std::string device = "/dev/" + BaseName(folder);
    const std::string disk = disks.DiskFolder(folder);
    for (const MOUNT_ENTRY &mount : mounts)
        for (const char *system : kSystemFolders)
            if (mount.strMountPoint == system && disks.DiskOfNumber(disks.NumberOf(mount)) == disk)
                return Refuse(device + " is on the same disk as the system folder " + system +
                              " (" + mount.strSource + "), so it is not a memory card.");
    for (const SWAP_ENTRY &swap : ParseSwaps(view.strSwaps)) {
        if (swap.bFile ? swap.strName.starts_with(place + "/")
                       : disks.DiskOfNumber(disks.NumberOfNode(swap.strName)) == disk)
            return Refuse(device + " holds or shares its disk with the swap space " + swap.strName +
                          ", so it is not a memory card.");
    }
    if (!disks.Removable(folder, disk))
        return Refuse(device + " (mounted at " + place +
                      ") is not a removable card, card reader or USB device.");
    return {device, {}};
}

CARD_SYSTEM_VIEW ReadCardSystemView(const std::string &mountPoint)
{
    CARD_SYSTEM_VIEW view;
    view.strMountInfo = ReadMountInfo();
    view.strSwaps = ReadText("/proc/swaps");
    auto addNumber = [&](const std::string &number) {
        const std::string link = "/sys/dev/block/" + number;
        char resolved[PATH_MAX];
        if (number.empty() || number.starts_with("0:") || view.sysfs.count(link) != 0 ||
            ::realpath(link.c_str(), resolved) == nullptr)
            return;
        const std::string folder = resolved;
        view.sysfs[link] = folder;
        std::string disk = folder;
        if (::access((folder + "/partition").c_str(), F_OK) == 0) {
            view.sysfs[folder + "/partition"] = ReadText(folder + "/partition");
            disk = Parent(folder);
        }
        for (const std::string &owner : {folder, disk})
            if (::access((owner + "/removable").c_str(), F_OK) == 0)
                view.sysfs[owner + "/removable"] = ReadText(owner + "/removable");
    };
    auto addNode = [&](const std::string &node) {
        struct stat st
        {
        };
        if (view.deviceNumbers.count(node) != 0 || ::stat(node.c_str(), &st) != 0 ||
            !S_ISBLK(st.st_mode))
            return;
        const std::string number =
            std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
        view.deviceNumbers[node] = number;
        addNumber(number);
    };
    const std::vector<MOUNT_ENTRY> mounts = ParseMountInfo(view.strMountInfo);
    for (const MOUNT_ENTRY &mount : mounts) {
        if (mount.nMajor != 0)
            addNumber(Number(mount));
        if (mount.strSource.starts_with("/dev/"))
            addNode(mount.strSource);
    }
    for (const SWAP_ENTRY &swap : ParseSwaps(view.strSwaps))
        if (!swap.bFile)
            addNode(swap.strName);
    const MOUNT_ENTRY *target = FindMount(mounts, mountPoint);
    if (target != nullptr && target->strFsType.starts_with("fuse.")) {
        view.strServedDevice = ServedDevice(target->strFsType.substr(5), target->strMountPoint);
        if (!view.strServedDevice.empty())
            addNode(view.strServedDevice);
    }
    return view;
}
