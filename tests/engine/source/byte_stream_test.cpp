#include <cstring>
#include <memory>

#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/core/vantor_errors.h"
#include "engine/source/byte_stream.h"
#include "engine/source/file_back_end.h"
#include "source_test_util.h"

namespace {

uint8_t PatternAt(int64_t i)
{
    return static_cast<uint8_t>((i * 7 + i / 251) & 0xFF);
}

std::vector<uint8_t> Pattern(size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = PatternAt(static_cast<int64_t>(i));
    return bytes;
}

ByteStreamPtr OpenFile(const std::string &path, int32_t *result = nullptr)
{
    const std::wstring locator = Wide(path);
    ByteStream *stream = nullptr;
    const int32_t r = ByteStreamOpen(locator.c_str(), 0, &stream);
    if (result)
        *result = r;
    return ByteStreamPtr(stream);
}

int32_t Read(ByteStream *s, int32_t cursor, std::vector<uint8_t> *out, uint32_t count)
{
    out->assign(count, 0);
    const int32_t got = s->pOps->CursorRead(s->pInstance, cursor, out->data(), count);
    if (got >= 0)
        out->resize(static_cast<size_t>(got));
    return got;
}

std::vector<uint8_t> Expected(int64_t from, size_t count)
{
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = PatternAt(from + static_cast<int64_t>(i));
    return bytes;
}

constexpr int64_t kFileSize = 10000;

class FileStreamTest : public ::testing::TestWithParam<uint32_t>
{
protected:
    void SetUp() override
    {
        m_strPath = m_folder.Write("pattern.bin", Pattern(kFileSize));
        m_stream = OpenFile(m_strPath);
        ASSERT_TRUE(m_stream);
    }

    ByteStream *S() { return m_stream.get(); }
    int32_t NewCursor(uint32_t size) { return S()->pOps->NewCursor(S()->pInstance, size); }
    int64_t Tell(int32_t c) { return S()->pOps->Tell(S()->pInstance, c); }
    int32_t Skip(int32_t c, int64_t by) { return S()->pOps->Skip(S()->pInstance, c, by); }

