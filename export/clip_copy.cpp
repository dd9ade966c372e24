#include "export/clip_copy.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavutil/hash.h>
}

namespace {

constexpr size_t kChunk = 1 << 20;

struct HashFree
{
    void operator()(AVHashContext *ctx) const { av_hash_freep(&ctx); }
};
using HashPtr = std::unique_ptr<AVHashContext, HashFree>;

class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int Get() const { return m_fd; }
    // Closes now; false when the close reported an error (a write that never reached the disk).
    bool Close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

HashPtr NewSha256()
{
    AVHashContext *ctx = nullptr;
    if (av_hash_alloc(&ctx, "SHA256") < 0)
        return nullptr;
    av_hash_init(ctx);
    return HashPtr(ctx);
}

std::string HexOf(AVHashContext *ctx)
{
    char hex[2 * AV_HASH_MAX_SIZE + 1] = {};
    av_hash_final_hex(ctx, reinterpret_cast<uint8_t *>(hex), sizeof hex);
    return hex;
}

ssize_t ReadSome(int fd, uint8_t *buffer, size_t size)
{
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

bool WriteAll(int fd, const uint8_t *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

std::string BaseName(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string FileSha256(const std::string &path)
{
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    HashPtr hash = NewSha256();
    if (fd.Get() < 0 || !hash)
        return {};
    std::vector<uint8_t> buffer(kChunk);
    for (;;) {
        const ssize_t n = ReadSome(fd.Get(), buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (n == 0)
            break;
        av_hash_update(hash.get(), buffer.data(), size_t(n));
    }
    return HexOf(hash.get());
}

COPY_FILE_RESULT CopyFileVerified(const std::string &source, const std::string &folder,
                                  uint64_t done, uint64_t total, const CopyProgress &progress)
{
    COPY_FILE_RESULT result;
    std::string dir = folder;
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    result.target = dir + BaseName(source);
    const std::string part = result.target + ".part";
    auto fail = [&](const std::string &why) {
        ::unlink(part.c_str());
        result.error = why;
        return result;
    };
    Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.Get() < 0)
        return fail(std::string("cannot be read: ") + std::strerror(errno));
    struct stat st
    {
    };
    if (::fstat(in.Get(), &st) != 0)
        return fail(std::string("cannot be read: ") + std::strerror(errno));
    Fd out(::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (out.Get() < 0)
        return fail(std::string("cannot be written: ") + std::strerror(errno));
    HashPtr hash = NewSha256();
    if (!hash)
        return fail("out of memory");
    std::vector<uint8_t> buffer(kChunk);
    uint64_t copied = 0;
    for (;;) {
        const ssize_t n = ReadSome(in.Get(), buffer.data(), buffer.size());
        if (n < 0)
            return fail(std::string("cannot be read: ") + std::strerror(errno));
        if (n == 0)
            break;
        if (!WriteAll(out.Get(), buffer.data(), size_t(n)))
            return fail(std::string("cannot be written: ") + std::strerror(errno));
        av_hash_update(hash.get(), buffer.data(), size_t(n));
        copied += uint64_t(n);
        if (progress && !progress(done + copied, total))
            return fail("cancelled");
    }
    if (::fsync(out.Get()) != 0 || !out.Close())
        return fail(std::string("cannot be written: ") + std::strerror(errno));
    result.nBytes = copied;
    result.sha256 = HexOf(hash.get());
    // The card may have been pulled mid-copy: the source must still have the size it had.
    if (copied != uint64_t(st.st_size))
        return fail("the clip changed size while it was copied");
    struct stat written
    {
    };
    if (::stat(part.c_str(), &written) != 0 || uint64_t(written.st_size) != copied)
        return fail("the copy does not have the clip's size");
    if (FileSha256(part) != result.sha256)
        return fail("the copy does not match the clip (checksum differs)");
    if (::rename(part.c_str(), result.target.c_str()) != 0)
        return fail(std::string("cannot be named: ") + std::strerror(errno));
    result.bOk = true;
    return result;
}

COPY_RUN_RESULT CopyClipsVerified(const std::vector<std::string> &clips, const std::string &folder,
                                  const CopyProgress &progress)
{
    COPY_RUN_RESULT run;
    uint64_t total = 0;
    for (const std::string &clip : clips) {
        struct stat st
        {
        };
        if (::stat(clip.c_str(), &st) == 0)
            total += uint64_t(st.st_size);
    }
    uint64_t done = 0;
    bool cancelled = false;
    const CopyProgress watch = [&](uint64_t now, uint64_t all) {
        cancelled = progress && !progress(now, all);
        return !cancelled;
    };
    for (const std::string &clip : clips) {
        COPY_FILE_RESULT file = CopyFileVerified(clip, folder, done, total, watch);
        if (cancelled) {
            run.bCancelled = true;
            break;
        }
        done += file.nBytes;
        if (!file.bOk)
            ++run.nFailed;
        run.files.push_back(std::move(file));
    }
    return run;
}
