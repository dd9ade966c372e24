// The AVI reader on small files laid out by hand: header rules and defaults, idx1 and OpenDML
// indexes, whole-chunk and piecewise delivery, scanning, index completion and seeking.
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "avi_file_builder.h"
#include "engine/core/fourcc.h"
#include "engine/core/vantor_errors.h"
#include "engine/source/avi_reader.h"
#include "engine/source/byte_stream.h"
#include "engine/source/file_back_end.h"
#include "engine/source/source_object.h"
#include "source_test_util.h"

namespace {

struct Sample
{
    uint32_t nTime;
    uint32_t nLength;
    uint8_t byFirst;
    bool operator==(const Sample &) const = default;
};

// Reads until the kind ends.
std::vector<Sample> ReadAllOf(SourceObject *source, int32_t kind, uint32_t bufferSize = 1 << 20)
{
    std::vector<Sample> samples;
    std::vector<uint8_t> buffer(bufferSize);
    for (;;) {
        SampleRequest request{};
        request.pBuffer = buffer.data();
        request.nBufferSize = static_cast<uint32_t>(buffer.size());
        request.nKind = kind;
        if (SourceRead(source, &request) != VANTOR_OK)
            return samples;
        samples.push_back({request.nTime, request.nLength, buffer[0]});
    }
}

class AviFile
{
public:
    explicit AviFile(const std::vector<uint8_t> &bytes)
        : m_strPath(m_folder.Write("clip.avi", bytes))
    {
        m_result = SourceOpenPath(m_strPath, &m_pSource, &m_info);
    }
    ~AviFile() { SourceClose(m_pSource); }

    int32_t Result() const { return m_result; }
    const std::string &Path() const { return m_strPath; }
    const MediaInfo &Info() const { return m_info; }
    SourceObject *Source() const { return m_pSource; }

    std::vector<Sample> ReadAll(int32_t kind, uint32_t bufferSize = 1 << 20)
    {
        return ReadAllOf(m_pSource, kind, bufferSize);
    }

