#include "platform/file_open.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

int OpenFlags(CExclusiveFile::Mode mode)
{
    switch (mode) {
    case CExclusiveFile::Mode::Read:
    case CExclusiveFile::Mode::Hold:
        // Non-blocking so that a named pipe or a device lying where a file is expected cannot
        // stall the window thread; regular files ignore the flag.
        return O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    case CExclusiveFile::Mode::WriteNew:
        return O_WRONLY | O_CREAT | O_CLOEXEC;
    case CExclusiveFile::Mode::WriteExclusive:
        return O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
    }
    return O_RDONLY | O_CLOEXEC;
}

} // namespace

CExclusiveFile::~CExclusiveFile()
{
    Close();
}

bool CExclusiveFile::Open(const std::string &path, Mode mode)
{
    return OpenAt(AT_FDCWD, path.c_str(), mode);
}

bool CExclusiveFile::OpenAt(int folderFd, const char *name, Mode mode)
{
    Close();
    m_nFd = ::openat(folderFd, name, OpenFlags(mode), 0644);
    if (m_nFd < 0)
        return false;
    if (!Lock(mode)) {
        Close();
        return false;
    }
    // Truncate only once the lock is ours, so a file another program holds is left as it is.
    if (mode == Mode::WriteNew && ::ftruncate(m_nFd, 0) != 0) {
        Close();
        return false;
    }
    return true;
}

bool CExclusiveFile::Lock(Mode mode)
{
    const int op = (mode == Mode::Read ? LOCK_SH : LOCK_EX) | LOCK_NB;
    int rc;
    do {
        rc = ::flock(m_nFd, op);
    } while (rc != 0 && errno == EINTR);
    // File systems without lock support (some FUSE mounts) still open: nobody can hold a lock
    // there either.
    return rc == 0 || errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS;
}

void CExclusiveFile::Close()
{
    if (m_nFd >= 0) {
        ::close(m_nFd);
        m_nFd = -1;
    }
}

int64_t CExclusiveFile::Size() const
{
    struct stat st{};
    if (m_nFd < 0 || ::fstat(m_nFd, &st) != 0)
        return -1;
    return st.st_size;
}

bool CExclusiveFile::LastWriteTime(SYSTEMTIME *time) const
{
    struct stat st{};
    if (m_nFd < 0 || ::fstat(m_nFd, &st) != 0)
        return false;
    *time = SystemTimeFromUtc(st.st_mtim);
    return true;
}

bool CExclusiveFile::SizeAndTime(int64_t *size, SYSTEMTIME *time) const
{
    struct stat st{};
    if (m_nFd < 0 || ::fstat(m_nFd, &st) != 0)
        return false;
    *size = st.st_size;
    *time = SystemTimeFromUtc(st.st_mtim);
    return true;
}

int64_t CExclusiveFile::Read(void *buffer, size_t size)
{
    if (m_nFd < 0)
        return -1;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(m_nFd, static_cast<char *>(buffer) + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

bool CExclusiveFile::WriteAll(const void *buffer, size_t size)
{
    if (m_nFd < 0)
        return false;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(m_nFd, static_cast<const char *>(buffer) + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool CExclusiveFile::Sync()
{
    return m_nFd >= 0 && ::fsync(m_nFd) == 0;
}
