// The writer's files are read back here by a parse of their own, so a writer fault cannot hide
// behind a reader that shares its mistakes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/core/vantor_errors.h"
#include "engine/source/clf_writer.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Reads big-endian words and byte runs; any read past the end marks the parse as failed.
struct Cursor
{
    const std::vector<uint8_t> &bytes;
    size_t pos = 0;
    bool overrun = false;

    uint32_t U32()
    {
        if (pos + 4 > bytes.size()) {
            overrun = true;
            pos = bytes.size();
            return 0;
        }
        const uint32_t v = uint32_t(bytes[pos]) << 24 | uint32_t(bytes[pos + 1]) << 16 |
                           uint32_t(bytes[pos + 2]) << 8 | bytes[pos + 3];
        pos += 4;
        return v;
    }
    std::vector<uint8_t> Bytes(uint32_t n)
    {
        if (n > bytes.size() - pos) {
            overrun = true;
            pos = bytes.size();
            return {};
        }
        std::vector<uint8_t> out(bytes.begin() + long(pos), bytes.begin() + long(pos + n));
        pos += n;
        return out;
    }
};

struct Record
{
    uint32_t tag, time, size, spare;
    std::vector<uint8_t> data;
};

class ClfWriterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_Dir = fs::temp_directory_path() /
                ("clf_writer_test_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_Dir);
    }
    void TearDown() override { fs::remove_all(m_Dir); }

    static ClfLayout FullLayout()
    {
        ClfLayout layout;
        layout.video.push_back({ClfFourcc("XVID"), 640, 360, 25000, 7, {0x00, 0x00, 0x01, 0xB0}});
        layout.audio.push_back({0xFF, 16000, 1, 16, 64000, {0x14, 0x08}});
        layout.text.push_back({ClfFourcc("TRVX"), 11, 22});
        return layout;
    }

    fs::path m_Dir;
};

std::vector<uint8_t> Bytes(const std::string &text)
{
    return {text.begin(), text.end()};
}

