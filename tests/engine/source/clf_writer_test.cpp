// The writer's files are read back here by a parse of their own, so a writer fault cannot hide
// behind a reader that shares its mistakes.
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/core/vantor_errors.h"
#include "engine/source/clf_writer.h"
#include "tests/engine/source/clf_file_parse.h"

namespace {

namespace fs = std::filesystem;

using clf_test::ParseClf;
using clf_test::ParsedClf;

ParsedClf ParseFile(const fs::path &path)
{
    return ParseClf(clf_test::ReadFileBytes(path));
}

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
        ASSERT_EQ(
            writer.WriteSample(s.kind, s.time, s.data.data(), s.data.size(), s.duration, s.key),
            VANTOR_OK);
    EXPECT_EQ(writer.DurationMs(), 2000u);
    ASSERT_EQ(writer.Finish(), VANTOR_OK);

    const ParsedClf clf = ParseFile(path);
    ASSERT_EQ(clf.error, "");
    EXPECT_EQ(clf.magic, "CLF ");
    EXPECT_EQ(clf.durationMs, 2000u); // the text stream lasts longest

    ASSERT_EQ(clf.video.size(), 1u);
    const ParsedClf::Video &v = clf.video[0];
    EXPECT_EQ(clf_test::FourccText(v.fourcc), "XVID");
    EXPECT_EQ(v.width, 640u);
    EXPECT_EQ(v.height, 360u);
    EXPECT_EQ(v.rate1000, 25000u);
    EXPECT_EQ(v.extraValue, 7u);
    EXPECT_EQ(v.durationMs, 120u); // last picture at 80 + 40
    EXPECT_EQ(v.largest, 11u);     // "key picture"
    EXPECT_EQ(v.extraData, (std::vector<uint8_t>{0x00, 0x00, 0x01, 0xB0}));

    ASSERT_EQ(clf.audio.size(), 1u);
    const ParsedClf::Audio &a = clf.audio[0];
    EXPECT_EQ(a.format, 0xFFu);
    EXPECT_EQ(a.sampleRate, 16000u);
    EXPECT_EQ(a.channels, 1u);
    EXPECT_EQ(a.bits, 16u);
    EXPECT_EQ(a.bitRate, 64000u);
    EXPECT_EQ(a.durationMs, 128u);
    EXPECT_EQ(a.largest, 12u);
    EXPECT_EQ(a.extraData, (std::vector<uint8_t>{0x14, 0x08}));

    ASSERT_EQ(clf.text.size(), 1u);
    const ParsedClf::Text &t = clf.text[0];
    EXPECT_EQ(clf_test::FourccText(t.codec), "TRVX");
    EXPECT_EQ(t.param1, 11u);
    EXPECT_EQ(t.param2, 22u);
    EXPECT_EQ(t.durationMs, 2000u);
    EXPECT_EQ(t.largest, 20u);

    // magic, duration, counts, entries with their extra data, two spare words
    EXPECT_EQ(clf.dataStart, size_t(4 * 5 + (32 + 4) + (32 + 2) + 20 + 8));
    ASSERT_EQ(clf.records.size(), std::size(samples) + 1);
    EXPECT_TRUE(clf.endRecordLast) << "nothing may follow the end record";
    for (size_t i = 0; i < std::size(samples); ++i) {
        const Sample &s = samples[i];
        const uint32_t tag = s.kind == kClfKindVideo   ? CLF_TAG_VIDEO
                             : s.kind == kClfKindAudio ? CLF_TAG_AUDIO
                                                       : CLF_TAG_TEXT;
        SCOPED_TRACE(i);
        const ParsedClf::Record &r = clf.records[i];
        EXPECT_EQ(r.tag, tag);
        EXPECT_EQ(r.timeMs, s.time);
        EXPECT_EQ(r.size, s.data.size());
        EXPECT_EQ(r.spare, s.key ? 1u : 0u);
        EXPECT_EQ(r.data, Bytes(s.data));
    }
    EXPECT_EQ(clf.records.back().timeMs, 2000u);
}

TEST_F(ClfWriterTest, EmptyLayoutGivesHeaderAndEndRecordOnly)
{
    const fs::path path = m_Dir / "empty.clf";
    ClfWriter writer;
    ASSERT_EQ(writer.Open(path, ClfLayout{}), VANTOR_OK);
    ASSERT_EQ(writer.Finish(), VANTOR_OK);
    const ParsedClf clf = ParseFile(path);
    ASSERT_EQ(clf.error, "");
    EXPECT_EQ(clf.magic, "CLF ");
    EXPECT_EQ(clf.durationMs, 0u);
    EXPECT_TRUE(clf.video.empty() && clf.audio.empty() && clf.text.empty());
    EXPECT_EQ(clf.dataStart, 4u * 7);
    ASSERT_EQ(clf.records.size(), 1u);
    EXPECT_TRUE(clf.endRecordLast);
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

    const ParsedClf clf = ParseFile(path);
    ASSERT_EQ(clf.error, "");
    EXPECT_EQ(clf.records.size(), accepted + 1);
    EXPECT_EQ(clf.audio.size(), 0u);
    EXPECT_EQ(clf.video[0].durationMs, 1040u);
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

    const ParsedClf clf = ParseFile(path);
    ASSERT_EQ(clf.error, "");
    // The closing end record carries the duration.
    const uint32_t expected[][3] = {
        {CLF_TAG_TEXT, 0, 1}, {0, 500, 0}, {CLF_TAG_TEXT, 1000, 1}, {0, 1000, 0}};
    ASSERT_EQ(clf.records.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(clf.records[i].tag, expected[i][0]) << i;
        EXPECT_EQ(clf.records[i].timeMs, expected[i][1]) << i;
        EXPECT_EQ(clf.records[i].size, expected[i][2]) << i;
    }
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
