#include <string>

#include <gtest/gtest.h>

#include "engine/core/fourcc.h"
#include "engine/core/vantor_errors.h"
#include "engine/source/clf_reader.h"
#include "engine/source/clf_writer.h"
#include "engine/source/source_object.h"
#include "source_test_util.h"

namespace {

struct Sample
{
    int32_t result;
    uint32_t time;
    std::string data;
};

// One open CLF source with its media information; closed at the end.
class ClfSource
{
public:
    int32_t Open(const std::string &path) { return SourceOpenPath(path, &m_pSource, &m_info); }
    ~ClfSource() { SourceClose(m_pSource); }

    Sample Read(int32_t kind, uint32_t bufferSize = 4096, int32_t *readerResult = nullptr)
    {
        std::string buffer(bufferSize, '\0');
        SampleRequest request{};
        request.pBuffer = reinterpret_cast<uint8_t *>(buffer.data());
        request.nBufferSize = bufferSize;
        request.nKind = kind;
        m_nLastNeeded = 0;
        const int32_t result = SourceRead(m_pSource, &request, readerResult);
        if (result != VANTOR_OK)
            m_nLastNeeded = request.nBufferSize;
        return {result, request.nTime,
                result == VANTOR_OK ? buffer.substr(0, request.nLength) : ""};
    }

    std::vector<uint32_t> TimesUntilEnd(int32_t kind)
    {
        std::vector<uint32_t> times;
        for (Sample s = Read(kind); s.result == VANTOR_OK; s = Read(kind))
            times.push_back(s.time);
        return times;
    }