    TempFolder m_folder;
    std::string m_strPath;
    ByteStreamPtr m_stream;
};

// Each step moves or reads one cursor; the bytes and the position must follow the file whatever
// the read-ahead size, and two cursors must not disturb each other.
TEST_P(FileStreamTest, CursorsFollowTheFileWithAnyReadAhead)
{
    const int32_t a = NewCursor(GetParam());
    const int32_t b = NewCursor(GetParam());
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    struct Step
    {
        int which;     // 0 = a, 1 = b
        char op;       // r read, k skip, s seek, e seek from end
        int64_t value; // count, offset or position
        int64_t tellAfter;
    };
    const Step steps[] = {
        {0, 'r', 10, 10},     {0, 'k', 5, 15},     {0, 'r', 3, 18},     {1, 'r', 4, 4},
        {0, 'k', 100, 118},   {0, 'r', 40, 158},   {0, 'k', -30, 128},  {0, 'r', 8, 136},
        {1, 's', 9000, 9000}, {1, 'r', 600, 9600}, {0, 'r', 50, 186},   {0, 'k', -186, 0},
        {0, 'r', 5000, 5000}, {1, 'e', -16, 9984}, {1, 'r', 64, 10000}, {0, 's', 4095, 4095},
        {0, 'r', 2, 4097},
    };
    int64_t position[2] = {0, 0};
    for (const Step &step : steps) {
        const int32_t c = step.which ? b : a;
        SCOPED_TRACE(testing::Message()
                     << "cursor " << step.which << " op " << step.op << " " << step.value);
        if (step.op == 'r') {
            std::vector<uint8_t> got;
            const int32_t n = Read(S(), c, &got, static_cast<uint32_t>(step.value));
            const int64_t expect = std::min(step.value, kFileSize - position[step.which]);
            ASSERT_EQ(n, expect);
            EXPECT_EQ(got, Expected(position[step.which], static_cast<size_t>(expect)));
        } else if (step.op == 'k') {
            ASSERT_EQ(Skip(c, step.value), VANTOR_OK);
        } else if (step.op == 's') {
            ASSERT_EQ(S()->pOps->Seek(S()->pInstance, c, step.value), VANTOR_OK);
        } else {
            ASSERT_EQ(S()->pOps->SeekFromEnd(S()->pInstance, c, step.value), VANTOR_OK);
        }
        position[step.which] = step.tellAfter;
        EXPECT_EQ(Tell(c), step.tellAfter);
    }
}

TEST_P(FileStreamTest, EndOfFileAndSkipsBeyondIt)
{
    const int32_t c = NewCursor(GetParam());
    ASSERT_EQ(S()->pOps->Seek(S()->pInstance, c, kFileSize), VANTOR_OK);
    std::vector<uint8_t> got;
    EXPECT_EQ(Read(S(), c, &got, 1), VANTOR_E_READ);
    EXPECT_EQ(Skip(c, 1), VANTOR_E_SEEK);
    EXPECT_EQ(Skip(c, -kFileSize - 1), VANTOR_E_SEEK);
    EXPECT_EQ(S()->pOps->Seek(S()->pInstance, c, kFileSize + 1), VANTOR_E_SEEK);
    EXPECT_EQ(Tell(c), kFileSize) << "a refused skip leaves the cursor where it was";
    ASSERT_EQ(Skip(c, -kFileSize), VANTOR_OK);
    EXPECT_EQ(Read(S(), c, &got, 4), 4);
    EXPECT_EQ(got, Expected(0, 4));
}

INSTANTIATE_TEST_SUITE_P(ReadAhead, FileStreamTest, ::testing::Values(0u, 16u, 4096u, 20000u));

TEST(FileBackEnd, BufferedReadFillsTheBufferOnce)
{
    TempFolder folder;
    const std::string path = folder.Write("p.bin", Pattern(kFileSize));
    ByteStreamPtr stream = OpenFile(path);
    ByteStream *s = stream.get();
    const int32_t c = s->pOps->NewCursor(s->pInstance, 256);
    std::vector<uint8_t> got;
    ASSERT_EQ(Read(s, c, &got, 4), 4);
    // The buffer now holds bytes 4..259: changing the file underneath must not show through
    // for those, and a skip inside them must not drop them.
    std::vector<uint8_t> zeros(kFileSize, 0);
    folder.Write("p.bin", zeros);
    ASSERT_EQ(s->pOps->Skip(s->pInstance, c, 100), VANTOR_OK);
    ASSERT_EQ(Read(s, c, &got, 156), 156);
    EXPECT_EQ(got, Expected(104, 156));
    // A skip outside drops the buffer; what follows is read from the file again.
    ASSERT_EQ(s->pOps->Skip(s->pInstance, c, 1000), VANTOR_OK);
    ASSERT_EQ(Read(s, c, &got, 4), 4);
    EXPECT_EQ(got, std::vector<uint8_t>(4, 0));
}

// Reads are positioned: each cursor reads at its own position whatever the descriptor's, and no
// read moves the descriptor.
TEST(FileBackEnd, CursorsReadAtTheirOwnPositionsWhateverTheDescriptors)
{
    TempFolder folder;
    ByteStreamPtr stream = OpenFile(folder.Write("m.bin", Pattern(kFileSize)));
    ByteStream *s = stream.get();
    const int fd = static_cast<FileBackEnd *>(s->pInstance)->file.Fd();
    const int32_t a = s->pOps->NewCursor(s->pInstance, 0);
    const int32_t b = s->pOps->NewCursor(s->pInstance, 0);
    std::vector<uint8_t> got;
    ASSERT_EQ(Read(s, a, &got, 10), 10);
    ASSERT_EQ(::lseek(fd, 500, SEEK_SET), 500);
    ASSERT_EQ(Read(s, a, &got, 4), 4);
    EXPECT_EQ(got, Expected(10, 4));
    ASSERT_EQ(Read(s, b, &got, 4), 4);
    EXPECT_EQ(got, Expected(0, 4));
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 500);
}

// A split read fills the head, then the body, from the cursor on, in one request where the
// cursor has no buffer and through the buffer where it has one; at the end it is short.
TEST(FileBackEnd, SplitReadFillsHeadThenBody)
{
    for (uint32_t readAhead : {0u, 64u}) {
        SCOPED_TRACE(readAhead);
        TempFolder folder;
        ByteStreamPtr stream = OpenFile(folder.Write("s.bin", Pattern(kFileSize)));
        ByteStream *s = stream.get();
        const int32_t c = s->pOps->NewCursor(s->pInstance, readAhead);
        std::vector<uint8_t> got;
        ASSERT_EQ(Read(s, c, &got, 3), 3);
        uint8_t head[4];
        std::vector<uint8_t> body(100);
        ASSERT_EQ(s->pOps->CursorReadSplit(s->pInstance, c, head, 4, body.data(), 100), 104);
        EXPECT_EQ(std::vector<uint8_t>(head, head + 4), Expected(3, 4));
        EXPECT_EQ(body, Expected(7, 100));
        EXPECT_EQ(s->pOps->Tell(s->pInstance, c), 107);
        ASSERT_EQ(s->pOps->Seek(s->pInstance, c, kFileSize - 50), VANTOR_OK);
        EXPECT_EQ(s->pOps->CursorReadSplit(s->pInstance, c, head, 4, body.data(), 100), 50);
        EXPECT_EQ(std::vector<uint8_t>(body.begin(), body.begin() + 46),
                  Expected(kFileSize - 46, 46));
        EXPECT_LT(s->pOps->CursorReadSplit(s->pInstance, c, head, 4, body.data(), 100), 0)
            << "nothing left";
    }
}

