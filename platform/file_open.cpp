#include "platform/file_open.h"

#include <algorithm>
#include <cerrno>
#include <charconv>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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
    struct stat st
    {
    };
    if (m_nFd < 0 || ::fstat(m_nFd, &st) != 0)
        return -1;
    return st.st_size;
}

bool CExclusiveFile::LastWriteTime(SYSTEMTIME *time) const
{
    struct stat st
    {
    };
    if (m_nFd < 0 || ::fstat(m_nFd, &st) != 0)
        return false;
    *time = SystemTimeFromUtc(st.st_mtim);
    return true;
}

bool CExclusiveFile::SizeAndTime(int64_t *size, SYSTEMTIME *time) const
{
    struct stat st
    {
    };
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

namespace {

constexpr size_t kMaxLockTableBytes = size_t{4} << 20;

struct CDescriptor
{
    int fd;
    ~CDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

bool CHeldFiles::Load()
{
    m_bKnown = false;
    m_Inodes.clear();
    const CDescriptor table{::open("/proc/locks", O_RDONLY | O_CLOEXEC)};
    if (table.fd < 0)
        return false;
    std::string text;
    if (!ReadToEnd(table.fd, kMaxLockTableBytes, &text))
        return false;
    Parse(text);
    return true;
}

void CHeldFiles::Parse(std::string_view table)
{
    // A line: "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"; a process waiting for a lock
    // adds "1: -> FLOCK ..." after it, which holds nothing.
    m_Inodes.clear();
    while (!table.empty()) {
        const size_t end = std::min(table.find('\n'), table.size());
        std::string_view line = table.substr(0, end);
        table.remove_prefix(std::min(end + 1, table.size()));
        std::string_view fields[6];
        size_t count = 0;
        while (count < 6) {
            const size_t start = line.find_first_not_of(' ');
            if (start == std::string_view::npos)
                break;
            line.remove_prefix(start);
            const size_t stop = std::min(line.find(' '), line.size());
            fields[count++] = line.substr(0, stop);
            line.remove_prefix(stop);
        }
        if (count < 6 || fields[1] == "->" || fields[3] == "READ")
            continue;
        const std::string_view where = fields[5];
        const size_t colon = where.rfind(':');
        uint64_t inode = 0;
        if (colon == std::string_view::npos ||
            std::from_chars(where.data() + colon + 1, where.data() + where.size(), inode).ec !=
                std::errc{})
            continue;
        m_Inodes.push_back(inode);
    }
    std::sort(m_Inodes.begin(), m_Inodes.end());
    m_bKnown = true;
}

bool CHeldFiles::MayBeHeld(uint64_t inode) const
{
    return !m_bKnown || std::binary_search(m_Inodes.begin(), m_Inodes.end(), inode);
}

bool ReadToEnd(int fd, size_t maxBytes, std::string *text)
{
    text->clear();
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (text->size() + static_cast<size_t>(n) > maxBytes)
            return false;
        text->append(buffer, static_cast<size_t>(n));
    }
}