    SourceObject *Source() const { return m_pSource; }
    const MediaInfo &Info() const { return m_info; }
    uint32_t LastNeeded() const { return m_nLastNeeded; }

private:
    SourceObject *m_pSource = nullptr;
    MediaInfo m_info{};
    uint32_t m_nLastNeeded = 0;
};

std::string TextAt(uint32_t time)
{
    return "G$GPRMC," + std::to_string(time);
}

// 40 s: video every second (each one a key frame), audio every 500 ms, text every second, each
// record stamped with the time it carries so a mix-up shows.
std::string WriteDrive(const TempFolder &folder)
{
    const std::string path = folder.Path("drive.avi");
    ClfLayout layout;
    layout.video.push_back({ClfFourcc("XVID"), 320, 240, 25000, 7, {0x00, 0x00, 0x01, 0xB0}});
    layout.audio.push_back({0xFF, 16000, 1, 16, 32000, {0x14, 0x08}});
    layout.text.push_back({ClfFourcc("TRVX"), 11, 22});
    ClfWriter writer;
    EXPECT_EQ(writer.Open(path, layout), VANTOR_OK);
    for (uint32_t t = 0; t < 40000; t += 500) {
        if (t % 1000 == 0) {
            const std::string v = "video " + std::to_string(t);
            EXPECT_EQ(writer.WriteSample(kClfKindVideo, t, v.data(), v.size(), 1000), VANTOR_OK);
        }
        const std::string a = "audio " + std::to_string(t);
        EXPECT_EQ(writer.WriteSample(kClfKindAudio, t, a.data(), a.size(), 500), VANTOR_OK);
        if (t % 1000 == 0) {
            const std::string s = TextAt(t);
            EXPECT_EQ(writer.WriteSample(kClfKindText, t, s.data(), s.size(), 1000), VANTOR_OK);
        }
    }
    EXPECT_EQ(writer.Finish(), VANTOR_OK);
    return path;
}

TEST(ClfReader, HeaderFieldsReachTheMediaInformation)
{
    TempFolder folder;
    ClfSource source;
    ASSERT_EQ(source.Open(WriteDrive(folder)), VANTOR_OK);
    const MediaInfo &info = source.Info();
    EXPECT_EQ(info.nMediaType, kClfMediaType);
    EXPECT_EQ(info.nVideoCount, 1u);
    EXPECT_EQ(info.nAudioCount, 1u);
    EXPECT_EQ(info.nTextCount, 1u);
    EXPECT_EQ(info.nDuration, 40000u);
    EXPECT_EQ(info.video[0].nFourcc, MakeFourcc("XVID"));
    EXPECT_EQ(info.video[0].nWidth, 320u);
    EXPECT_EQ(info.video[0].nHeight, 240u);
    EXPECT_EQ(info.video[0].nFrameRate, 25000u);
    EXPECT_EQ(info.video[0].nExtraValue, 7u);
    ASSERT_EQ(info.video[0].nExtraDataLength, 4u);
    EXPECT_EQ(info.video[0].byExtraData[3], 0xB0);
    EXPECT_EQ(info.audio[0].nFormat, 0xFFu);
    EXPECT_EQ(info.audio[0].nSampleRate, 16000u);
    EXPECT_EQ(info.audio[0].nBitRate, 32000u);
    EXPECT_EQ(info.audio[0].nExtraDataLength, 2u);
    EXPECT_EQ(info.text[0].nCodec, MakeFourcc("TRVX"));
    EXPECT_EQ(info.text[0].nParam1, 11u);
    EXPECT_EQ(info.text[0].nParam2, 22u);
    EXPECT_EQ(info.text[0].nMaxSampleSize, TextAt(39000).size());
}

TEST(ClfReader, TextComesInFileOrderWhateverTheOtherKindsDo)
{
    TempFolder folder;
    ClfSource source;
    ASSERT_EQ(source.Open(WriteDrive(folder)), VANTOR_OK);
    // Run video ahead and leave audio behind; the text stream has its own cursor.
    for (int i = 0; i < 25; ++i)
        ASSERT_EQ(source.Read(SAMPLE_KIND_VIDEO).result, VANTOR_OK);
    for (uint32_t t = 0; t < 40000; t += 1000) {
        const Sample s = source.Read(SAMPLE_KIND_TEXT);
        ASSERT_EQ(s.result, VANTOR_OK) << t;
        EXPECT_EQ(s.time, t);
        EXPECT_EQ(s.data, TextAt(t));
    }
    EXPECT_EQ(source.Read(SAMPLE_KIND_TEXT).result, VANTOR_E_END_OF_STREAM);
    const Sample a = source.Read(SAMPLE_KIND_AUDIO);
    EXPECT_EQ(a.time, 0u);
    EXPECT_EQ(a.data, "audio 0");
}

TEST(ClfReader, SeekLandsOnTheFirstRecordAtOrAfterAndLeavesTextAlone)
{
    TempFolder folder;
    ClfSource source;
    ASSERT_EQ(source.Open(WriteDrive(folder)), VANTOR_OK);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(source.Read(SAMPLE_KIND_TEXT).result, VANTOR_OK);

    struct Case
    {
        uint32_t target;
        int32_t precise;
        uint32_t video;
        uint32_t audio;
        uint32_t reached;
    };
    const Case cases[] = {
        {30000, 0, 30000, 30000, 30000},
        {29999, 0, 30000, 30000, 30000},
        {30250, 0, 31000, 31000, 31000}, // video first, audio follows the video's time
        {30250, 1, 31000, 30500, 31000}, // audio first, video follows the audio's time
        {0, 1, 0, 0, 0},
    };
    for (const Case &c : cases) {
        uint32_t position = c.target;
        ASSERT_EQ(SourceSeek(source.Source(), &position, c.precise), 1) << c.target;
        EXPECT_EQ(position, c.reached) << c.target;
        EXPECT_EQ(source.Read(SAMPLE_KIND_VIDEO).data, "video " + std::to_string(c.video));
        EXPECT_EQ(source.Read(SAMPLE_KIND_AUDIO).data, "audio " + std::to_string(c.audio));
    }
    uint32_t position = 39600;
    EXPECT_EQ(SourceSeekToKeyFrame(source.Source(), &position, 1), 0) << "no video after it";
    EXPECT_EQ(source.Read(SAMPLE_KIND_TEXT).time, 3000u) << "text is not moved by seeks";
}

TEST(ClfReader, ZeroSizeRecordEndsEveryStream)
{
    TempFolder folder;
    const std::string path = folder.Path("cut.avi");
    ClfLayout layout;
    layout.video.push_back({ClfFourcc("XVID"), 16, 16, 25000, 0, {}});
    layout.audio.push_back({0xFF, 8000, 1, 16, 8000, {}});
    layout.text.push_back({ClfFourcc("TRVX"), 0, 0});
    ClfWriter writer;
    ASSERT_EQ(writer.Open(path, layout), VANTOR_OK);
    for (int32_t kind : {kClfKindVideo, kClfKindAudio, kClfKindText})
        ASSERT_EQ(writer.WriteSample(kind, 0, "early", 5), VANTOR_OK);
    ASSERT_EQ(writer.WriteEndRecord(100), VANTOR_OK);
    for (int32_t kind : {kClfKindVideo, kClfKindAudio, kClfKindText})
        ASSERT_EQ(writer.WriteSample(kind, 200, "late", 4), VANTOR_OK);
    ASSERT_EQ(writer.Finish(), VANTOR_OK);

    ClfSource source;
    ASSERT_EQ(source.Open(path), VANTOR_OK);
    for (int32_t kind : {SAMPLE_KIND_VIDEO, SAMPLE_KIND_AUDIO, SAMPLE_KIND_TEXT}) {
        EXPECT_EQ(source.Read(kind).data, "early") << kind;
        EXPECT_EQ(source.Read(kind).result, VANTOR_E_END_OF_STREAM) << kind;
        EXPECT_EQ(source.Read(kind).result, VANTOR_E_END_OF_STREAM) << kind << " stays ended";
    }
    uint32_t position = 200;
    EXPECT_EQ(SourceSeek(source.Source(), &position, 0), 0) << "nothing beyond the end record";
}

TEST(ClfReader, LargerSampleThanBufferAsksForItsSize)
{
    TempFolder folder;
    const std::string path = folder.Path("long.avi");
    ClfLayout layout;
    layout.text.push_back({ClfFourcc("TRVX"), 0, 0});
    const std::string big(1500, 'N');
    ClfWriter writer;
    ASSERT_EQ(writer.Open(path, layout), VANTOR_OK);
    ASSERT_EQ(writer.WriteSample(kClfKindText, 40, big.data(), big.size()), VANTOR_OK);
    ASSERT_EQ(writer.WriteSample(kClfKindText, 80, "after", 5), VANTOR_OK);
    ASSERT_EQ(writer.Finish(), VANTOR_OK);

    ClfSource source;
    ASSERT_EQ(source.Open(path), VANTOR_OK);
    int32_t readerResult = 0;
    // The source ends the kind, the reader says why and how much it needs.
    EXPECT_EQ(source.Read(SAMPLE_KIND_TEXT, 1024, &readerResult).result, VANTOR_E_END_OF_STREAM);
    EXPECT_EQ(readerResult, VANTOR_E_BUFFER_TOO_SMALL);
    EXPECT_EQ(source.LastNeeded(), 1500u);
    // Retrying with that size delivers the same sample, then the next one.
    const Sample s = source.Read(SAMPLE_KIND_TEXT, 1500);
    EXPECT_EQ(s.result, VANTOR_OK);
    EXPECT_EQ(s.time, 40u);
    EXPECT_EQ(s.data, big);
    EXPECT_EQ(source.Read(SAMPLE_KIND_TEXT).data, "after");
    EXPECT_EQ(source.Read(SAMPLE_KIND_VIDEO).result, VANTOR_E_NO_STREAM);
}

// A header laid out by hand: one video, one audio and one text entry, with any field replaced.
struct HeaderFields
{
    uint32_t videoCount = 1, videoExtra = 2, audioCount = 1, audioExtra = 0, textCount = 1;
    uint32_t videoMaxSize = 100;
    size_t cutTo = 0; // keep only so many bytes (0 = all)
};

std::vector<uint8_t> HandHeader(const HeaderFields &f)
{
    ByteBuilder b;
    b.Text("CLF ").Word(5000).Word(f.videoCount);
    for (uint32_t i = 0; i < std::min(f.videoCount, 3u); ++i) {
        b.Text("XVID").Word(16).Word(16).Word(25000).Word(0).Word(5000).Word(f.videoMaxSize);
        b.Word(f.videoExtra).Fill(std::min(f.videoExtra, 600u), 0xEE);
    }
    b.Word(f.audioCount);
    for (uint32_t i = 0; i < std::min(f.audioCount, 3u); ++i) {
        b.Word(0xFF).Word(8000).Word(1).Word(16).Word(0).Word(5000).Word(0).Word(f.audioExtra);
        b.Fill(std::min(f.audioExtra, 600u), 0xAA);
    }
    b.Word(f.textCount);
    for (uint32_t i = 0; i < std::min(f.textCount, 4u); ++i)
        b.Text("TRVX").Word(0).Word(0).Word(5000).Word(0);
    b.Word(0).Word(0);
    b.Record(CLF_TAG_VIDEO, 0, 8).Record(CLF_TAG_TEXT, 0, 4).Word(0).Word(0).Word(0).Word(0);
    if (f.cutTo)
        b.bytes.resize(f.cutTo);
    return b.bytes;
}

TEST(ClfReader, ImpossibleHeaderValuesAreSyntaxErrors)
{
    struct Case
    {
        const char *name;
        HeaderFields fields;
        int32_t result;
    };
    const Case cases[] = {
        {"well formed", {}, VANTOR_OK},
        {"the most streams", {.videoCount = 2, .audioCount = 2, .textCount = 3}, VANTOR_OK},
        {"three video streams", {.videoCount = 3}, VANTOR_E_STREAM_SYNTAX},
        {"count from garbage", {.videoCount = 0xFFFFFFFF}, VANTOR_E_STREAM_SYNTAX},
        {"three audio streams", {.audioCount = 3}, VANTOR_E_STREAM_SYNTAX},
        {"four text streams", {.textCount = 4}, VANTOR_E_STREAM_SYNTAX},
        {"extra data of 512", {.videoExtra = 512}, VANTOR_OK},
        {"extra data of 513", {.videoExtra = 513}, VANTOR_E_STREAM_SYNTAX},
        {"audio extra data of 600", {.audioExtra = 600}, VANTOR_E_STREAM_SYNTAX},
        {"extra data beyond the file", {.videoExtra = 300, .cutTo = 200}, VANTOR_E_STREAM_SYNTAX},
        {"header cut in the text entry", {.cutTo = 100}, VANTOR_E_STREAM_SYNTAX},
    };
    TempFolder folder;
    for (const Case &c : cases) {
        ClfSource source;
        EXPECT_EQ(source.Open(folder.Write("h.avi", HandHeader(c.fields))), c.result) << c.name;
    }
}

TEST(ClfReader, ClaimedSampleSizesAreBoundedByTheFile)
{
    TempFolder folder;
    const std::vector<uint8_t> bytes = HandHeader({.videoMaxSize = 0xFFFFFFF0});
    ClfSource source;
    ASSERT_EQ(source.Open(folder.Write("big.avi", bytes)), VANTOR_OK);
    EXPECT_EQ(source.Info().video[0].nMaxSampleSize, bytes.size());
}

TEST(ClfReader, TruncatedRecordEndsTheStream)
{
    std::vector<uint8_t> bytes = HandHeader({});
    // Drop the end record and half of the text record's data.
    bytes.resize(bytes.size() - 16 - 2);
    TempFolder folder;
    ClfSource source;
    ASSERT_EQ(source.Open(folder.Write("t.avi", bytes)), VANTOR_OK);
    int32_t readerResult = 0;
    EXPECT_EQ(source.Read(SAMPLE_KIND_TEXT, 0xFFFF, &readerResult).result, VANTOR_E_END_OF_STREAM);
    EXPECT_EQ(readerResult, VANTOR_E_END_OF_STREAM);
    EXPECT_EQ(source.Read(SAMPLE_KIND_VIDEO).data.size(), 8u);
    EXPECT_EQ(source.Read(SAMPLE_KIND_VIDEO).result, VANTOR_E_END_OF_STREAM);
}

TEST(ClfReader, RecordClaimingMoreThanTheFileNeverAsksForIt)
{
    ByteBuilder b;
    b.Text("CLF ").Word(1000).Word(0).Word(0).Word(1).Text("TRVX").Word(0).Word(0).Word(0).Word(0);
    b.Word(0).Word(0).Word(CLF_TAG_TEXT).Word(0).Word(0xFFFFFF00).Word(0).Fill(32, 1);
    TempFolder folder;
    ClfSource source;
    ASSERT_EQ(source.Open(folder.Write("liar.avi", b.bytes)), VANTOR_OK);
    int32_t readerResult = 0;
    source.Read(SAMPLE_KIND_TEXT, 16, &readerResult);
    EXPECT_EQ(readerResult, VANTOR_E_END_OF_STREAM);
}

} // namespace