TEST_F(ClfWriterTest, HeaderAndRecordsReadBackInOrder)
{
    const fs::path path = m_Dir / "clip.avi";
    ClfWriter writer;
    ASSERT_EQ(writer.Open(path, FullLayout()), VANTOR_OK);

    struct Sample
    {
        int32_t kind;
        uint32_t time;
        std::string data;
        uint32_t duration;
        bool key;
    };
    const Sample samples[] = {
        {kClfKindText, 0, "G$GPRMC,000000.000,A", 1000, true},
        {kClfKindVideo, 0, "key picture", 40, true},
        {kClfKindAudio, 0, "aac-1", 64, true},
        {kClfKindVideo, 40, "p", 40, false},
        {kClfKindAudio, 64, "aac-2 longer", 64, true},
        {kClfKindVideo, 80, "p2", 40, false},
        {kClfKindText, 1000, "G$GPRMC,000001.000,V", 1000, true},
    };
    for (const Sample &s : samples)
        ASSERT_EQ(writer.WriteSample(s.kind, s.time, s.data.data(), s.data.size(), s.duration, s.key),
                  VANTOR_OK);
    EXPECT_EQ(writer.DurationMs(), 2000u);
    ASSERT_EQ(writer.Finish(), VANTOR_OK);

    const std::vector<uint8_t> file = ReadFile(path);
    Cursor c{file};
    EXPECT_EQ(c.Bytes(4), Bytes("CLF "));
    EXPECT_EQ(c.U32(), 2000u); // the text stream lasts longest

    ASSERT_EQ(c.U32(), 1u); // video
    EXPECT_EQ(c.Bytes(4), Bytes("XVID"));
    EXPECT_EQ(c.U32(), 640u);
    EXPECT_EQ(c.U32(), 360u);
    EXPECT_EQ(c.U32(), 25000u);
    EXPECT_EQ(c.U32(), 7u);
    EXPECT_EQ(c.U32(), 120u); // last picture at 80 + 40
    EXPECT_EQ(c.U32(), 11u);  // "key picture"
    ASSERT_EQ(c.U32(), 4u);
    EXPECT_EQ(c.Bytes(4), (std::vector<uint8_t>{0x00, 0x00, 0x01, 0xB0}));

    ASSERT_EQ(c.U32(), 1u); // audio
    EXPECT_EQ(c.U32(), 0xFFu);
    EXPECT_EQ(c.U32(), 16000u);
    EXPECT_EQ(c.U32(), 1u);
    EXPECT_EQ(c.U32(), 16u);
    EXPECT_EQ(c.U32(), 64000u);
    EXPECT_EQ(c.U32(), 128u);
    EXPECT_EQ(c.U32(), 12u);
    ASSERT_EQ(c.U32(), 2u);
    EXPECT_EQ(c.Bytes(2), (std::vector<uint8_t>{0x14, 0x08}));

    ASSERT_EQ(c.U32(), 1u); // text
    EXPECT_EQ(c.Bytes(4), Bytes("TRVX"));
    EXPECT_EQ(c.U32(), 11u);
    EXPECT_EQ(c.U32(), 22u);
    EXPECT_EQ(c.U32(), 2000u);
    EXPECT_EQ(c.U32(), 20u);

    c.U32(); // two words before the data section
    c.U32();

    std::vector<Record> records;
    while (!c.overrun && c.pos < file.size()) {
        Record r{c.U32(), c.U32(), c.U32(), c.U32(), {}};
        r.data = c.Bytes(r.size);
        records.push_back(r);
        if (r.size == 0)
            break;
    }
    ASSERT_FALSE(c.overrun);
    EXPECT_EQ(c.pos, file.size()) << "nothing may follow the end record";
    ASSERT_EQ(records.size(), std::size(samples) + 1);
    for (size_t i = 0; i < std::size(samples); ++i) {
        const Sample &s = samples[i];
        const uint32_t tag = s.kind == kClfKindVideo   ? kClfTagVideo
                             : s.kind == kClfKindAudio ? kClfTagAudio
                                                       : kClfTagText;
        SCOPED_TRACE(i);
        EXPECT_EQ(records[i].tag, tag);
        EXPECT_EQ(records[i].time, s.time);
        EXPECT_EQ(records[i].size, s.data.size());
        EXPECT_EQ(records[i].spare, s.key ? 1u : 0u);
        EXPECT_EQ(records[i].data, Bytes(s.data));
    }
    EXPECT_EQ(records.back().size, 0u);
}

TEST_F(ClfWriterTest, EmptyLayoutGivesHeaderAndEndRecordOnly)
{
    const fs::path path = m_Dir / "empty.clf";
    ClfWriter writer;
    ASSERT_EQ(writer.Open(path, ClfLayout{}), VANTOR_OK);
    ASSERT_EQ(writer.Finish(), VANTOR_OK);
    const std::vector<uint8_t> file = ReadFile(path);
    // magic, duration, three zero counts, two spare words, then a 16-byte end record.
    ASSERT_EQ(file.size(), 4u * 7 + 16);
    Cursor c{file};
    EXPECT_EQ(c.Bytes(4), Bytes("CLF "));
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(c.U32(), 0u);
    c.U32(); // end record's tag and time
    c.U32();
    EXPECT_EQ(c.U32(), 0u);
}

