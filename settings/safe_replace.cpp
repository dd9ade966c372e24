#include "settings/safe_replace.h"

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

#include "platform/file_open.h"

namespace {

std::string FolderOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

void SyncFolder(const std::string &folder)
{
    // Makes the rename itself durable; some file systems refuse to sync a folder, which is fine.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool ReplaceFileContents(const std::string &path, const void *bytes, size_t size)
{
    // Hold the old file while replacing it, as the recorder's files are never shared.
    CExclusiveFile old;
    if (::access(path.c_str(), F_OK) == 0 && !old.Open(path, CExclusiveFile::Mode::Hold))
        return false;

    const std::string temporary = path + ".new";
    CExclusiveFile out;
    if (!out.Open(temporary, CExclusiveFile::Mode::WriteNew))
        return false;
    const bool written = out.WriteAll(bytes, size) && out.Sync();
    out.Close();
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    SyncFolder(FolderOf(path));
    return true;
}