    int32_t ReadOne(int32_t kind, uint32_t bufferSize, SampleRequest *request)
    {
        m_buffer.assign(bufferSize, 0);
        *request = {};
        request->pBuffer = m_buffer.data();
        request->nBufferSize = bufferSize;
        request->nKind = kind;
        int32_t readerResult = 0;
        SourceRead(m_pSource, request, &readerResult);
        return readerResult;
    }

private:
    TempFolder m_folder;
    std::string m_strPath;
    SourceObject *m_pSource = nullptr;
    MediaInfo m_info{};
    int32_t m_result = 0;
    std::vector<uint8_t> m_buffer;
};

std::vector<uint8_t> WithoutIdx1(AviBuilt built)
{
    built.bytes.resize(built.nIdx1);
    return built.bytes;
}

// 25 fps video, a key frame every 30 frames, frames of 10 + n % 7 bytes.
AviLayout KeyFrameClip(uint32_t frames)
{
    AviLayout layout;
    layout.streams = {VideoStream(1, 25, frames)};
    for (uint32_t i = 0; i < frames; ++i)
        layout.chunks.push_back({0, "dc", 10 + i % 7, i % 30 == 0});
    return layout;
}

TEST(AviReaderHeader, VideoScaleZeroTakesTheFrameTimeOfTheMainHeader)
{
    AviLayout layout;
    layout.dwMicroSecPerFrame = 40000;
    layout.streams = {VideoStream(0, 25, 3)};
    layout.chunks = {{0, "dc", 8, true}, {0, "dc", 9, false}, {0, "dc", 10, false}};
    AviFile file(BuildAvi(layout).bytes);
    ASSERT_EQ(file.Result(), VANTOR_OK);
    EXPECT_EQ(file.Info().nMediaType, kAviMediaType);
    EXPECT_EQ(file.Info().video[0].nFrameRate, 25000u);
    EXPECT_EQ(file.Info().video[0].nFourcc, MakeFourcc("MJPG"));
    EXPECT_EQ(file.Info().nDuration, 120u);
    SampleRequest request;
    ASSERT_EQ(file.ReadOne(SAMPLE_KIND_VIDEO, 64, &request), VANTOR_OK);
    EXPECT_EQ(request.nDuration, 40u);
    EXPECT_EQ(file.ReadAll(SAMPLE_KIND_VIDEO), (std::vector<Sample>{{40, 9, 9}, {80, 10, 18}}));
}

// A negative height is a top-down picture: its rows, not a four-billion figure.
TEST(AviReaderHeader, ATopDownPictureReportsItsHeight)
{
    AviLayout layout;
    AviTestStream video = VideoStream(1, 25, 1);
    video.format = BitmapHeader(64, static_cast<uint32_t>(-48), "MJPG");
    layout.streams = {video};
    layout.chunks = {{0, "dc", 8, true}};
    AviFile file(BuildAvi(layout).bytes);
    ASSERT_EQ(file.Result(), VANTOR_OK);
    EXPECT_EQ(file.Info().video[0].nHeight, 48u);
    EXPECT_EQ(file.Info().video[0].nWidth, 64u);
}

TEST(AviReaderHeader, ZeroRatesFallBackToDefaults)
{
    struct Case
    {
        const char *name;
        const char *type;
        uint32_t microSecPerFrame;
        uint32_t frameRate; // video only
        uint32_t duration;  // of 3 chunks
    };
    const Case cases[] = {
        {"video, no frame time", "vids", 0, 25000, 120},
        {"audio", "auds", 40000, 0, 120},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AviLayout layout;
        layout.dwMicroSecPerFrame = c.microSecPerFrame;
        AviTestStream s = c.type[0] == 'v' ? VideoStream(0, 0, 3) : PcmStream(0, 3);
        s.dwSampleSize = 0;
        layout.streams = {s};
        layout.chunks = {{0, c.type[0] == 'v' ? "dc" : "wb", 8, true}};
        AviFile file(BuildAvi(layout).bytes);
        ASSERT_EQ(file.Result(), VANTOR_OK);
        EXPECT_EQ(file.Info().nDuration, c.duration);
        if (c.frameRate) {
            EXPECT_EQ(file.Info().video[0].nFrameRate, c.frameRate);
        }
    }
}

TEST(AviReaderHeader, OnlyVideoAndAudioStreamsAreRegistered)
{
    // Chunk ids number the streams in header order, a skipped text stream included.
    struct Case
    {
        const char *name;
        std::vector<const char *> order;
    };
    const Case cases[] = {
        {"text last", {"vids", "auds", "txts"}},
        {"text between", {"vids", "txts", "auds"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AviLayout layout;
        uint32_t video = 0, audio = 0;
        for (uint32_t i = 0; i < c.order.size(); ++i) {
            const char t = c.order[i][0];
            if (t == 'v') {
                layout.streams.push_back(VideoStream(1, 25, 2));
                video = i;
            } else if (t == 'a') {
                AviTestStream pcm = PcmStream(8000, 2);
                pcm.dwSampleSize = 0;
                pcm.dwScale = 1;
                pcm.dwRate = 25;
                layout.streams.push_back(pcm);
                audio = i;
            } else {
                layout.streams.push_back({"txts", "tx  ", 1, 25, 0, 2, 0, 0, {1, 2, 3, 4}, {}});
            }
        }
        const uint32_t text = 3 - video - audio;
        layout.chunks = {{video, "dc", 11, true}, {text, "tx", 5, true},   {audio, "wb", 12, true},
                         {text, "tx", 5, true},   {video, "dc", 13, true}, {audio, "wb", 14, true}};
        const AviBuilt built = BuildAvi(layout);
        for (bool indexed : {true, false}) {
            SCOPED_TRACE(indexed ? "idx1" : "scanned");
            AviFile file(indexed ? built.bytes : WithoutIdx1(built));
            ASSERT_EQ(file.Result(), VANTOR_OK);
            EXPECT_EQ(file.Info().nVideoCount, 1u);
            EXPECT_EQ(file.Info().nAudioCount, 1u);
            EXPECT_EQ(file.Info().nTextCount, 0u);
            const std::vector<Sample> v = file.ReadAll(SAMPLE_KIND_VIDEO);
            const std::vector<Sample> a = file.ReadAll(SAMPLE_KIND_AUDIO);
            ASSERT_EQ(v.size(), 2u);
            EXPECT_EQ(v[1].nLength, 13u);
            ASSERT_EQ(a.size(), 2u);
            EXPECT_EQ(a[0].nLength, 12u);
            EXPECT_EQ(a[1].nLength, 14u);
            SampleRequest request;
            EXPECT_EQ(file.ReadOne(SAMPLE_KIND_TEXT, 64, &request), VANTOR_E_NO_STREAM);
        }
    }
}

TEST(AviReaderHeader, BadFilesAreRefused)
{
    struct Case
    {
        const char *name;
        std::vector<uint8_t> bytes;
        int32_t result;
    };
    AviBytes wrongForm;
    wrongForm.Id("RIFF").U32(4).Id("AVIZ");
    AviBytes formatFirst;
    formatFirst.Id("RIFF").U32(0).Id("AVI ").Id("LIST").U32(4 + 8 + 40).Id("strl");
    formatFirst.Chunk("strf", BitmapHeader(8, 8, "MJPG"));
    AviBytes innerForm;
    innerForm.Id("RIFF").U32(0).Id("AVI ").Id("RIFF").U32(4).Id("WAVE");
    const Case cases[] = {
        {"not an AVI form", wrongForm.bytes, VANTOR_E_STREAM_SYNTAX},
        {"format without stream header", formatFirst.bytes, VANTOR_E_STREAM_SYNTAX},
        {"inner RIFF of another form", innerForm.bytes, VANTOR_E_STREAM_SYNTAX},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AviFile file(c.bytes);
        EXPECT_EQ(file.Result(), c.result);
    }
}

TEST(AviReaderHeader, ExtraDataIsCutToTheRecord)
{
    struct Case
    {
        const char *name;
        AviTestStream stream;
        uint32_t length;
    };
    AviTestStream video = VideoStream(1, 25, 1);
    video.format = BitmapHeader(64, 48, "H264", 600);
    AviTestStream xvid = VideoStream(1, 25, 1, "XVID");
    xvid.format = BitmapHeader(64, 48, "XVID", 20);
    AviTestStream audio = PcmStream(8000, 1);
    audio.format = WaveFormat(0xFF, 1, 8000, 16, 700);
    AviTestStream shortAudio = PcmStream(8000, 1);
    shortAudio.format = WaveFormat(0xFF, 1, 8000, 16, 2);
    shortAudio.format[16] = 9; // cbSize beyond the chunk: no extra data
    const Case cases[] = {
        {"video 600 bytes", video, kMaxExtraData},
        {"XVID extra data skipped", xvid, 0},
        {"audio 700 bytes", audio, kMaxExtraData},
        {"audio cbSize beyond the chunk", shortAudio, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AviLayout layout;
        layout.streams = {c.stream};
        layout.chunks = {{0, c.stream.fccType[0] == 'v' ? "dc" : "wb", 4, true}};
        AviFile file(BuildAvi(layout).bytes);
        ASSERT_EQ(file.Result(), VANTOR_OK);
        const bool isVideo = c.stream.fccType[0] == 'v';
        EXPECT_EQ(isVideo ? file.Info().video[0].nExtraDataLength
                          : file.Info().audio[0].nExtraDataLength,
                  c.length);
        if (c.length) {
            EXPECT_EQ(isVideo ? file.Info().video[0].byExtraData[511]
                              : file.Info().audio[0].byExtraData[511],
                      isVideo ? 0xEE : 0xAA);
        }
    }
}

TEST(AviReaderRead, ZeroSizeVideoChunkCountsOneFrame)
{
    AviLayout layout;
    layout.streams = {VideoStream(1, 25, 3)};
    layout.chunks = {{0, "dc", 8, true}, {0, "dc", 0, false}, {0, "dc", 9, false}};
    const AviBuilt built = BuildAvi(layout);
    for (bool indexed : {true, false}) {
        SCOPED_TRACE(indexed ? "idx1" : "scanned");
        AviFile file(indexed ? built.bytes : WithoutIdx1(built));
        ASSERT_EQ(file.Result(), VANTOR_OK);
        EXPECT_EQ(file.ReadAll(SAMPLE_KIND_VIDEO), (std::vector<Sample>{{0, 8, 1}, {80, 9, 9}}));
    }
}

TEST(AviReaderRead, SampleSizeAudioIsPiecewiseWithoutACompleteIndex)
{
    AviLayout layout;
    layout.streams = {PcmStream(44100, 20000)};
    layout.chunks = {{0, "wb", 40000, true}, {0, "wb", 4000, true}};
    const AviBuilt built = BuildAvi(layout);
    {
        AviFile file(WithoutIdx1(built));
        ASSERT_EQ(file.Result(), VANTOR_OK);
        // 4-byte samples at 44100 Hz: 4096 samples are 92 ms.
        EXPECT_EQ(file.ReadAll(SAMPLE_KIND_AUDIO, 16384),
                  (std::vector<Sample>{
                      {0, 16384, 0x01}, {92, 16384, 0x01}, {185, 7232, 0x01}, {226, 4000, 0x41}}));
    }
    {
        AviFile file(built.bytes);
        ASSERT_EQ(file.Result(), VANTOR_OK);
        SampleRequest request;
        ASSERT_EQ(file.ReadOne(SAMPLE_KIND_AUDIO, 8192, &request), VANTOR_E_BUFFER_TOO_SMALL);
        EXPECT_EQ(request.nBufferSize, 40000u);
    }
    {
        AviFile file(built.bytes);
        // Whole chunks, timed by the samples before them.
        EXPECT_EQ(file.ReadAll(SAMPLE_KIND_AUDIO, 65536),
                  (std::vector<Sample>{{0, 40000, 0x01}, {226, 4000, 0x41}}));
    }
}

TEST(AviReaderRead, TimesOfLongClipsDoNotWrap)
{
    struct Case
    {
        uint64_t ticks;
        uint32_t scale, rate, ms;
    };
    const Case cases[] = {
        {100000, 1001, 30000, 3336666},               // 55 minutes at 29.97 fps
        {3000000, 1, 44100, 68027},                   // samples
        {0xFFFFFFFFull, 0xFFFFFFFFu, 1, 0xFFFFFFFFu}, // saturates
        {5, 1, 0, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(AviTicksToMs(c.ticks, c.scale, c.rate), c.ms) << c.ticks;
}

TEST(AviReaderRead, AChunkLargerThanTheBufferStaysPending)
{
    AviLayout layout;
    layout.streams = {VideoStream(1, 25, 2)};
    layout.chunks = {{0, "dc", 100, true}, {0, "dc", 7, false}};
    AviFile file(BuildAvi(layout).bytes);
    SampleRequest request;
    ASSERT_EQ(file.ReadOne(SAMPLE_KIND_VIDEO, 64, &request), VANTOR_E_BUFFER_TOO_SMALL);
    EXPECT_EQ(request.nBufferSize, 100u);
    EXPECT_EQ(file.ReadAll(SAMPLE_KIND_VIDEO), (std::vector<Sample>{{0, 100, 1}, {40, 7, 101}}));
}

// A recording cut short: the end of the file falls inside the idx1.
TEST(AviReaderScan, CutIdx1IsNeverReadAsChunks)
{
    AviLayout layout = KeyFrameClip(300);
    const AviBuilt built = BuildAvi(layout);
    // Three quarters of the entries survive.
    std::vector<uint8_t> cut(built.bytes.begin(),
                             built.bytes.begin() + built.nIdx1 + 8 + 225 * 16 + 5);
    AviFile file(cut);
    ASSERT_EQ(file.Result(), VANTOR_OK);
    const std::vector<Sample> v = file.ReadAll(SAMPLE_KIND_VIDEO);
    ASSERT_EQ(v.size(), 300u);
    for (uint32_t i = 0; i < v.size(); ++i) {
        ASSERT_EQ(v[i].nLength, 10 + i % 7) << i;
        ASSERT_EQ(v[i].nTime, i * 40) << i;
    }
}

TEST(AviReaderScan, ChunkCutByTheEndOfTheFileEndsTheStream)
{
    AviLayout layout;
    layout.streams = {VideoStream(1, 25, 3)};
    layout.chunks = {{0, "dc", 8, true}, {0, "dc", 9, false}, {0, "dc", 200, false}};
    const AviBuilt built = BuildAvi(layout);
    std::vector<uint8_t> cut(built.bytes.begin(),
                             built.bytes.begin() + built.chunkHeaders[2] + 100);
    // What follows the cut chunk's header looks like chunks, but lies in its data.
    const char fake[] = "00dc\x04\0\0\0ABCD";
    std::copy(fake, fake + 12, cut.begin() + built.chunkHeaders[2] + 20);
    AviFile file(cut);
    ASSERT_EQ(file.Result(), VANTOR_OK);
    EXPECT_EQ(file.ReadAll(SAMPLE_KIND_VIDEO), (std::vector<Sample>{{0, 8, 1}, {40, 9, 9}}));
}

TEST(AviReaderSeek, LandsOnKeyFrames)
{
    struct Case
    {
        const char *name;
        bool keyFrameSeek;
        int32_t flag;
        uint32_t target, landed;
    };
    const Case cases[] = {
        {"nearest, 10 s: key frame before", false, 0, 10000, 9600},
        {"nearest, 10.4 s: key frame after", false, 0, 10400, 10800},
        {"precise: at or before", false, 1, 10400, 9600},
        {"key frame, next", true, 1, 10000, 10800},
        {"key frame, at or before", true, 0, 10000, 9600},
        {"next key frame past the last: last frame", true, 1, 11900, 11960},
    };
    const AviBuilt built = BuildAvi(KeyFrameClip(300));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AviFile file(built.bytes);
        ASSERT_EQ(file.Result(), VANTOR_OK);
        uint32_t position = c.target;
        ASSERT_EQ(c.keyFrameSeek ? SourceSeekToKeyFrame(file.Source(), &position, c.flag)
                                 : SourceSeek(file.Source(), &position, c.flag),
                  1);
        EXPECT_EQ(position, c.landed);
        SampleRequest request;
        ASSERT_EQ(file.ReadOne(SAMPLE_KIND_VIDEO, 64, &request), VANTOR_OK);
        EXPECT_EQ(request.nTime, c.landed);
        EXPECT_EQ(request.nLength, 10 + (c.landed / 40) % 7);
    }
}

TEST(AviReaderSeek, FailsWithoutAnIndexAndBeyondTheEnd)
{
    const AviBuilt built = BuildAvi(KeyFrameClip(60));
    {
        AviFile file(WithoutIdx1(built));
        uint32_t position = 1000;
        EXPECT_EQ(SourceSeek(file.Source(), &position, 0), 0);
        EXPECT_EQ(file.ReadAll(SAMPLE_KIND_VIDEO).size(), 60u); // still plays from the start
    }
    AviFile file(built.bytes);
    uint32_t position = 2400;
    EXPECT_EQ(SourceSeek(file.Source(), &position, 0), 0);
    EXPECT_EQ(position, 2400u);
}

TEST(AviReaderSeek, AudioResumesAtTheStartOfTheChunkHoldingTheTime)
{
    AviLayout layout;
    layout.streams = {VideoStream(1, 25, 50), PcmStream(8000, 16000)};
    for (uint32_t i = 0; i < 50; ++i) {
        layout.chunks.push_back({0, "dc", 10, i % 8 == 0});
        if (i % 5 == 0)
            layout.chunks.push_back({1, "wb", 6400, true}); // 200 ms each
    }
    const AviBuilt built = BuildAvi(layout);
    AviFile file(built.bytes);
    uint32_t position = 1300;
    ASSERT_EQ(SourceSeek(file.Source(), &position, 1), 1);
    // Audio first: its chunk starts at 1200 ms; the video key frame at or before is 960 ms.
    EXPECT_EQ(position, 960u);
    SampleRequest request;
    ASSERT_EQ(file.ReadOne(SAMPLE_KIND_AUDIO, 8192, &request), VANTOR_OK);
    EXPECT_EQ(request.nTime, 1200u);
    ASSERT_EQ(file.ReadOne(SAMPLE_KIND_VIDEO, 64, &request), VANTOR_OK);
    EXPECT_EQ(request.nTime, 960u);
}

// Index completion extends the lists past a cut idx1, so seeking reaches the end.
TEST(AviReaderIndex, CompletionMakesTheRestSeekable)
{
    const AviBuilt built = BuildAvi(KeyFrameClip(300));
    std::vector<uint8_t> cut(built.bytes.begin(), built.bytes.begin() + built.nIdx1 + 8 + 100 * 16);
    AviFile file(cut);
    ASSERT_EQ(file.Result(), VANTOR_OK);
    uint32_t position = 11000;
    bool seeked = false;
    for (int i = 0; i < 200 && !seeked; ++i) {
        position = 11000;
        seeked = SourceSeekToKeyFrame(file.Source(), &position, 0) == 1;
        if (!seeked)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(seeked);
    // Chunks found by the scan count as key frames.
    EXPECT_EQ(position, 11000u);
    SampleRequest request;
    ASSERT_EQ(file.ReadOne(SAMPLE_KIND_VIDEO, 64, &request), VANTOR_OK);
    EXPECT_EQ(request.nTime, 11000u);
    EXPECT_EQ(request.nLength, 10u + 275 % 7);
    // Reading goes on by scanning to the last frame, and not into the idx1.
    EXPECT_EQ(file.ReadAll(SAMPLE_KIND_VIDEO).size(), 24u);
}

// A download that so far holds only the bytes read: the back-end reports what has arrived as
// available, and a read of bytes beyond it waits until they are there (here it simply gets
// them, and the download has then reached them).
std::atomic<int64_t> g_nArrived{0};

int64_t ArrivedSize(void *)
{
    return g_nArrived.load();
}

int32_t ArrivingRead(void *instance, int32_t cursor, void *destination, uint32_t count)
{
    const int32_t n = g_FileBackEndOps.CursorRead(instance, cursor, destination, count);
    const int64_t reached = g_FileBackEndOps.Tell(instance, cursor);
    int64_t arrived = g_nArrived.load();
    while (reached > arrived && !g_nArrived.compare_exchange_weak(arrived, reached)) {
    }
    return n;
}

// Opened while only the RIFF header had arrived: the headers are waited for, the idx1 at the
// end is not, and once everything is there the scan reads what the indexed file reads.
TEST(AviReaderIndex, OverADownloadTheHeadersAreWaitedForAndTheIdx1IsNot)
{
    const AviBuilt built = BuildAvi(KeyFrameClip(90));
    AviFile local(built.bytes);
    ASSERT_EQ(local.Result(), VANTOR_OK);
    ByteStreamOps arriving = g_FileBackEndOps;
    arriving.AvailableSize = ArrivedSize;
    arriving.CursorRead = ArrivingRead;
    g_nArrived.store(12);
    ByteStream *stream = nullptr;
    ASSERT_EQ(ByteStreamOpenWith(&arriving, Wide(local.Path()).c_str(), 0, &stream), VANTOR_OK);
    void *reader = nullptr;
    ASSERT_EQ(g_AviReaderOps.OpenOnStream(stream, &reader), VANTOR_OK);
    SourceObject *source = nullptr;
    ASSERT_EQ(SourceAttach(stream, ReaderKind::Avi, &g_AviReaderOps, reader, &source), VANTOR_OK);
    MediaInfo info{};
    ASSERT_EQ(SourceGetInfo(source, &info), VANTOR_OK);
    EXPECT_EQ(info.nVideoCount, 1u);
    EXPECT_EQ(info.nDuration, local.Info().nDuration);
    EXPECT_LT(g_nArrived.load(), static_cast<int64_t>(built.nIdx1));
    g_nArrived.store(static_cast<int64_t>(built.bytes.size()));
    const std::vector<Sample> remote = ReadAllOf(source, SAMPLE_KIND_VIDEO);
    SourceClose(source);
    EXPECT_EQ(remote, local.ReadAll(SAMPLE_KIND_VIDEO));
    EXPECT_EQ(remote.size(), 90u);
}

// An idx1 that names chunks outside the movi list is no complete index: its entries are
// dropped and the chunks the file does hold are found by scanning.
TEST(AviReaderIndex, Idx1OffsetsOutsideTheMoviListAreDroppedAndTheChunksScanned)
{
    AviLayout layout = KeyFrameClip(4);
    layout.nIdx1OffsetBias = 0x7FFFFF00; // every offset beyond the file
    AviFile file(BuildAvi(layout).bytes);
    ASSERT_EQ(file.Result(), VANTOR_OK);
    const std::vector<Sample> v = file.ReadAll(SAMPLE_KIND_VIDEO);
    ASSERT_EQ(v.size(), 4u);
    for (uint32_t i = 0; i < v.size(); ++i)
        EXPECT_EQ(v[i].nLength, 10 + i % 7) << i;
}

TEST(AviReaderIndex, OpenDmlIndexesServeReadingAndKeyFrames)
{
    for (uint32_t claimed : {6u, 1000000u}) {
        SCOPED_TRACE(claimed);
        AviFile file(OpenDmlTestClip(6, claimed));
        ASSERT_EQ(file.Result(), VANTOR_OK);
        uint32_t position = 200;
        // Key frames are the entries without bit 31: frames 0 and 3.
        ASSERT_EQ(SourceSeekToKeyFrame(file.Source(), &position, 0), 1);
        EXPECT_EQ(position, 120u);
        SampleRequest request;
        ASSERT_EQ(file.ReadOne(SAMPLE_KIND_AUDIO, 4096, &request), VANTOR_OK);
        EXPECT_EQ(request.nTime, 120u); // 0.12 s is not exact in binary: times count exactly
        EXPECT_EQ(request.nLength, 1280u);
        const std::vector<Sample> v = file.ReadAll(SAMPLE_KIND_VIDEO);
        ASSERT_EQ(v.size(), 3u);
        EXPECT_EQ(v[0].nLength, 13u);
        EXPECT_EQ(v[2].nTime, 200u);
    }
}

TEST(AviReaderIndex, UntrustedSizesNeitherOverflowNorLoop)
{
    struct Case
    {
        const char *name;
        ptrdiff_t at; // from the movi fourcc; patched with value
        uint32_t value;
        size_t delivered;
    };
    const AviBuilt built = BuildAvi(KeyFrameClip(5));
    const ptrdiff_t first = built.chunkHeaders[0] - built.nMoviType;
    const Case cases[] = {
        {"movi list size beyond the file", 0 - 4, 0xFFFFFFF0u, 5},
        {"movi list size never written", 0 - 4, 0, 5},
        {"chunk size beyond the file", first + 4, 0xFFFFFFF0u, 0},
        {"idx1 size beyond the file", static_cast<ptrdiff_t>(built.nIdx1 - built.nMoviType + 4),
         0xFFFFFFF0u, 5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes = built.bytes;
        for (int k = 0; k < 4; ++k)
            bytes[built.nMoviType + c.at + k] = static_cast<uint8_t>(c.value >> (8 * k));
        AviFile file(bytes);
        ASSERT_EQ(file.Result(), VANTOR_OK);
        EXPECT_EQ(file.ReadAll(SAMPLE_KIND_VIDEO).size(), c.delivered);
    }
}

} // namespace
