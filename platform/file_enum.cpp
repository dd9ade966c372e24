#include "platform/file_enum.h"

#include <cstring>

#include <fcntl.h>
#include <linux/magic.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

constexpr uint32_t kFatHidden = 0x02;
constexpr uint32_t kFatSystem = 0x04;

} // namespace

CFolderListing::CFolderListing(const std::string &folder)
{
    m_pDir = ::opendir(folder.c_str());
    if (m_pDir == nullptr)
        return;
    struct statfs fs
    {
    };
    if (::fstatfs(dirfd(m_pDir), &fs) == 0 && fs.f_type == MSDOS_SUPER_MAGIC)
        m_bFatAttributes = true;
}

CFolderListing::~CFolderListing()
{
    if (m_pDir != nullptr)
        ::closedir(m_pDir);
}

int CFolderListing::FolderFd() const
{
    return m_pDir != nullptr ? dirfd(m_pDir) : -1;
}

bool CFolderListing::Next(FOLDER_ENTRY *entry)
{
    if (m_pDir == nullptr)
        return false;
    for (;;) {
        const dirent *d = ::readdir(m_pDir);
        if (d == nullptr) {
            m_pLast = nullptr;
            return false;
        }
        if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0)
            continue;
        m_pLast = d;
        m_eFacts = FactsState::Unread;
        entry->strName = d->d_name;
        entry->bHidden = d->d_name[0] == '.';
        entry->bSystem = false;
        if (d->d_type == DT_UNKNOWN || d->d_type == DT_LNK) {
            // Some file systems give no type, and a link counts as what it points to.
            struct stat st
            {
            };
            entry->bDirectory = Facts(&st) && S_ISDIR(st.st_mode);
        } else {
            entry->bDirectory = d->d_type == DT_DIR;
        }
        if (m_bFatAttributes) {
            const int fd = ::openat(dirfd(m_pDir), d->d_name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                uint32_t attributes = 0;
                if (::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attributes) == 0) {
                    entry->bHidden = entry->bHidden || (attributes & kFatHidden) != 0;
                    entry->bSystem = (attributes & kFatSystem) != 0;
                }
                ::close(fd);
            }
        }
        return true;
    }
}

bool CFolderListing::Facts(struct stat *facts)
{
    if (m_pDir == nullptr || m_pLast == nullptr)
        return false;
    if (m_eFacts == FactsState::Unread)
        m_eFacts = ::fstatat(dirfd(m_pDir), m_pLast->d_name, &m_Facts, 0) == 0
                       ? FactsState::Known
                       : FactsState::Unreadable;
    if (m_eFacts != FactsState::Known)
        return false;
    *facts = m_Facts;
    return true;
}
