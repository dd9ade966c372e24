#include "engine/source/file_back_end.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include "engine/core/vantor_errors.h"
#include "platform/wide_text.h"

FileObject::~FileObject()
{
    Close();
}

int32_t FileObject::OpenFile(const std::string &path, Mode mode, bool create)
{
    Close();
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::Read:
        flags |= O_RDONLY;
        break;
    case Mode::Write:
        flags |= O_WRONLY | O_TRUNC | (create ? O_CREAT : 0);
        break;
    case Mode::ReadWrite:
        flags |= O_RDWR | O_TRUNC | (create ? O_CREAT : 0);
        break;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return VANTOR_E_FILE_NOT_FOUND;
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return VANTOR_E_FILE_NOT_FOUND;
    }
    m_nFd = fd;
    m_bWritable = mode != Mode::Read;
    m_strPath = path;
    return VANTOR_OK;
}

int32_t FileObject::OpenMemory(uint8_t *block, uint64_t capacity)
{
    Close();
    if (!block || capacity < 4)
        return VANTOR_E_INVALID_ARG;
    const uint64_t length = (uint64_t{block[0]} << 24) | (uint64_t{block[1]} << 16) |
                            (uint64_t{block[2]} << 8) | block[3];
    if (length > capacity - 4)
        return VANTOR_E_INVALID_ARG;
    m_pBlock = block;
    m_nCapacity = capacity;
    m_nBlockLength = length;
    m_bWritable = true;
    return VANTOR_OK;
}

void FileObject::Close()
{
    if (m_pBlock) {
        m_pBlock[0] = static_cast<uint8_t>(m_nBlockLength >> 24);
        m_pBlock[1] = static_cast<uint8_t>(m_nBlockLength >> 16);
        m_pBlock[2] = static_cast<uint8_t>(m_nBlockLength >> 8);
        m_pBlock[3] = static_cast<uint8_t>(m_nBlockLength);
        m_pBlock = nullptr;
    }
    if (m_nFd >= 0) {
        if (m_bWritable)
            (void)::fsync(m_nFd);
        ::close(m_nFd);
        m_nFd = -1;
    }
    m_bWritable = false;
}

int64_t FileObject::ReadAt(int64_t position, void *destination, size_t count)
{
    return ReadAt(position, destination, count, nullptr, 0);
}

