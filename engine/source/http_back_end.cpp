#include "engine/source/http_back_end.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include "engine/codecs/av_owners.h"
#include "engine/core/vantor_errors.h"
#include "engine/source/file_back_end.h"
#include "platform/thread_util.h"
#include "platform/wide_text.h"

namespace {

constexpr size_t kChunk = 65536;
constexpr auto kWaitSlice = std::chrono::milliseconds(100);
// libavformat's own limit for one network operation, in microseconds.
constexpr const char *kNetworkTimeoutUs = "15000000";

// The temporary file's descriptor.
class CacheFile
{
public:
    CacheFile() = default;
    ~CacheFile()
    {
        if (m_nFd >= 0)
            ::close(m_nFd);
    }
    CacheFile(const CacheFile &) = delete;
    CacheFile &operator=(const CacheFile &) = delete;

    // An unnamed file in the temporary folder, gone when it is closed.
    bool Create()
    {
        std::error_code error;
        std::string folder = std::filesystem::temp_directory_path(error).string();
        if (error)
            folder = "/tmp";
        m_nFd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (m_nFd >= 0)
            return true;
        std::string name = folder + "/roadlog-http-XXXXXX";
        m_nFd = ::mkostemp(name.data(), O_CLOEXEC);
        if (m_nFd < 0)
            return false;
        ::unlink(name.c_str());
        return true;
    }

    bool WriteAt(const uint8_t *data, size_t count, int64_t position)
    {
        while (count) {
            const ssize_t n = ::pwrite(m_nFd, data, count, position);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            data += n;
            count -= static_cast<size_t>(n);
            position += n;
        }
        return true;
    }

    int64_t ReadAt(void *destination, size_t count, int64_t position) const
    {
        auto *out = static_cast<uint8_t *>(destination);
        size_t done = 0;
        while (done < count) {
            const ssize_t n = ::pread(m_nFd, out + done, count - done, position + done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return -1;
            if (n == 0)
                break;
            done += static_cast<size_t>(n);
        }
        return static_cast<int64_t>(done);
    }

private:
    int m_nFd = -1;
};

// One response body being copied into the cache file, shared by an instance and its clones.
struct HttpDownload
{
    AvIoOpenedPtr pIo; // closed after the thread has ended (destructor below)
    CacheFile cache;
    int64_t nTotal = 0;
    std::atomic<int64_t> nAvailable{0};
    std::atomic<bool> bFinished{false}; // all bytes arrived, or the download failed
    std::atomic<int32_t> nError{0};
    std::atomic<bool> bAbort{false};
    std::mutex lock; // guards nothing but the waits below
    std::condition_variable grown;
    std::thread worker;

