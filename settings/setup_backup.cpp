#include "settings/setup_backup.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_open.h"
#include "settings/safe_replace.h"

namespace {

constexpr char kPrefix[] = "setup-";
constexpr char kSuffix[] = ".cfg";

// The label as a safe part of a file name.
std::string NamePart(const std::string &label)
{
    std::string out;
    for (char c : label) {
        if (out.size() == 32)
            break;
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_';
        out.push_back(plain ? c : '_');
    }
    return out.empty() ? std::string("card") : out;
}

bool MakeFolders(const std::string &folder)
{
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
    }
    struct stat st
    {
    };
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string WithSlash(const std::string &folder)
{
    return !folder.empty() && folder.back() == '/' ? folder : folder + "/";
}

} // namespace

bool ReadSmallFile(const std::string &path, std::vector<char> *bytes, bool fromMedium,
                   size_t maxSize)
{
    CExclusiveFile file;
    if (!file.Open(path, CExclusiveFile::Mode::Read))
        return false;
    if (fromMedium)
        (void)::posix_fadvise(file.Fd(), 0, 0, POSIX_FADV_DONTNEED);
    const int64_t size = file.Size();
    if (size < 0 || static_cast<uint64_t>(size) > maxSize)
        return false;
    bytes->assign(static_cast<size_t>(size), 0);
    return file.Read(bytes->data(), bytes->size()) == size;
}

std::vector<std::string> SetupBackups(const std::string &folder)
{
    std::vector<std::string> names;
    DIR *dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return names;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.starts_with(kPrefix) && name.ends_with(kSuffix))
            names.push_back(WithSlash(folder) + name);
    }
    ::closedir(dir);
    // The names begin with the date and time, so they sort oldest first.
    std::sort(names.begin(), names.end());
    return names;
}

std::string WriteSetupBackup(const std::string &folder, const std::string &cardLabel,
                             const std::vector<char> &bytes, std::time_t when)
{
    std::string dir = folder;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    if (dir.empty() || !MakeFolders(dir))
        return {};
    std::tm local{};
    if (::localtime_r(&when, &local) == nullptr)
        return {};
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string stem = WithSlash(folder) + kPrefix + stamp + "-" + NamePart(cardLabel);
    // Two formats within a second get their own copies.
    std::string path = stem + kSuffix;
    for (int n = 2; ::access(path.c_str(), F_OK) == 0; ++n) {
        if (n > 99)
            return {};
        path = stem + "-" + std::to_string(n) + kSuffix;
    }
    std::vector<char> back;
    if (!ReplaceFileContents(path, bytes.data(), bytes.size()) ||
        !ReadSmallFile(path, &back, true) || back != bytes) {
        std::remove(path.c_str());
        return {};
    }
    std::vector<std::string> all = SetupBackups(folder);
    for (size_t i = 0; i + kSetupBackupsKept < all.size(); ++i)
        if (all[i] != path)
            std::remove(all[i].c_str());
    return path;
}
