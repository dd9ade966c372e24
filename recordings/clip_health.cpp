#include "recordings/clip_health.h"

#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class ReadOnlyFile
{
public:
    explicit ReadOnlyFile(const std::string &path)
        : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC))
    {
        struct stat st
        {
        };
        if (m_fd >= 0 && ::fstat(m_fd, &st) == 0)
            m_nSize = st.st_size;
    }
    ~ReadOnlyFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ReadOnlyFile(const ReadOnlyFile &) = delete;
    ReadOnlyFile &operator=(const ReadOnlyFile &) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    int64_t Size() const { return m_nSize; }
    bool ReadAt(int64_t offset, void *buffer, size_t size) const
    {
        return offset >= 0 && offset + int64_t(size) <= m_nSize &&
               ::pread(m_fd, buffer, size, offset) == ssize_t(size);
    }

private:
    int m_fd;
    int64_t m_nSize = 0;
};

uint32_t LittleEndian32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t BigEndian32(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// RIFF AVI: the chunks of the first RIFF list are walked by their headers alone. A finished
// clip has its header list, a movi list that fits in the file and an idx1 after it (an OpenDML
// clip has its index in the header list and may carry no idx1; its RIFF sizes must still fit).
CLIP_HEALTH CheckAvi(const ReadOnlyFile &file)
{
    uint8_t riff[12];
    if (!file.ReadAt(0, riff, sizeof riff) || std::memcmp(riff + 8, "AVI ", 4) != 0)
        return CLIP_HEALTH::Unknown;
    const int64_t riffEnd = 8 + int64_t(LittleEndian32(riff + 4));
    bool header = false, movi = false, index = false, openDml = false;
    int64_t offset = 12;
    // Enough for the few top-level chunks a clip has; junk or padding chunks are stepped over.
    for (int steps = 0; steps < 64 && offset + 8 <= file.Size(); ++steps) {
        uint8_t chunk[12];
        if (!file.ReadAt(offset, chunk, 8))
            break;
        const int64_t size = LittleEndian32(chunk + 4);
        const int64_t end = offset + 8 + size + (size & 1);
        if (std::memcmp(chunk, "LIST", 4) == 0 && file.ReadAt(offset + 8, chunk + 8, 4)) {
            if (std::memcmp(chunk + 8, "hdrl", 4) == 0) {
                header = true;
                // An OpenDML super index lives in the stream headers.
                uint8_t probe[2048];
                const size_t length = size_t(std::min<int64_t>(size, sizeof probe));
                if (file.ReadAt(offset + 12, probe, length))
                    openDml = memmem(probe, length, "indx", 4) != nullptr;
            } else if (std::memcmp(chunk + 8, "movi", 4) == 0) {
                movi = true;
                if (offset + 8 + size > file.Size())
                    return CLIP_HEALTH::Damaged; // the last chunk was cut
            }
        } else if (std::memcmp(chunk, "idx1", 4) == 0) {
            index = offset + 8 + size <= file.Size();
        }
        if (end >= riffEnd || end <= offset)
            break;
        offset = end;
    }
    if (!header || !movi)
        return CLIP_HEALTH::Damaged;
    if (riffEnd > file.Size())
        return CLIP_HEALTH::Damaged;
    return index || openDml ? CLIP_HEALTH::Sound : CLIP_HEALTH::Damaged;
}

// CLF: the recorder rewrites the header's duration and ends the records with a zero-size end
// record when it closes the clip; a clip cut off has neither.
CLIP_HEALTH CheckClf(const ReadOnlyFile &file)
{
    uint8_t head[8], tail[16];
    if (!file.ReadAt(0, head, sizeof head) || std::memcmp(head, "CLF ", 4) != 0)
        return CLIP_HEALTH::Unknown;
    if (BigEndian32(head + 4) == 0 || !file.ReadAt(file.Size() - 16, tail, sizeof tail))
        return CLIP_HEALTH::Damaged;
    const bool endRecord =
        BigEndian32(tail) == 0 && BigEndian32(tail + 8) == 0 && BigEndian32(tail + 12) == 0;
    return endRecord ? CLIP_HEALTH::Sound : CLIP_HEALTH::Damaged;
}

} // namespace

CLIP_HEALTH CheckClipHealth(const std::string &path)
{
    const ReadOnlyFile file(path);
    if (!file.IsOpen())
        return CLIP_HEALTH::Unknown;
    uint8_t magic[4];
    if (!file.ReadAt(0, magic, sizeof magic))
        return CLIP_HEALTH::Damaged; // shorter than any header
    if (std::memcmp(magic, "RIFF", 4) == 0)
        return CheckAvi(file);
    if (std::memcmp(magic, "CLF ", 4) == 0)
        return CheckClf(file);
    return CLIP_HEALTH::Unknown;
}