    ~HttpDownload()
    {
        bAbort.store(true);
        if (worker.joinable())
            worker.join();
    }
};

int Interrupted(void *opaque)
{
    return static_cast<HttpDownload *>(opaque)->bAbort.load() ? 1 : 0;
}

void Finish(HttpDownload *download, int32_t error)
{
    {
        std::lock_guard<std::mutex> guard(download->lock);
        download->nError.store(error);
        download->bFinished.store(true);
    }
    download->grown.notify_all();
}

void DownloadMain(HttpDownload *download)
{
    SetCurrentThreadName("HttpDownload");
    std::unique_ptr<uint8_t[]> chunk(new (std::nothrow) uint8_t[kChunk]);
    if (!chunk) {
        Finish(download, VANTOR_E_OUT_OF_MEMORY);
        return;
    }
    int64_t have = 0;
    while (have < download->nTotal) {
        if (download->bAbort.load()) {
            Finish(download, VANTOR_E_READ);
            return;
        }
        const int want = static_cast<int>(std::min<int64_t>(kChunk, download->nTotal - have));
        const int n = avio_read_partial(download->pIo.get(), chunk.get(), want);
        if (n < 0 || (n == 0 && avio_feof(download->pIo.get()))) {
            // The body ended before its stated length, or the connection failed.
            Finish(download, n == AVERROR_EOF || n == 0 ? VANTOR_E_DISCONNECTED : HttpErrorCode(n));
            return;
        }
        if (n == 0)
            continue;
        if (!download->cache.WriteAt(chunk.get(), static_cast<size_t>(n), have)) {
            Finish(download, VANTOR_E_WRITE);
            return;
        }
        have += n;
        {
            std::lock_guard<std::mutex> guard(download->lock);
            download->nAvailable.store(have);
        }
        download->grown.notify_all();
    }
    Finish(download, VANTOR_OK);
}

struct HTTP_CURSOR
{
    bool bUsed;
    int64_t nPosition;
};

struct HttpBackEnd
{
    std::shared_ptr<HttpDownload> pDownload;
    HTTP_CURSOR cursors[kMaxCursors];
    std::atomic<int64_t> nSequentialPosition{0};
};

HttpBackEnd *Cast(void *instance)
{
    return static_cast<HttpBackEnd *>(instance);
}

// Waits until count bytes at position have arrived (or the download ended), then copies what
// is there: bytes read, or a code (0x80000012 at the end of the body).
int32_t ReadAt(HttpDownload *download, int64_t position, void *destination, uint32_t count)
{
    if ((!destination && count) || count > INT32_MAX || position < 0)
        return VANTOR_E_INVALID_ARG;
    if (count == 0)
        return 0;
    if (position >= download->nTotal)
        return VANTOR_E_READ;
    const int64_t end = std::min<int64_t>(download->nTotal, position + count);
    {
        std::unique_lock<std::mutex> guard(download->lock);
        int64_t seen = download->nAvailable.load();
        auto lastProgress = std::chrono::steady_clock::now();
        while (download->nAvailable.load() < end && !download->bFinished.load()) {
            download->grown.wait_for(guard, kWaitSlice);
            const int64_t now = download->nAvailable.load();
            if (now != seen) {
                seen = now;
                lastProgress = std::chrono::steady_clock::now();
            } else if (std::chrono::steady_clock::now() - lastProgress >
                       std::chrono::milliseconds(kHttpStallMs)) {
                return VANTOR_E_TIME_OUT;
            }
        }
    }
    const int64_t available = std::min(download->nAvailable.load(), end);
    if (available <= position) {
        const int32_t error = download->nError.load();
        return error < 0 ? error : VANTOR_E_READ;
    }
    const int64_t got =
        download->cache.ReadAt(destination, static_cast<size_t>(available - position), position);
    if (got <= 0)
        return VANTOR_E_READ;
    return static_cast<int32_t>(got);
}

std::string UrlOf(const wchar_t *locator)
{
    std::string url = WideToUtf8(locator);
    constexpr const char kMulti[] = "httpm://";
    if (url.rfind(kMulti, 0) == 0)
        url = "http://" + url.substr(sizeof kMulti - 1);
    return url;
}

int32_t Open(const wchar_t *locator, uintptr_t, void **instance)
{
    *instance = nullptr;
    if (!locator)
        return VANTOR_E_INVALID_ARG;
    auto download = std::make_shared<HttpDownload>();
    if (!download->cache.Create())
        return VANTOR_E_FILE_CREATION;
    AvOptions options;
    av_dict_set(&options.p, "rw_timeout", kNetworkTimeoutUs, 0);
    const AVIOInterruptCB interrupt = {Interrupted, download.get()};
    AVIOContext *io = nullptr;
    const int opened =
        avio_open2(&io, UrlOf(locator).c_str(), AVIO_FLAG_READ, &interrupt, &options.p);
    if (opened < 0)
        return HttpErrorCode(opened);
    download->pIo.reset(io);
    download->nTotal = avio_size(io);
    // A body of unknown length (chunked, or a live stream) has no size to detect and seek in.
    if (download->nTotal <= 0)
        return download->nTotal == 0 ? VANTOR_E_FILE_NOT_FOUND : VANTOR_E_UNSUPPORTED_URL;
    std::unique_ptr<HttpBackEnd> backEnd(new (std::nothrow) HttpBackEnd{});
    if (!backEnd)
        return VANTOR_E_OUT_OF_MEMORY;
    try {
        download->worker = std::thread(DownloadMain, download.get());
    } catch (const std::system_error &) {
        return VANTOR_E_THREAD;
    }
    backEnd->pDownload = std::move(download);
    *instance = backEnd.release();
    return VANTOR_OK;
}

int32_t Clone(void *instance, void **clone)
{
    *clone = nullptr;
    auto *backEnd = new (std::nothrow) HttpBackEnd{};
    if (!backEnd)
        return VANTOR_E_OUT_OF_MEMORY;
    backEnd->pDownload = Cast(instance)->pDownload;
    *clone = backEnd;
    return VANTOR_OK;
}

void Close(void *instance)
{
    delete Cast(instance);
}

HTTP_CURSOR *CursorOf(HttpBackEnd *backEnd, int32_t cursor)
{
    if (cursor < 0 || cursor >= kMaxCursors || !backEnd->cursors[cursor].bUsed)
        return nullptr;
    return &backEnd->cursors[cursor];
}

int32_t NewCursor(void *instance, uint32_t)
{
    HttpBackEnd *backEnd = Cast(instance);
    for (int32_t i = 0; i < kMaxCursors; ++i) {
        if (!backEnd->cursors[i].bUsed) {
            backEnd->cursors[i] = HTTP_CURSOR{true, 0};
            return i;
        }
    }
    return VANTOR_E_OUT_OF_MEMORY;
}

void FreeCursor(void *instance, int32_t cursor)
{
    if (HTTP_CURSOR *c = CursorOf(Cast(instance), cursor))
        c->bUsed = false;
}

int64_t TotalSize(void *instance)
{
    return Cast(instance)->pDownload->nTotal;
}

int64_t AvailableSize(void *instance)
{
    return Cast(instance)->pDownload->nAvailable.load();
}

int32_t CursorRead(void *instance, int32_t cursor, void *destination, uint32_t count)
{
    HttpBackEnd *backEnd = Cast(instance);
    HTTP_CURSOR *c = CursorOf(backEnd, cursor);
    if (!c)
        return VANTOR_E_INVALID_ARG;
    const int32_t got = ReadAt(backEnd->pDownload.get(), c->nPosition, destination, count);
    if (got > 0)
        c->nPosition += got;
    return got;
}

int32_t CursorWrite(void *, int32_t, const void *, uint32_t)
{
    return VANTOR_E_WRITE;
}

// A position inside the body, or 0x80000015.
int32_t MoveTo(int64_t total, int64_t *position, int64_t target)
{
    if (target < 0 || target > total)
        return VANTOR_E_SEEK;
    *position = target;
    return VANTOR_OK;
}

int32_t Skip(void *instance, int32_t cursor, int64_t offset)
{
    HttpBackEnd *backEnd = Cast(instance);
    HTTP_CURSOR *c = CursorOf(backEnd, cursor);
    if (!c)
        return VANTOR_E_INVALID_ARG;
    if (!SkipStaysInside(c->nPosition, offset, backEnd->pDownload->nTotal))
        return VANTOR_E_SEEK;
    c->nPosition += offset;
    return VANTOR_OK;
}

int32_t Seek(void *instance, int32_t cursor, int64_t position)
{
    HttpBackEnd *backEnd = Cast(instance);
    HTTP_CURSOR *c = CursorOf(backEnd, cursor);
    if (!c)
        return VANTOR_E_INVALID_ARG;
    return MoveTo(backEnd->pDownload->nTotal, &c->nPosition, position);
}

int32_t SeekFromEnd(void *instance, int32_t cursor, int64_t offset)
{
    HttpBackEnd *backEnd = Cast(instance);
    const int64_t total = backEnd->pDownload->nTotal;
    if (offset > 0 || offset < -total)
        return VANTOR_E_SEEK;
    return Seek(instance, cursor, total + offset);
}

int64_t Tell(void *instance, int32_t cursor)
{
    HTTP_CURSOR *c = CursorOf(Cast(instance), cursor);
    return c ? c->nPosition : VANTOR_E_INVALID_ARG;
}

int32_t SequentialRead(void *instance, void *destination, uint32_t count)
{
    HttpBackEnd *backEnd = Cast(instance);
    const int64_t here = backEnd->nSequentialPosition.load();
    const int32_t got = ReadAt(backEnd->pDownload.get(), here, destination, count);
    if (got > 0)
        backEnd->nSequentialPosition.store(here + got);
    return got;
}

int32_t SequentialSkip(void *instance, int64_t offset)
{
    HttpBackEnd *backEnd = Cast(instance);
    const int64_t here = backEnd->nSequentialPosition.load();
    if (!SkipStaysInside(here, offset, backEnd->pDownload->nTotal))
        return VANTOR_E_SEEK;
    backEnd->nSequentialPosition.store(here + offset);
    return VANTOR_OK;
}

int64_t SequentialPosition(void *instance)
{
    return Cast(instance)->nSequentialPosition.load();
}

int32_t SequentialRewind(void *instance)
{
    Cast(instance)->nSequentialPosition.store(0);
    return VANTOR_OK;
}

} // namespace

int32_t HttpErrorCode(int averror)
{
    switch (averror) {
    case AVERROR_HTTP_NOT_FOUND:
    case AVERROR(ENOENT):
        return VANTOR_E_FILE_NOT_FOUND;
    case AVERROR_HTTP_BAD_REQUEST:
    case AVERROR_HTTP_UNAUTHORIZED:
    case AVERROR_HTTP_FORBIDDEN:
    case AVERROR_HTTP_OTHER_4XX:
        return VANTOR_E_INVALID_REQUEST;
    case AVERROR_HTTP_SERVER_ERROR:
        return VANTOR_E_SERVER_ERROR;
    case AVERROR(ETIMEDOUT):
        return VANTOR_E_TIME_OUT;
    case AVERROR(ENOMEM):
        return VANTOR_E_OUT_OF_MEMORY;
    case AVERROR_PROTOCOL_NOT_FOUND:
    case AVERROR(EINVAL):
        return VANTOR_E_UNSUPPORTED_URL;
    case AVERROR_INVALIDDATA:
        return VANTOR_E_PROTOCOL_SYNTAX;
    case AVERROR_EXIT:
        return VANTOR_E_READ;
    default:
        return VANTOR_E_NO_CONNECTION;
    }
}

const ByteStreamOps g_HttpBackEndOps = {
    .Open = Open,
    .Clone = Clone,
    .Close = Close,
    .NewCursor = NewCursor,
    .FreeCursor = FreeCursor,
    .TotalSize = TotalSize,
    .AvailableSize = AvailableSize,
    .CursorRead = CursorRead,
    .CursorReadSplit = nullptr,
    .CursorWrite = CursorWrite,
    .Skip = Skip,
    .Seek = Seek,
    .SeekFromEnd = SeekFromEnd,
    .Tell = Tell,
    .SequentialRead = SequentialRead,
    .SequentialSkip = SequentialSkip,
    .SequentialPosition = SequentialPosition,
    .SequentialRewind = SequentialRewind,
};