TEST(FileBackEnd, TwentyCursorsAtMost)
{
    TempFolder folder;
    ByteStreamPtr stream = OpenFile(folder.Write("c.bin", Pattern(16)));
    ByteStream *s = stream.get();
    for (int i = 0; i < kMaxCursors; ++i)
        ASSERT_EQ(s->pOps->NewCursor(s->pInstance, 8), i);
    EXPECT_EQ(s->pOps->NewCursor(s->pInstance, 8), VANTOR_E_OUT_OF_MEMORY);
    s->pOps->FreeCursor(s->pInstance, 7);
    EXPECT_EQ(s->pOps->NewCursor(s->pInstance, 0), 7);
}

TEST(FileBackEnd, IntegerReadsInBothByteOrders)
{
    TempFolder folder;
    ByteStreamPtr stream =
        OpenFile(folder.Write("i.bin", {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}));
    ByteStream *s = stream.get();
    const int32_t c = s->pOps->NewCursor(s->pInstance, 0);
    struct Case
    {
        const char *name;
        uint64_t (*read)(ByteStream *, int32_t);
        uint64_t expected;
    };
    const Case cases[] = {
        {"8", [](ByteStream *s, int32_t c) -> uint64_t { return ByteStreamRead8(s, c); }, 0x01},
        {"BE16", [](ByteStream *s, int32_t c) -> uint64_t { return ByteStreamReadBE16(s, c); },
         0x0102},
        {"LE16", [](ByteStream *s, int32_t c) -> uint64_t { return ByteStreamReadLE16(s, c); },
         0x0201},
        {"BE24", [](ByteStream *s, int32_t c) -> uint64_t { return ByteStreamReadBE24(s, c); },
         0x010203},
        {"LE24", [](ByteStream *s, int32_t c) -> uint64_t { return ByteStreamReadLE24(s, c); },
         0x030201},
        {"BE32", [](ByteStream *s, int32_t c) -> uint64_t { return ByteStreamReadBE32(s, c); },
         0x01020304},
        {"LE32", [](ByteStream *s, int32_t c) -> uint64_t { return ByteStreamReadLE32(s, c); },
         0x04030201},
        {"BE64", ByteStreamReadBE64, 0x0102030405060708},
        {"LE64", ByteStreamReadLE64, 0x0807060504030201},
    };
    for (const Case &k : cases) {
        ASSERT_EQ(s->pOps->Seek(s->pInstance, c, 0), VANTOR_OK);
        s->nLastError = 0;
        EXPECT_EQ(k.read(s, c), k.expected) << k.name;
        EXPECT_EQ(s->nLastError, 0) << k.name;
    }
    // Seven bytes left after one: a 64-bit read falls short, returns 0 and records the failure.
    ASSERT_EQ(s->pOps->Seek(s->pInstance, c, 1), VANTOR_OK);
    EXPECT_EQ(ByteStreamReadBE64(s, c), 0u);
    EXPECT_EQ(s->nLastError, VANTOR_E_READ);
    ASSERT_EQ(s->pOps->Seek(s->pInstance, c, 8), VANTOR_OK);
    s->nLastError = 0;
    EXPECT_EQ(ByteStreamReadLE32(s, c), 0u);
    EXPECT_EQ(s->nLastError, VANTOR_E_READ);
}

TEST(FileBackEnd, SequentialReadHasItsOwnPosition)
{
    TempFolder folder;
    ByteStreamPtr stream = OpenFile(folder.Write("q.bin", Pattern(100)));
    ByteStream *s = stream.get();
    const int32_t c = s->pOps->NewCursor(s->pInstance, 16);
    std::vector<uint8_t> got;
    ASSERT_EQ(Read(s, c, &got, 50), 50);
    uint8_t head[10];
    ASSERT_EQ(s->pOps->SequentialRead(s->pInstance, head, 10), 10);
    EXPECT_EQ(std::vector<uint8_t>(head, head + 10), Expected(0, 10));
    EXPECT_EQ(s->pOps->SequentialSkip(s->pInstance, 80), VANTOR_OK);
    EXPECT_EQ(s->pOps->SequentialPosition(s->pInstance), 90);
    EXPECT_EQ(s->pOps->SequentialSkip(s->pInstance, 11), VANTOR_E_SEEK);
    ASSERT_EQ(s->pOps->SequentialRead(s->pInstance, head, 10), 10);
    EXPECT_EQ(s->pOps->SequentialRead(s->pInstance, head, 10), VANTOR_E_READ);
    s->pOps->SequentialRewind(s->pInstance);
    EXPECT_EQ(s->pOps->SequentialPosition(s->pInstance), 0);
    ASSERT_EQ(Read(s, c, &got, 10), 10);
    EXPECT_EQ(got, Expected(50, 10)) << "the cursor is not moved by sequential reads";
}

