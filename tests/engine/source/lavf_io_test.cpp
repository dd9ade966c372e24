// The bridge between libavformat's I/O context and our byte streams: what the read and seek
// callbacks answer at the edges (the end, sizes, errors, short reads), and reads and seeks
// through a real I/O context over a stream in memory and over a file.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
}

#include "engine/core/vantor_errors.h"
#include "engine/source/byte_stream.h"
#include "engine/source/lavf_io.h"
#include "engine/source/lavf_reader_internal.h"
#include "platform/wide_text.h"
#include "tests/support/temp_folder.h"

namespace {

// A sequential-only back-end over bytes in memory that can give short reads, fail from a
// position on, fail its skips or not know its size.
struct MemoryBackEnd
{
    std::vector<uint8_t> bytes;
    int64_t nPosition = 0;
    uint32_t nMaxRead = UINT32_MAX; // a read hands out at most this much
    int64_t nFailFrom = -1;         // reads starting here or later fail (-1: never)
    bool bSkipFails = false;
    bool bSizeUnknown = false;
    int64_t nClaimedSize = -1; // the size it reports, when not the bytes' (-1)
};

MemoryBackEnd *Back(void *instance)
{
    return static_cast<MemoryBackEnd *>(instance);
}

int64_t MemoryTotalSize(void *instance)
{
    MemoryBackEnd *b = Back(instance);
    if (b->bSizeUnknown)
        return -1;
    return b->nClaimedSize >= 0 ? b->nClaimedSize : static_cast<int64_t>(b->bytes.size());
}

int32_t MemoryRead(void *instance, void *destination, uint32_t count)
{
    MemoryBackEnd *b = Back(instance);
    if (b->nFailFrom >= 0 && b->nPosition >= b->nFailFrom)
        return VANTOR_E_READ;
    const int64_t left = static_cast<int64_t>(b->bytes.size()) - b->nPosition;
    const uint32_t n =
        static_cast<uint32_t>(std::min<int64_t>({int64_t{count}, int64_t{b->nMaxRead}, left}));
    std::copy_n(b->bytes.begin() + b->nPosition, n, static_cast<uint8_t *>(destination));
    b->nPosition += n;
    return static_cast<int32_t>(n);
}

int32_t MemorySkip(void *instance, int64_t offset)
{
    MemoryBackEnd *b = Back(instance);
    if (b->bSkipFails)
        return VANTOR_E_READ;
    b->nPosition += offset;
    return VANTOR_OK;
}

int64_t MemoryPosition(void *instance)
{
    return Back(instance)->nPosition;
}

// Only what the bridge calls; everything else stays null.
ByteStreamOps MemoryOps()
{
    ByteStreamOps ops{};
    ops.TotalSize = MemoryTotalSize;
    ops.SequentialRead = MemoryRead;
    ops.SequentialSkip = MemorySkip;
    ops.SequentialPosition = MemoryPosition;
    return ops;
}
const ByteStreamOps kMemoryOps = MemoryOps();

// Bytes whose value says where they lie.
std::vector<uint8_t> Numbered(size_t count)
{
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(i * 13 + i / 256);
    return bytes;
}

constexpr int64_t kSize = 1000;

struct SeekCase
{
    const char *name;
    int64_t nFrom;
    int64_t nOffset;
    int nWhence;
    int64_t nResult; // what the callback answers
    int64_t nAfter;  // the stream's position afterwards
};

TEST(LavfIo, SeekCallbackMovesWithinTheStreamAndRefusesTheRest)
{
    const SeekCase cases[] = {
        {"from the start", 500, 100, SEEK_SET, 100, 100},
        {"forward from here", 100, 50, SEEK_CUR, 150, 150},
        {"back from here", 600, -200, SEEK_CUR, 400, 400},
        {"back from the end", 0, -10, SEEK_END, 990, 990},
        {"to the end itself", 0, 0, SEEK_END, kSize, kSize},
        {"forced, as the probe asks", 0, 10, SEEK_SET | AVSEEK_FORCE, 10, 10},
        {"the size, staying put", 321, 0, AVSEEK_SIZE, kSize, 321},
        {"the size with force", 321, 0, AVSEEK_SIZE | AVSEEK_FORCE, kSize, 321},
        {"before the start", 50, -100, SEEK_CUR, AVERROR(EINVAL), 50},
        {"negative absolute", 50, -1, SEEK_SET, AVERROR(EINVAL), 50},
        {"past the end", 50, kSize + 1, SEEK_SET, AVERROR(EINVAL), 50},
        {"past the end from the end", 50, 1, SEEK_END, AVERROR(EINVAL), 50},
        {"an unknown whence", 50, 0, 7, AVERROR(EINVAL), 50},
    };
    for (const SeekCase &c : cases) {
        SCOPED_TRACE(c.name);
        MemoryBackEnd back{Numbered(kSize)};
        back.nPosition = c.nFrom;
        ByteStream stream{&back, {}, 0, &kMemoryOps};
        EXPECT_EQ(LavfIoSeek(&stream, c.nOffset, c.nWhence), c.nResult);
        EXPECT_EQ(back.nPosition, c.nAfter);
    }
}

TEST(LavfIo, SeekCallbackReportsWhatTheStreamCannotDo)
{
    MemoryBackEnd unsized{Numbered(kSize)};
    unsized.bSizeUnknown = true;
    ByteStream unsizedStream{&unsized, {}, 0, &kMemoryOps};
    EXPECT_EQ(LavfIoSeek(&unsizedStream, 0, AVSEEK_SIZE), AVERROR(ENOSYS));

    MemoryBackEnd stuck{Numbered(kSize)};
    stuck.bSkipFails = true;
    ByteStream stuckStream{&stuck, {}, 0, &kMemoryOps};
    EXPECT_EQ(LavfIoSeek(&stuckStream, 10, SEEK_SET), AVERROR(EIO));
}

struct ReadCase
{
    const char *name;
    int64_t nFrom;
    uint32_t nMaxRead;
    int64_t nFailFrom;
    int nAsk;
    int nResult;          // bytes, or the error the callback answers
    int64_t nClaimedSize; // -1: the bytes' own
};

TEST(LavfIo, ReadCallbackHandsOverWhatCameAndMapsTheEnd)
{
    const ReadCase cases[] = {
        {"a whole read", 0, UINT32_MAX, -1, 100, 100, -1},
        {"a short read stays short", 0, 7, -1, 100, 7, -1},
        {"the last bytes", kSize - 30, UINT32_MAX, -1, 100, 30, -1},
        {"at the end", kSize, UINT32_MAX, -1, 100, AVERROR_EOF, -1},
        {"a failure inside", 200, UINT32_MAX, 200, 100, AVERROR(EIO), -1},
        {"a failure at the end is the end", kSize, UINT32_MAX, kSize, 100, AVERROR_EOF, -1},
        // A file cut short after its size was taken: nothing more comes, which is its end.
        {"nothing before the claimed end", kSize, UINT32_MAX, -1, 100, AVERROR_EOF, 2 * kSize},
    };
    const std::vector<uint8_t> bytes = Numbered(kSize);
    for (const ReadCase &c : cases) {
        SCOPED_TRACE(c.name);
        MemoryBackEnd back{bytes};
        back.nPosition = c.nFrom;
        back.nMaxRead = c.nMaxRead;
        back.nFailFrom = c.nFailFrom;
        back.nClaimedSize = c.nClaimedSize;
        ByteStream stream{&back, {}, 0, &kMemoryOps};
        // Guard bytes on both sides of what the callback may write.
        std::vector<uint8_t> buffer(static_cast<size_t>(c.nAsk) + 32, 0xA5);
        const int got = LavfIoRead(&stream, buffer.data() + 16, c.nAsk);
        EXPECT_EQ(got, c.nResult);
        const int filled = got > 0 ? got : 0;
        for (int i = 0; i < filled; ++i)
            ASSERT_EQ(buffer[16 + i], bytes[c.nFrom + i]) << i;
        for (size_t i = 0; i < buffer.size(); ++i) {
            if (i < 16 || i >= 16 + static_cast<size_t>(filled)) {
                ASSERT_EQ(buffer[i], 0xA5) << "written outside the read at " << i;
            }
        }
    }
}

// What libavformat sees through a real I/O context: the size, reads after seeks both ways
// (past its own buffer), the end flag, and a seek past the end refused without moving. (The
// context takes only SEEK_SET and SEEK_CUR; SEEK_END reaches the callback from its size query.)
void CheckThroughIoContext(ByteStream *stream, const std::vector<uint8_t> &bytes)
{
    lavf::Demuxer d;
    ASSERT_EQ(LavfOpenIo(&d, stream), VANTOR_OK);
    AVIOContext *io = d.pIo.get();
    const int64_t size = static_cast<int64_t>(bytes.size());
    EXPECT_EQ(avio_size(io), size);

    struct Step
    {
        int64_t nOffset;
        int nWhence;
        int64_t nLanded;
        int nRead;
    };
    const Step steps[] = {
        {0, SEEK_SET, 0, 64},        {size - 16, SEEK_SET, size - 16, 16},
        {-8, SEEK_CUR, size - 8, 8}, {kLavfIoBufferSize + 5, SEEK_SET, kLavfIoBufferSize + 5, 300},
        {10, SEEK_SET, 10, 100},     {-50, SEEK_CUR, 60, 20},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(testing::Message() << "seek " << s.nOffset << " whence " << s.nWhence);
        ASSERT_EQ(avio_seek(io, s.nOffset, s.nWhence), s.nLanded);
        std::vector<uint8_t> got(static_cast<size_t>(s.nRead));
        ASSERT_EQ(avio_read(io, got.data(), s.nRead), s.nRead);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), bytes.begin() + s.nLanded));
        EXPECT_EQ(avio_tell(io), s.nLanded + s.nRead);
    }

    EXPECT_LT(avio_seek(io, size + 10, SEEK_SET), 0);
    EXPECT_EQ(avio_tell(io), 80);
    uint8_t byte = 0;
    ASSERT_EQ(avio_seek(io, size - 1, SEEK_SET), size - 1);
    EXPECT_EQ(avio_read(io, &byte, 1), 1);
    EXPECT_EQ(byte, bytes.back());
    EXPECT_EQ(avio_read(io, &byte, 1), AVERROR_EOF);
    EXPECT_TRUE(avio_feof(io));
}

TEST(LavfIo, AnIoContextReadsAndSeeksTheStreamsBytes)
{
    // Larger than the I/O buffer, so seeks leave what libavformat holds.
    const std::vector<uint8_t> bytes = Numbered(3 * kLavfIoBufferSize + 123);
    {
        SCOPED_TRACE("memory, in short reads");
        MemoryBackEnd back{bytes};
        back.nMaxRead = 1000;
        ByteStream stream{&back, {}, 0, &kMemoryOps};
        CheckThroughIoContext(&stream, bytes);
    }
    {
        SCOPED_TRACE("a file");
        CTempFolder folder;
        WriteBytes(folder / "bytes.bin", bytes);
        ByteStream *opened = nullptr;
        ASSERT_EQ(ByteStreamOpen(Utf8ToWide(folder / "bytes.bin").c_str(), 0, &opened), VANTOR_OK);
        ByteStreamPtr stream(opened);
        CheckThroughIoContext(stream.get(), bytes);
    }
}

} // namespace