TEST_F(ClfWriterTest, RefusedSamplesLeaveNoRecord)
{
    ClfLayout layout = FullLayout();
    layout.audio.clear(); // a clip without sound
    const fs::path path = m_Dir / "refused.clf";
    ClfWriter writer;
    ASSERT_EQ(writer.Open(path, layout), VANTOR_OK);
    ASSERT_EQ(writer.WriteSample(kClfKindVideo, 1000, "v", 1, 40), VANTOR_OK);

    struct Case
    {
        const char *name;
        int32_t kind;
        uint32_t time;
        size_t size;
        int32_t expected;
    };
    const Case cases[] = {
        {"video time going back", kClfKindVideo, 960, 1, VANTOR_E_INVALID_ARG},
        {"empty sample would end every stream", kClfKindVideo, 1040, 0, VANTOR_E_INVALID_ARG},
        {"kind without a stream", kClfKindAudio, 1040, 1, VANTOR_E_NO_STREAM},
        {"unknown kind", 4, 1040, 1, VANTOR_E_INVALID_ARG},
        {"another kind may lag behind", kClfKindText, 0, 1, VANTOR_OK},
        {"same time again", kClfKindVideo, 1000, 1, VANTOR_OK},
    };
    size_t accepted = 1;
    for (const Case &tc : cases) {
        EXPECT_EQ(writer.WriteSample(tc.kind, tc.time, "x", tc.size), tc.expected) << tc.name;
        accepted += tc.expected == VANTOR_OK;
    }
    // A refusal does not poison the writer.
    ASSERT_EQ(writer.Finish(), VANTOR_OK);

    const std::vector<uint8_t> file = ReadFile(path);
    const size_t dataStart = 4 * 3 + (4 * 8 + 4) + 4 + 4 + 4 * 5 + 8;
    // Each accepted sample is a 16-byte record head and 1 byte; then the end record.
    EXPECT_EQ(file.size(), dataStart + accepted * 17 + 16);
}

TEST_F(ClfWriterTest, EndRecordInTheMiddleIsWrittenWhereAsked)
{
    const fs::path path = m_Dir / "early_end.clf";
    ClfLayout layout;
    layout.text.push_back({ClfFourcc("TRVX"), 0, 0});
    ClfWriter writer;
    ASSERT_EQ(writer.Open(path, layout), VANTOR_OK);
    ASSERT_EQ(writer.WriteSample(kClfKindText, 0, "a", 1), VANTOR_OK);
    ASSERT_EQ(writer.WriteEndRecord(500), VANTOR_OK);
    ASSERT_EQ(writer.WriteSample(kClfKindText, 1000, "b", 1), VANTOR_OK);
    ASSERT_EQ(writer.Finish(), VANTOR_OK);

    const std::vector<uint8_t> file = ReadFile(path);
    Cursor c{file};
    c.pos = 4 * 3 + 4 + 4 + 4 * 5 + 8; // counts, one text entry, spare words
    const uint32_t expected[][3] = {{kClfTagText, 0, 1}, {0, 500, 0}, {kClfTagText, 1000, 1}};
    for (const auto &e : expected) {
        EXPECT_EQ(c.U32(), e[0]);
        EXPECT_EQ(c.U32(), e[1]);
        EXPECT_EQ(c.U32(), e[2]);
        c.U32();
        c.Bytes(e[2]);
    }
    EXPECT_EQ(c.U32(), 0u);
    EXPECT_EQ(c.U32(), 1000u); // the closing end record carries the duration
    EXPECT_EQ(c.U32(), 0u);
    EXPECT_FALSE(c.overrun);
}

TEST_F(ClfWriterTest, FailuresAreReported)
{
    {
        ClfWriter writer;
        EXPECT_EQ(writer.Open((m_Dir / "missing" / "clip.clf").string(), FullLayout()),
                  VANTOR_E_FILE_CREATION);
        EXPECT_NE(writer.WriteSample(kClfKindVideo, 0, "v", 1), VANTOR_OK);
        EXPECT_NE(writer.Finish(), VANTOR_OK);
    }
    {
        ClfWriter writer;
        EXPECT_EQ(writer.Open(m_Dir.string(), FullLayout()), VANTOR_E_FILE_CREATION);
    }
    {
        ClfWriter writer; // nothing opened
        EXPECT_EQ(writer.WriteSample(kClfKindVideo, 0, "v", 1), VANTOR_E_INVALID_ARG);
        EXPECT_EQ(writer.Finish(), VANTOR_E_INVALID_ARG);
    }
    if (fs::exists("/dev/full")) {
        // Every write to this device fails as a full card does; the buffered data must not be
        // reported as written.
        ClfWriter writer;
        ASSERT_EQ(writer.Open("/dev/full", FullLayout()), VANTOR_OK);
        EXPECT_EQ(writer.WriteSample(kClfKindVideo, 0, "v", 1), VANTOR_OK);
        EXPECT_EQ(writer.Finish(), VANTOR_E_WRITE);
    }
}

} // namespace