TEST(FileBackEnd, MemoryBlockWithLengthPrefix)
{
    // Capacity 16: the prefix says 5 bytes of data.
    uint8_t block[16] = {0, 0, 0, 5, 'h', 'e', 'l', 'l', 'o'};
    ByteStream *raw = nullptr;
    ASSERT_EQ(ByteStreamOpen(reinterpret_cast<const wchar_t *>(block), sizeof block, &raw),
              VANTOR_OK);
    ByteStreamPtr stream(raw);
    EXPECT_EQ(ByteStreamTotalSize(raw), 5);
    const int32_t c = raw->pOps->NewCursor(raw->pInstance, 4);
    std::vector<uint8_t> got;
    ASSERT_EQ(Read(raw, c, &got, 16), 5);
    EXPECT_EQ(std::string(got.begin(), got.end()), "hello");
    const int32_t plain = raw->pOps->NewCursor(raw->pInstance, 0);
    char head[2] = {}, body[8] = {};
    ASSERT_EQ(raw->pOps->CursorReadSplit(raw->pInstance, plain, head, 2, body, 8), 5);
    EXPECT_EQ(std::string(head, 2) + std::string(body, 3), "hello");
    // Writing past the data grows it up to the capacity; closing stores the new length.
    ASSERT_EQ(raw->pOps->CursorWrite(raw->pInstance, c, "!!!!!!!!!", 9), 7);
    stream.reset();
    EXPECT_EQ(block[3], 12);
    EXPECT_EQ(std::memcmp(block + 4, "hello!!!!!!!", 12), 0);

    uint8_t lying[8] = {0, 0, 0, 9};
    EXPECT_EQ(ByteStreamOpen(reinterpret_cast<const wchar_t *>(lying), sizeof lying, &raw),
              VANTOR_E_INVALID_ARG);
}

TEST(ByteStreamOpen, LocatorKinds)
{
    ByteStream *s = nullptr;
    EXPECT_EQ(ByteStreamOpen(L"/nonexistent/clip.avi", 0, &s), VANTOR_E_FILE_NOT_FOUND);
    EXPECT_EQ(ByteStreamOpen(L"/", 0, &s), VANTOR_E_FILE_NOT_FOUND) << "a folder is no file";
    // Both go to the network back-end; nothing listens on port 1 of this machine.
    EXPECT_EQ(ByteStreamOpen(L"http://127.0.0.1:1/clip.avi", 0, &s), VANTOR_E_NO_CONNECTION);
    EXPECT_EQ(ByteStreamOpen(L"httpm://127.0.0.1:1/clip.avi", 0, &s), VANTOR_E_NO_CONNECTION);
    EXPECT_EQ(ByteStreamOpen(L"httpx://127.0.0.1:1/clip.avi", 0, &s), VANTOR_E_FILE_NOT_FOUND);
    EXPECT_EQ(s, nullptr);
}

TEST(FileBackEnd, ReadModeRefusesWritesAndCloneReadsTheSameFile)
{
    TempFolder folder;
    ByteStreamPtr stream = OpenFile(folder.Write("w.bin", Pattern(64)));
    ByteStream *s = stream.get();
    const int32_t c = s->pOps->NewCursor(s->pInstance, 0);
    EXPECT_EQ(s->pOps->CursorWrite(s->pInstance, c, "x", 1), VANTOR_E_WRITE);
    ByteStream *clone = nullptr;
    ASSERT_EQ(ByteStreamClone(s, &clone), VANTOR_OK);
    ByteStreamPtr cloned(clone);
    const int32_t d = clone->pOps->NewCursor(clone->pInstance, 0);
    ASSERT_EQ(clone->pOps->Seek(clone->pInstance, d, 60), VANTOR_OK);
    std::vector<uint8_t> got;
    ASSERT_EQ(Read(clone, d, &got, 8), 4);
    EXPECT_EQ(got, Expected(60, 4));
    EXPECT_EQ(s->pOps->Tell(s->pInstance, c), 0);
}

} // namespace
