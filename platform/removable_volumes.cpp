#include "platform/removable_volumes.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>
#include <utility>

#include <sys/stat.h>
#include <sys/sysmacros.h>

std::string UnescapeOctal(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size()) {
            const char a = text[i + 1], b = text[i + 2], c = text[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out.push_back(static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0')));
                i += 3;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

namespace {

// The labels udev publishes in /dev/disk/by-label write unsafe bytes as \xNN.
std::string UnescapeHex(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            const auto isHex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); };
            if (isHex(text[i + 2]) && isHex(text[i + 3])) {
                out.push_back(static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16)));
                i += 3;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

bool SaysOne(const std::string &text)
{
    std::istringstream in(text);
    int value = 0;
    return in >> value && value == 1;
}

std::string ReadText(const std::filesystem::path &file)
{
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string LabelOf(const std::string &source)
{
    std::error_code error;
    const std::filesystem::path device = std::filesystem::weakly_canonical(source, error);
    if (!error) {
        for (const auto &entry : std::filesystem::directory_iterator("/dev/disk/by-label", error)) {
            std::error_code ignored;
            if (std::filesystem::weakly_canonical(entry.path(), ignored) == device && !ignored)
                return UnescapeHex(entry.path().filename().string());
        }
    }
    return {};
}

} // namespace

std::vector<MOUNT_ENTRY> ParseMountInfo(const std::string &text)
{
    std::vector<MOUNT_ENTRY> entries;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        // id parent major:minor root mount-point options [optional...] - fstype source super
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string word; fields >> word;)
            words.push_back(std::move(word));
        size_t dash = 6;
        while (dash < words.size() && words[dash] != "-")
            ++dash;
        if (words.size() < 6 || dash + 2 >= words.size())
            continue;
        MOUNT_ENTRY entry;
        const std::string &number = words[2];
        const size_t colon = number.find(':');
        if (colon == std::string::npos || colon == 0 || colon + 1 == number.size() ||
            number.find_first_not_of("0123456789:") != std::string::npos)
            continue;
        try {
            entry.nMajor = static_cast<unsigned>(std::stoul(number.substr(0, colon)));
            entry.nMinor = static_cast<unsigned>(std::stoul(number.substr(colon + 1)));
        } catch (const std::exception &) {
            continue; // a number beyond unsigned long
        }
        entry.strRoot = UnescapeOctal(words[3]);
        entry.strMountPoint = UnescapeOctal(words[4]);
        entry.strFsType = words[dash + 1];
        entry.strSource = UnescapeOctal(words[dash + 2]);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<std::string> ParseMountPoints(const std::string &text)
{
    std::vector<std::string> points;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string source, point, type;
        if (fields >> source >> point >> type)
            points.push_back(UnescapeOctal(point));
    }
    return points;
}

bool IsRemovableBlockDevice(unsigned nMajor, unsigned nMinor, const std::string &sysRoot)
{
    if (nMajor == 0)
        return false; // no block device behind it (tmpfs, proc, FUSE ...)
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path link =
        fs::path(sysRoot) / "dev/block" / (std::to_string(nMajor) + ":" + std::to_string(nMinor));
    const fs::path device = fs::canonical(link, error);
    if (error)
        return false;
    // A partition has a "partition" file; its disk is the folder above it.
    const bool bPartition = fs::exists(device / "partition", error);
    const fs::path disk = bPartition ? device.parent_path() : device;
    return IsRemovableSysfsDisk(disk.string(), ReadText(device / "removable"),
                                ReadText(disk / "removable"));
}

bool IsRemovableSysfsDisk(const std::string &diskFolder, const std::string &deviceRemovable,
                          const std::string &diskRemovable)
{
    if (SaysOne(diskRemovable) || SaysOne(deviceRemovable))
        return true;
    return diskFolder.find("/usb") != std::string::npos ||
           diskFolder.find("/mmc") != std::string::npos;
}

bool MountBlockDevice(const MOUNT_ENTRY &entry, unsigned &nMajor, unsigned &nMinor)
{
    if (entry.nMajor != 0) {
        nMajor = entry.nMajor;
        nMinor = entry.nMinor;
        return true;
    }
    // Only an absolute path can name a device; "fusefat", "tmpfs" and the like name none.
    struct stat st
    {
    };
    if (entry.strSource.empty() || entry.strSource[0] != '/' ||
        ::stat(entry.strSource.c_str(), &st) != 0 || !S_ISBLK(st.st_mode))
        return false;
    nMajor = major(st.st_rdev);
    nMinor = minor(st.st_rdev);
    return true;
}

bool IsCardMount(const MOUNT_ENTRY &entry, const std::string &sysRoot)
{
    unsigned nMajor = 0, nMinor = 0;
    if (!MountBlockDevice(entry, nMajor, nMinor) || nMajor == 0)
        return false;
    if (IsRemovableBlockDevice(nMajor, nMinor, sysRoot))
        return true;
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path device = fs::canonical(
        fs::path(sysRoot) / "dev/block" / (std::to_string(nMajor) + ":" + std::to_string(nMinor)),
        error);
    // An attached loop device has a loop/ folder; system images on loop devices (squashfs,
    // ext4) are not cards.
    if (error || !fs::is_directory(device / "loop", error))
        return false;
    const std::string &type = entry.strFsType;
    return type == "vfat" || type == "msdos" || type == "exfat" || type == "fuse" ||
           type == "fuseblk" || type.rfind("fuse.", 0) == 0;
}

std::vector<REMOVABLE_VOLUME> ListRemovableVolumes()
{
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream text;
    text << in.rdbuf();
    std::vector<REMOVABLE_VOLUME> volumes;
    std::set<std::pair<unsigned, unsigned>> seen;
    for (const MOUNT_ENTRY &entry : ParseMountInfo(text.str())) {
        unsigned nMajor = 0, nMinor = 0;
        if (!IsCardMount(entry) || !MountBlockDevice(entry, nMajor, nMinor))
            continue;
        if (!seen.insert({nMajor, nMinor}).second)
            continue;
        REMOVABLE_VOLUME volume;
        volume.strMountPoint = entry.strMountPoint;
        if (volume.strMountPoint.empty() || volume.strMountPoint.back() != '/')
            volume.strMountPoint.push_back('/');
        volume.strLabel = LabelOf(entry.strSource);
        if (volume.strLabel.empty())
            volume.strLabel = std::filesystem::path(entry.strMountPoint).filename().string();
        volumes.push_back(std::move(volume));
    }
    return volumes;
}