int64_t FileObject::ReadAt(int64_t position, void *head, size_t headCount, void *body,
                           size_t bodyCount)
{
    if (position < 0)
        return -1;
    if (m_pBlock) {
        uint64_t at = static_cast<uint64_t>(position);
        uint64_t done = 0;
        for (auto [out, count] : {std::pair{head, headCount}, std::pair{body, bodyCount}}) {
            const uint64_t left = at < m_nBlockLength ? m_nBlockLength - at : 0;
            const uint64_t n = std::min<uint64_t>(count, left);
            if (n)
                std::memcpy(out, m_pBlock + 4 + at, n);
            at += n;
            done += n;
        }
        return static_cast<int64_t>(done);
    }
    if (m_nFd < 0)
        return -1;
    iovec parts[2] = {{head, headCount}, {body, bodyCount}};
    int first = 0;
    const int count = bodyCount ? 2 : 1;
    size_t done = 0;
    for (;;) {
        // Step over the parts that are complete, and into the one a short read stopped in.
        while (first < count && parts[first].iov_len == 0)
            ++first;
        if (first == count)
            break;
        const ssize_t n =
            ::preadv(m_nFd, parts + first, count - first, position + static_cast<int64_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
        for (size_t got = static_cast<size_t>(n); got > 0; ++first) {
            const size_t used = std::min(got, parts[first].iov_len);
            parts[first].iov_base = static_cast<uint8_t *>(parts[first].iov_base) + used;
            parts[first].iov_len -= used;
            got -= used;
            if (parts[first].iov_len != 0)
                break;
        }
    }
    return static_cast<int64_t>(done);
}

int64_t FileObject::WriteAt(int64_t position, const void *source, size_t count)
{
    if (!m_bWritable || position < 0)
        return -1;
    if (m_pBlock) {
        const uint64_t at = static_cast<uint64_t>(position);
        const uint64_t room = m_nCapacity - 4 > at ? m_nCapacity - 4 - at : 0;
        const uint64_t n = std::min<uint64_t>(count, room);
        if (n == 0)
            return 0;
        std::memcpy(m_pBlock + 4 + at, source, n);
        m_nBlockLength = std::max(m_nBlockLength, at + n);
        return static_cast<int64_t>(n);
    }
    const auto *in = static_cast<const uint8_t *>(source);
    size_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::pwrite(m_nFd, in + done, count - done, position + static_cast<int64_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return done ? static_cast<int64_t>(done) : -1;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

int64_t FileObject::Size() const
{
    if (m_pBlock)
        return static_cast<int64_t>(m_nBlockLength);
    struct stat st
    {
    };
    if (m_nFd < 0 || ::fstat(m_nFd, &st) != 0)
        return -1;
    return st.st_size;
}

namespace {

FileBackEnd *Cast(void *instance)
{
    return static_cast<FileBackEnd *>(instance);
}

FILE_CURSOR *CursorOf(FileBackEnd *backEnd, int32_t cursor)
{
    if (cursor < 0 || cursor >= kMaxCursors || !backEnd->cursors[cursor].bUsed)
        return nullptr;
    return &backEnd->cursors[cursor];
}

int64_t CursorTell(const FILE_CURSOR &cursor)
{
    return cursor.nPosition - (cursor.nBuffered - cursor.nReadPointer);
}

void DropBuffer(FILE_CURSOR &cursor)
{
    cursor.nPosition = CursorTell(cursor);
    cursor.nReadPointer = 0;
    cursor.nBuffered = 0;
}

int64_t ReadAt(FileBackEnd *backEnd, int64_t position, void *destination, size_t count,
               int32_t *error)
{
    const int64_t n = backEnd->file.ReadAt(position, destination, count);
    if (n < 0)
        *error = VANTOR_E_READ;
    return n;
}

int32_t OpenOn(FileBackEnd *backEnd, const wchar_t *locator, uintptr_t streamArgument,
               uint8_t *block)
{
    int32_t result;
    if (streamArgument != 0) {
        result = backEnd->file.OpenMemory(block, streamArgument);
    } else {
        backEnd->strLocator = locator;
        result =
            backEnd->file.OpenFile(WideToUtf8(backEnd->strLocator), FileObject::Mode::Read, false);
    }
    if (result < 0)
        return result;
    backEnd->nStreamArgument = streamArgument;
    backEnd->nSize = backEnd->file.Size();
    if (backEnd->nSize < 0)
        return VANTOR_E_READ;
    return VANTOR_OK;
}

int32_t Open(const wchar_t *locator, uintptr_t streamArgument, void **instance)
{
    *instance = nullptr;
    if (!locator)
        return VANTOR_E_INVALID_ARG;
    std::unique_ptr<FileBackEnd> backEnd(new (std::nothrow) FileBackEnd{});
    if (!backEnd)
        return VANTOR_E_OUT_OF_MEMORY;
    const int32_t result = OpenOn(backEnd.get(), locator, streamArgument,
                                  reinterpret_cast<uint8_t *>(const_cast<wchar_t *>(locator)));
    if (result < 0)
        return result;
    *instance = backEnd.release();
    return VANTOR_OK;
}

int32_t Clone(void *instance, void **clone)
{
    FileBackEnd *source = Cast(instance);
    *clone = nullptr;
    std::unique_ptr<FileBackEnd> backEnd(new (std::nothrow) FileBackEnd{});
    if (!backEnd)
        return VANTOR_E_OUT_OF_MEMORY;
    const int32_t result = OpenOn(backEnd.get(), source->strLocator.c_str(),
                                  source->nStreamArgument, source->file.Block());
    if (result < 0)
        return result;
    *clone = backEnd.release();
    return VANTOR_OK;
}

void Close(void *instance)
{
    delete Cast(instance);
}

int32_t NewCursor(void *instance, uint32_t bufferSize)
{
    FileBackEnd *backEnd = Cast(instance);
    for (int32_t i = 0; i < kMaxCursors; ++i) {
        FILE_CURSOR &cursor = backEnd->cursors[i];
        if (cursor.bUsed)
            continue;
        try {
            cursor.buffer.assign(bufferSize, 0);
        } catch (const std::bad_alloc &) {
            return VANTOR_E_OUT_OF_MEMORY;
        }
        cursor.bUsed = true;
        cursor.nPosition = 0;
        cursor.nReadPointer = 0;
        cursor.nBuffered = 0;
        return i;
    }
    return VANTOR_E_OUT_OF_MEMORY;
}

void FreeCursor(void *instance, int32_t cursor)
{
    if (FILE_CURSOR *c = CursorOf(Cast(instance), cursor)) {
        c->bUsed = false;
        std::vector<uint8_t>().swap(c->buffer);
    }
}

int64_t TotalSize(void *instance)
{
    return Cast(instance)->nSize;
}

int32_t CursorRead(void *instance, int32_t cursor, void *destination, uint32_t count)
{
    FileBackEnd *backEnd = Cast(instance);
    FILE_CURSOR *c = CursorOf(backEnd, cursor);
    if (!c || (!destination && count) || count > INT32_MAX)
        return VANTOR_E_INVALID_ARG;
    if (count == 0)
        return 0;
    auto *out = static_cast<uint8_t *>(destination);
    uint32_t done = std::min(count, c->nBuffered - c->nReadPointer);
    if (done) {
        std::memcpy(out, c->buffer.data() + c->nReadPointer, done);
        c->nReadPointer += done;
    }
    if (done < count) {
        c->nReadPointer = 0;
        c->nBuffered = 0;
        int32_t error = 0;
        const int64_t direct = ReadAt(backEnd, c->nPosition, out + done, count - done, &error);
        if (direct < 0)
            return error;
        c->nPosition += direct;
        done += static_cast<uint32_t>(direct);
        if (!c->buffer.empty() && c->nPosition < backEnd->nSize) {
            const int64_t filled =
                ReadAt(backEnd, c->nPosition, c->buffer.data(), c->buffer.size(), &error);
            if (filled > 0) {
                c->nBuffered = static_cast<uint32_t>(filled);
                c->nPosition += filled;
            }
        }
    }
    return done ? static_cast<int32_t>(done) : VANTOR_E_READ;
}

int32_t CursorReadSplit(void *instance, int32_t cursor, void *head, uint32_t headCount, void *body,
                        uint32_t bodyCount)
{
    FileBackEnd *backEnd = Cast(instance);
    FILE_CURSOR *c = CursorOf(backEnd, cursor);
    if (!c || (!head && headCount) || (!body && bodyCount) ||
        uint64_t{headCount} + bodyCount > INT32_MAX)
        return VANTOR_E_INVALID_ARG;
    if (!c->buffer.empty()) {
        // A read-ahead cursor hands out its buffer first; two plain reads keep that in one place.
        int32_t done = 0;
        for (auto [out, count] : {std::pair{head, headCount}, std::pair{body, bodyCount}}) {
            auto *to = static_cast<uint8_t *>(out);
            while (count) {
                const int32_t got = CursorRead(instance, cursor, to, count);
                if (got < 0)
                    return done ? done : got;
                to += got;
                count -= static_cast<uint32_t>(got);
                done += got;
            }
        }
        return done;
    }
    const int64_t n = backEnd->file.ReadAt(c->nPosition, head, headCount, body, bodyCount);
    if (n < 0)
        return VANTOR_E_READ;
    c->nPosition += n;
    return n ? static_cast<int32_t>(n) : VANTOR_E_READ;
}

int32_t CursorWrite(void *instance, int32_t cursor, const void *source, uint32_t count)
{
    FileBackEnd *backEnd = Cast(instance);
    FILE_CURSOR *c = CursorOf(backEnd, cursor);
    if (!c || (!source && count) || count > INT32_MAX)
        return VANTOR_E_INVALID_ARG;
    DropBuffer(*c);
    const int64_t n = backEnd->file.WriteAt(c->nPosition, source, count);
    if (n < 0)
        return VANTOR_E_WRITE;
    c->nPosition += n;
    backEnd->nSize = std::max(backEnd->nSize, c->nPosition);
    return static_cast<int32_t>(n);
}

int32_t MoveTo(FileBackEnd *backEnd, FILE_CURSOR *c, int64_t target)
{
    if (target < 0 || target > backEnd->nSize)
        return VANTOR_E_SEEK;
    c->nPosition = target;
    c->nReadPointer = 0;
    c->nBuffered = 0;
    return VANTOR_OK;
}

int32_t Skip(void *instance, int32_t cursor, int64_t offset)
{
    FileBackEnd *backEnd = Cast(instance);
    FILE_CURSOR *c = CursorOf(backEnd, cursor);
    if (!c)
        return VANTOR_E_INVALID_ARG;
    const int64_t left = c->nBuffered - c->nReadPointer;
    if (offset >= -static_cast<int64_t>(c->nReadPointer) && offset <= left) {
        c->nReadPointer = static_cast<uint32_t>(c->nReadPointer + offset);
        return VANTOR_OK;
    }
    const int64_t here = CursorTell(*c);
    if ((offset > 0 && here > INT64_MAX - offset) || (offset < 0 && here < -offset))
        return VANTOR_E_SEEK;
    return MoveTo(backEnd, c, here + offset);
}

int32_t Seek(void *instance, int32_t cursor, int64_t position)
{
    FileBackEnd *backEnd = Cast(instance);
    FILE_CURSOR *c = CursorOf(backEnd, cursor);
    if (!c)
        return VANTOR_E_INVALID_ARG;
    if (position < 0)
        return VANTOR_E_SEEK;
    return Skip(instance, cursor, position - CursorTell(*c));
}

int32_t SeekFromEnd(void *instance, int32_t cursor, int64_t offset)
{
    FileBackEnd *backEnd = Cast(instance);
    if (offset > 0 || offset < -backEnd->nSize)
        return VANTOR_E_SEEK;
    return Seek(instance, cursor, backEnd->nSize + offset);
}

int64_t Tell(void *instance, int32_t cursor)
{
    FILE_CURSOR *c = CursorOf(Cast(instance), cursor);
    return c ? CursorTell(*c) : VANTOR_E_INVALID_ARG;
}

int32_t SequentialRead(void *instance, void *destination, uint32_t count)
{
    FileBackEnd *backEnd = Cast(instance);
    if ((!destination && count) || count > INT32_MAX)
        return VANTOR_E_INVALID_ARG;
    if (count == 0)
        return 0;
    int32_t error = 0;
    const int64_t n = ReadAt(backEnd, backEnd->nSequentialPosition, destination, count, &error);
    if (n < 0)
        return error;
    if (n == 0)
        return VANTOR_E_READ;
    backEnd->nSequentialPosition += n;
    return static_cast<int32_t>(n);
}

int32_t SequentialSkip(void *instance, int64_t offset)
{
    FileBackEnd *backEnd = Cast(instance);
    const int64_t here = backEnd->nSequentialPosition;
    if (!SkipStaysInside(here, offset, backEnd->nSize))
        return VANTOR_E_SEEK;
    backEnd->nSequentialPosition = here + offset;
    return VANTOR_OK;
}

int64_t SequentialPosition(void *instance)
{
    return Cast(instance)->nSequentialPosition;
}

int32_t SequentialRewind(void *instance)
{
    Cast(instance)->nSequentialPosition = 0;
    return VANTOR_OK;
}

} // namespace

const ByteStreamOps g_FileBackEndOps = {
    .Open = Open,
    .Clone = Clone,
    .Close = Close,
    .NewCursor = NewCursor,
    .FreeCursor = FreeCursor,
    .TotalSize = TotalSize,
    .AvailableSize = nullptr,
    .CursorRead = CursorRead,
    .CursorReadSplit = CursorReadSplit,
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
