#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <pthread.h>

#include "engine/core/fourcc.h"
#include "engine/core/vantor_errors.h"
#include "engine/source/source_object.h"
#include "source_test_util.h"

namespace {

TEST(MediaInfoDefaults, FillOnlyWhatTheReaderLeftZero)
{
    MediaInfo info{};
    info.nDuration = 60000;
    info.nVideoCount = 2;
    info.video[0].nFourcc = 0x6D703476; // "mp4v"
    info.video[0].nWidth = 1920;
    info.video[0].nHeight = 1088;
    info.video[1].nFourcc = 0x582D3476;
    info.video[1].nWidth = 2048;
    info.video[1].nHeight = 1024;
    info.video[1].nMaxSampleSize = 7;
    info.video[1].nDuration = 5;
    info.nAudioCount = 2;
    info.audio[0].nSampleRate = 44100;
    info.audio[1].nSampleRate = 16000;
    info.nTextCount = 3;
    info.text[0].nParam2 = 9;
    info.text[1].nParam1 = 10;
    info.text[1].nParam2 = 80;
    info.text[2].nParam1 = 3;
    info.text[2].nParam2 = 0xFFFFFFFF;
    ApplyMediaInfoDefaults(&info, 0);

    EXPECT_EQ(info.nBufferingTime, 1000u);
    EXPECT_EQ(info.video[0].nMaxSampleSize, 1044480u);
    EXPECT_EQ(info.video[0].nFourcc, 0x4D503456u) << "MP4V";
    EXPECT_EQ(info.video[0].nDuration, 60000u);
    EXPECT_EQ(info.video[1].nMaxSampleSize, 7u) << "the reader's value stays";
    EXPECT_EQ(info.video[1].nDuration, 5u);
    EXPECT_EQ(info.video[1].nFourcc, 0x582D3456u) << "only a-z change: X-4V";
    EXPECT_EQ(info.audio[0].nMaxSampleSize, 8192u);
    EXPECT_EQ(info.audio[1].nMaxSampleSize, 4000u);
    EXPECT_EQ(info.audio[0].nDuration, 60000u);
    EXPECT_EQ(info.text[0].nMaxSampleSize, 1024u);
    EXPECT_EQ(info.text[1].nMaxSampleSize, 1000u);
    EXPECT_EQ(info.text[2].nMaxSampleSize, UINT32_MAX) << "no wrap-around on hostile values";
    EXPECT_EQ(info.text[2].nDuration, 60000u);
}

TEST(MediaInfoDefaults, SizeRules)
{
    struct VideoCase
    {
        uint32_t width, height, expected;
    };
    const VideoCase videos[] = {
        {1920, 1088, 1044480},   {2048, 1024, 1048576},
        {2048, 1025, 1048576},   {1, 2097153, 1048576},
        {2, 1048577, 1048576},   {640, 480, 153600},
        {65535, 65535, 1048576}, {0, 0, 0},
    };
    for (const VideoCase &v : videos) {
        MediaInfo info{};
        info.nVideoCount = 1;
        info.video[0].nWidth = v.width;
        info.video[0].nHeight = v.height;
        ApplyMediaInfoDefaults(&info, 0);
        EXPECT_EQ(info.video[0].nMaxSampleSize, v.expected) << v.width << "x" << v.height;
    }
    struct AudioCase
    {
        uint32_t rate, bitRate, expected;
    };
    const AudioCase audios[] = {
        {44100, 0, 8192}, {32771, 0, 8192},      {32768, 0, 8192},      {32000, 0, 8000},
        {8000, 0, 2000},  {44100, 128000, 8000}, {44100, 129999, 8062}, {48000, 999, 0},
    };
    for (const AudioCase &a : audios) {
        MediaInfo info{};
        info.nAudioCount = 1;
        info.audio[0].nSampleRate = a.rate;
        info.audio[0].nBitRate = a.bitRate;
        ApplyMediaInfoDefaults(&info, 0);
        EXPECT_EQ(info.audio[0].nMaxSampleSize, a.expected) << a.rate << " Hz " << a.bitRate;
    }
    // A known stream size bounds what the defaults ask for.
    MediaInfo info{};
    info.nVideoCount = 1;
    info.video[0].nWidth = 1920;
    info.video[0].nHeight = 1080;
    ApplyMediaInfoDefaults(&info, 5000);
    EXPECT_EQ(info.video[0].nMaxSampleSize, 5000u);
}

TEST(MediaInfoDefaults, AppliedByGetInfoOnARealFile)
{
    ByteBuilder b;
    b.Text("CLF ").Word(9000).Word(1);
    b.Text("h264").Word(1920).Word(1088).Word(30000).Word(0).Word(0).Word(0).Word(0);
    b.Word(1).Word(0x55).Word(44100).Word(2).Word(16).Word(0).Word(0).Word(0).Word(0);
    b.Word(0).Word(0).Word(0).Fill(2000000, 0);
    TempFolder folder;
    const std::wstring locator = Wide(folder.Write("d.avi", b.bytes));
    SourceOpenRequest request{};
    request.szLocator = locator.c_str();
    SourceObject *source = nullptr;
    ASSERT_EQ(SourceOpen(&request, &source), VANTOR_OK);
    MediaInfo info{};
    std::memset(&info, 0xCD, sizeof info);
    int tags = 0;
    info.pTagRecord = &tags;
    ASSERT_EQ(SourceGetInfo(source, &info), VANTOR_OK);
    EXPECT_EQ(info.pTagRecord, &tags);
    EXPECT_EQ(info.video[0].nMaxSampleSize, 1044480u);
    EXPECT_EQ(info.video[0].nFourcc, MakeFourcc("H264")) << "upper-cased";
    EXPECT_EQ(info.video[0].nDuration, 9000u);
    EXPECT_EQ(info.audio[0].nMaxSampleSize, 8192u);
    EXPECT_EQ(info.nTextCount, 0u);
    EXPECT_EQ(info.text[0].nCodec, 0u) << "cleared before the reader fills it";
    EXPECT_TRUE(source->bHasVideo);
    EXPECT_TRUE(source->bHasAudio);
    EXPECT_FALSE(source->bHasText);
    SampleRequest read{};
    read.nKind = SAMPLE_KIND_TEXT;
    EXPECT_EQ(SourceRead(source, &read), VANTOR_E_NO_STREAM);
    SourceClose(source);
}

// A reader whose answers a test sets, to drive the source's own behaviour.
struct FakeReader
{
    int32_t readResult = VANTOR_OK;
    int32_t seekResult = 1;
    int32_t lastPrecise = -1;
    int32_t keyFrameCalls = 0;
    int32_t controlCode = 0;
    std::atomic<int> indexCalls{0};
    std::atomic<int32_t> indexResult{VANTOR_E_NOT_YET};
    std::string indexThreadName;
};

FakeReader *Fake(void *instance)
{
    return static_cast<FakeReader *>(instance);
}

int32_t FakeGetInfo(void *, MediaInfo *info)
{
    info->nVideoCount = 1;
    info->video[0].nWidth = 16;
    return VANTOR_OK;
}

int32_t FakeRead(void *instance, SampleRequest *)
{
    return Fake(instance)->readResult;
}

int32_t FakeSeek(void *instance, uint32_t *position, int32_t precise)
{
    Fake(instance)->lastPrecise = precise;
    *position += 1;
    return Fake(instance)->seekResult;
}

int32_t FakeKeyFrame(void *instance, uint32_t *, int32_t)
{
    ++Fake(instance)->keyFrameCalls;
    return 1;
}

int32_t FakeMakeIndex(void *instance)
{
    FakeReader *fake = Fake(instance);
    if (fake->indexCalls.fetch_add(1) == 0) {
        char name[16] = {};
        pthread_getname_np(pthread_self(), name, sizeof name);
        fake->indexThreadName = name;
    }
    return fake->indexResult.load();
}

int32_t FakeControl(void *instance, int32_t code)
{
    Fake(instance)->controlCode = code;
    return VANTOR_OK;
}

void FakeClose(void *) {}

constexpr ReaderOps kFakeOps = {
    .OpenOnStream = nullptr,
    .OpenOnRequest = nullptr,
    .Close = FakeClose,
    .GetInfo = FakeGetInfo,
    .SetStartPosition = nullptr,
    .MakeIndex = nullptr,
    .ReadSample = FakeRead,
    .Seek = FakeSeek,
    .SeekToKeyFrame = nullptr,
    .BufferingReport = nullptr,
    .Control = FakeControl,
};

SourceObject *Attach(const ReaderOps *ops, FakeReader *fake)
{
    SourceObject *source = nullptr;
    EXPECT_EQ(SourceAttach(nullptr, ReaderKind::Clf, ops, fake, &source), VANTOR_OK);
    MediaInfo info{};
    EXPECT_EQ(SourceGetInfo(source, &info), VANTOR_OK);
    return source;
}

TEST(SourceObject, EveryReaderFailureEndsTheKind)
{
    FakeReader fake;
    SourceObject *source = Attach(&kFakeOps, &fake);
    const int32_t answers[] = {VANTOR_OK,     VANTOR_E_BUFFER_TOO_SMALL, VANTOR_E_NOT_YET,
                               VANTOR_E_READ, VANTOR_E_END_OF_STREAM,    VANTOR_E_STREAM_SYNTAX};
    for (int32_t answer : answers) {
        fake.readResult = answer;
        SampleRequest request{};
        request.nKind = SAMPLE_KIND_VIDEO;
        int32_t raw = 0;
        EXPECT_EQ(SourceRead(source, &request, &raw),
                  answer == VANTOR_OK ? VANTOR_OK : VANTOR_E_END_OF_STREAM)
            << std::hex << answer;
        EXPECT_EQ(raw, answer);
    }
    SampleRequest audio{};
    audio.nKind = SAMPLE_KIND_AUDIO;
    EXPECT_EQ(SourceRead(source, &audio), VANTOR_E_NO_STREAM);
    SourceClose(source);
}

TEST(SourceObject, StartPositionAndSeeks)
{
    FakeReader fake;
    SourceObject *source = Attach(&kFakeOps, &fake);
    uint32_t position = 0;
    EXPECT_EQ(SourceSetStartPosition(source, &position), VANTOR_OK);
    EXPECT_EQ(fake.lastPrecise, -1) << "a start at 0 needs no seek";
    position = 5000;
    EXPECT_EQ(SourceSetStartPosition(source, &position), VANTOR_OK);
    EXPECT_EQ(fake.lastPrecise, 0);
    EXPECT_EQ(position, 5001u);
    fake.seekResult = 0;
    EXPECT_EQ(SourceSetStartPosition(source, &position), VANTOR_E_RANDOM_ACCESS);
    EXPECT_EQ(SourceSeek(source, &position, 1), 0);
    EXPECT_EQ(fake.lastPrecise, 1);
    fake.seekResult = 1;
    // Without its own key-frame seek the reader gets a plain seek without precision.
    fake.lastPrecise = -1;
    EXPECT_EQ(SourceSeekToKeyFrame(source, &position, 1), 1);
    EXPECT_EQ(fake.lastPrecise, 0);
    SourceClose(source);

    ReaderOps withKeyFrames = kFakeOps;
    withKeyFrames.SeekToKeyFrame = FakeKeyFrame;
    withKeyFrames.Seek = nullptr;
    FakeReader other;
    source = Attach(&withKeyFrames, &other);
    EXPECT_EQ(SourceSeekToKeyFrame(source, &position, 0), 1);
    EXPECT_EQ(other.keyFrameCalls, 1);
    EXPECT_EQ(SourceSeek(source, &position, 0), 0) << "no seek operation";
    position = 10;
    EXPECT_EQ(SourceSetStartPosition(source, &position), VANTOR_E_RANDOM_ACCESS);
    SourceClose(source);
}

TEST(SourceObject, ControlPassesOnlyKnownCodes)
{
    FakeReader fake;
    SourceObject *source = Attach(&kFakeOps, &fake);
    for (int32_t code : {0, 4, -1}) {
        SourceControl(source, code);
        EXPECT_EQ(fake.controlCode, 0) << code;
    }
    for (int32_t code : {1, 2, 3}) {
        SourceControl(source, code);
        EXPECT_EQ(fake.controlCode, code);
    }
    SourceClose(source);
}

TEST(SourceObject, IndexThreadRunsUntilDoneAndCloseCutsItsSleepShort)
{
    ReaderOps indexing = kFakeOps;
    indexing.MakeIndex = FakeMakeIndex;
    FakeReader fake;
    // A slice that did its work pauses for a second; one that is not yet done (the fake's
    // default) comes back after 5 ms, which would race the count below.
    fake.indexResult = VANTOR_OK;
    SourceObject *source = Attach(&indexing, &fake);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (fake.indexCalls.load() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(fake.indexCalls.load(), 1);
    // It is now in its 1000 ms pause; closing must not wait that out.
    const auto before = std::chrono::steady_clock::now();
    SourceClose(source);
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_LT(took, std::chrono::milliseconds(500));
    EXPECT_EQ(fake.indexThreadName, "ReaderMakeIndex");
    EXPECT_EQ(fake.indexCalls.load(), 1);
}

TEST(SourceObject, IndexThreadStopsOnItsOwnAtTheEnd)
{
    ReaderOps indexing = kFakeOps;
    indexing.MakeIndex = FakeMakeIndex;
    FakeReader fake;
    fake.indexResult = VANTOR_E_END_OF_STREAM;
    SourceObject *source = Attach(&indexing, &fake);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!source->bIndexDone.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(source->bIndexDone.load());
    EXPECT_EQ(fake.indexCalls.load(), 1);
    SourceClose(source);
}

TEST(Buffering, ComputedFromTheStream)
{
    struct Case
    {
        int64_t total, available, sequential;
        uint32_t fill, download;
    };
    const Case cases[] = {
        {1000, 1000, 0, 100, 100},                                // a local file
        {0, 0, 0, 100, 100},                                      // nothing to wait for
        {10000, 5000, 4500, 100, 50},                             // 500 ahead of a 500-byte tenth
        {10000, 5000, 4750, 50, 50},  {10000, 5000, 6000, 0, 50}, // read past what is there
        {10000, 0, 0, 0, 0},          {10000, 9995, 0, 100, 99},  // under ten bytes missing
    };
    for (const Case &c : cases) {
        uint32_t report[5] = {9, 9, 9, 9, 9};
        BufferingFromStream(c.total, c.available, c.sequential, report);
        EXPECT_EQ(report[0], c.fill) << c.total << " " << c.available << " " << c.sequential;
        EXPECT_EQ(report[1], c.download) << c.total << " " << c.available;
        EXPECT_EQ(report[2] | report[3] | report[4], 0u);
    }
}

TEST(Buffering, LocalFileIsComplete)
{
    ByteBuilder b;
    b.Text("CLF ").Word(0).Word(0).Word(0).Word(0).Word(0).Word(0).Fill(20000, 0);
    TempFolder folder;
    const std::wstring locator = Wide(folder.Write("b.avi", b.bytes));
    SourceOpenRequest request{};
    request.szLocator = locator.c_str();
    SourceObject *source = nullptr;
    ASSERT_EQ(SourceOpen(&request, &source), VANTOR_OK);
    uint32_t report[5] = {};
    SourceBufferingReport(source, report);
    EXPECT_EQ(report[0], 100u);
    EXPECT_EQ(report[1], 100u);
    SourceClose(source);
}

} // namespace
