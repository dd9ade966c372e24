// The readers over libavformat on clips the ffmpeg program writes: media information, seeking,
// oversized samples, what stays refused, and the same clips over HTTP from a local server.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "engine/core/fourcc.h"
#include "engine/core/vantor_errors.h"
#include "engine/source/lavf_reader.h"
#include "engine/source/source_object.h"
#include "lavf_clips.h"
#include "tests/support/child_process.h"
#include "tests/support/local_http_server.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait_until.h"

namespace {

struct ClipRow
{
    const char *file;
    const char *arguments;
    uint32_t mediaType;
    const char *fourcc;   // null: no video
    uint32_t audioFormat; // 0: no audio
    uint32_t sampleRate;
};

// One clip per container the readers open; each row says what its media information holds.
const ClipRow kClips[] = {
    {"clip.mp4", "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 10 -bf 2 -c:a aac -f mp4",
     kMp4MediaType, "H264", 0xFF, 16000},
    {"clip.3gp", "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 10 -c:a aac -f 3gp",
     kMp4MediaType, "H264", 0xFF, 16000},
    {"clip.ts", "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 10 -bf 2 -c:a aac -f mpegts",
     kTransportStreamMediaType, "H264", 0xFF, 16000},
    {"clip.flv", "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 10 -c:a aac -f flv",
     kFlvMediaType, "H264", 0xFF, 16000},
    {"clip.asf", "-c:v msmpeg4 -c:a wmav2 -f asf", kAsfMediaType, "MP43", 0x161, 16000},
    {"clip.mpg", "-c:v mpeg1video -c:a mp2 -f mpeg", kProgramStreamMediaType, "MPEG", 0x50, 16000},
    {"clip.ogg", "-c:v libtheora -c:a libvorbis -f ogg", kOggMediaType, "THEO", 0x566F, 16000},
    {"clip.rm", "-c:v rv10 -c:a ac3 -ar 48000 -f rm", kRealMediaMediaType, "RV10", 0x2000, 48000},
    {"clip.wav", "-vn -c:a pcm_s16le -f wav", kWaveMediaType, nullptr, 1, 16000},
    {"clip.mp3", "-vn -c:a libmp3lame -f mp3", kElementaryAudioMediaType, nullptr, 0x55, 16000},
    {"clip.mp2", "-vn -c:a mp2 -f mp2", kElementaryAudioMediaType, nullptr, 0x50, 16000},
    {"clip.jpg", "-frames:v 1 -an -c:v mjpeg -f image2pipe", kJpegMediaType, "JPEG", 0, 0},
};

using LavfClips = CClipTableTest<kClips>;

// Closes the source on every way out.
struct OpenedSource
{
    SourceObject *p = nullptr;
    MediaInfo info{};
    int32_t Open(const std::string &path) { return SourceOpenPath(path, &p, &info); }
    ~OpenedSource() { SourceClose(p); }
};

struct ReadSample
{
    uint32_t ms;
    uint32_t size;
    std::vector<uint8_t> bytes;
};

// The next sample of a kind, the buffer grown when the reader asks for more.
int32_t ReadNext(SourceObject *source, int32_t kind, ReadSample *sample)
{
    std::vector<uint8_t> buffer(64);
    for (;;) {
        SampleRequest request{};
        request.pBuffer = buffer.data();
        request.nBufferSize = static_cast<uint32_t>(buffer.size());
        request.nKind = kind;
        int32_t readerResult = 0;
        if (SourceRead(source, &request, &readerResult) == VANTOR_OK) {
            sample->ms = request.nTime;
            sample->size = request.nLength;
            sample->bytes.assign(buffer.begin(), buffer.begin() + request.nLength);
            return VANTOR_OK;
        }
        if (readerResult != VANTOR_E_BUFFER_TOO_SMALL || request.nBufferSize <= buffer.size())
            return readerResult;
        buffer.resize(request.nBufferSize);
    }
}

std::vector<ReadSample> ReadAll(SourceObject *source, int32_t kind)
{
    std::vector<ReadSample> samples;
    ReadSample sample;
    while (ReadNext(source, kind, &sample) == VANTOR_OK)
        samples.push_back(sample);
    return samples;
}

TEST_F(LavfClips, MediaInformationNamesTheCodecsOurDecodersAreFoundBy)
{
    for (const ClipRow &row : kClips) {
        SCOPED_TRACE(row.file);
        OpenedSource source;
        ASSERT_EQ(source.Open(Path(row.file)), VANTOR_OK);
        const MediaInfo &info = source.info;
        EXPECT_EQ(info.nMediaType, row.mediaType);
        EXPECT_EQ(info.nVideoCount, row.fourcc ? 1u : 0u);
        EXPECT_EQ(info.nAudioCount, row.audioFormat ? 1u : 0u);
        EXPECT_EQ(info.nTextCount, 0u);
        if (row.fourcc) {
            const VIDEO_STREAM_INFO &v = info.video[0];
            EXPECT_EQ(FourccText(v.nFourcc), row.fourcc);
            EXPECT_EQ(v.nWidth, 160u);
            EXPECT_EQ(v.nHeight, 96u);
            EXPECT_EQ(v.nFrameRate, 25000u);
            EXPECT_GT(v.nMaxSampleSize, 0u);
        }
        if (row.audioFormat) {
            const AUDIO_STREAM_INFO &a = info.audio[0];
            EXPECT_EQ(a.nFormat, row.audioFormat);
            EXPECT_EQ(a.nSampleRate, row.sampleRate);
            EXPECT_EQ(a.nChannels, 1u);
            EXPECT_EQ(a.nSampleTime, 1u);
            EXPECT_GT(a.nMaxSampleSize, 0u);
        }
        if (row.fourcc && row.audioFormat) {
            EXPECT_NEAR(static_cast<double>(info.nDuration), 2000.0, 120.0);
        }
    }
}

// AAC reaches the decoder as raw frames with its configuration as extra data, whether the
// container stores it so (MP4) or with ADTS headers (transport stream); H.264 from MP4 keeps its
// avcC record, from a transport stream it is Annex B.
TEST_F(LavfClips, DecoderConfigurationsAreInTheRecords)
{
    OpenedSource mp4, ts;
    ASSERT_EQ(mp4.Open(Path("clip.mp4")), VANTOR_OK);
    ASSERT_EQ(ts.Open(Path("clip.ts")), VANTOR_OK);
    const AUDIO_STREAM_INFO &a = mp4.info.audio[0];
    ASSERT_GE(a.nExtraDataLength, 2u);
    // AAC LC (object type 2), 16000 Hz (index 8), one channel; ffmpeg's encoder adds an
    // extension in MP4, the ADTS header gives the two bytes alone.
    EXPECT_EQ(a.byExtraData[0], 0x14);
    EXPECT_EQ(a.byExtraData[1], 0x08);
    ASSERT_EQ(ts.info.audio[0].nExtraDataLength, 2u);
    EXPECT_EQ(0, std::memcmp(ts.info.audio[0].byExtraData, a.byExtraData, 2));

    ASSERT_GT(mp4.info.video[0].nExtraDataLength, 7u);
    EXPECT_EQ(mp4.info.video[0].byExtraData[0], 1); // avcC version
    ReadSample first;
    ASSERT_EQ(ReadNext(ts.p, SAMPLE_KIND_AUDIO, &first), VANTOR_OK);
    EXPECT_FALSE(first.bytes[0] == 0xFF && (first.bytes[1] & 0xF0) == 0xF0) << "ADTS header left";
    ASSERT_EQ(ReadNext(ts.p, SAMPLE_KIND_VIDEO, &first), VANTOR_OK);
    ASSERT_GE(first.size, 4u);
    EXPECT_EQ(first.bytes[0] | first.bytes[1], 0);
}

TEST_F(LavfClips, ASampleLargerThanTheBufferIsAskedForAndThenDelivered)
{
    OpenedSource source;
    ASSERT_EQ(source.Open(Path("clip.mp4")), VANTOR_OK);
    std::vector<uint8_t> small(4);
    SampleRequest request{};
    request.pBuffer = small.data();
    request.nBufferSize = 4;
    request.nKind = SAMPLE_KIND_VIDEO;
    int32_t readerResult = 0;
    EXPECT_EQ(SourceRead(source.p, &request, &readerResult), VANTOR_E_END_OF_STREAM);
    EXPECT_EQ(readerResult, VANTOR_E_BUFFER_TOO_SMALL);
    const std::vector<DemuxedPacket> packets = DemuxPackets(Path("clip.mp4"), AVMEDIA_TYPE_VIDEO);
    ASSERT_FALSE(packets.empty());
    EXPECT_EQ(request.nBufferSize, packets[0].size);
    ReadSample sample;
    ASSERT_EQ(ReadNext(source.p, SAMPLE_KIND_VIDEO, &sample), VANTOR_OK);
    EXPECT_EQ(sample.size, packets[0].size);
    EXPECT_EQ(sample.ms, packets[0].ms);
}

// Where a seek lands, from the key frames libavformat's demuxer reads.
struct Expectation
{
    std::vector<uint32_t> keys;  // video key frames, ms
    std::vector<uint32_t> audio; // audio packets, ms
};

uint32_t AtOrBefore(const std::vector<uint32_t> &times, uint32_t t)
{
    uint32_t found = times.front();
    for (uint32_t k : times)
        if (k <= t)
            found = std::max(found, k);
    return found;
}

uint32_t AtOrAfter(const std::vector<uint32_t> &times, uint32_t t)
{
    uint32_t found = UINT32_MAX;
    for (uint32_t k : times)
        if (k >= t)
            found = std::min(found, k);
    return found == UINT32_MAX ? AtOrBefore(times, t) : found;
}

uint32_t Nearest(const std::vector<uint32_t> &times, uint32_t t)
{
    const uint32_t before = AtOrBefore(times, t);
    uint32_t after = UINT32_MAX;
    for (uint32_t k : times)
        if (k > t)
            after = std::min(after, k);
    if (after == UINT32_MAX || before > t)
        return before;
    return after - t <= t - before ? after : before;
}

Expectation ExpectedFor(const std::string &path)
{
    Expectation e;
    for (const DemuxedPacket &p : DemuxPackets(path, AVMEDIA_TYPE_VIDEO))
        if (p.key)
            e.keys.push_back(p.ms);
    for (const DemuxedPacket &p : DemuxPackets(path, AVMEDIA_TYPE_AUDIO))
        e.audio.push_back(p.ms);
    std::sort(e.keys.begin(), e.keys.end());
    return e;
}

enum class SeekKind
{
    Plain,     // precision flag 0: video to the nearest key frame, sound to the video
    Precise,   // precision flag 1: sound at or before, video key frame at or before that
    KeyNext,   // key-frame seek with the flag: the next key frame
    KeyBefore, // key-frame seek without it: the key frame at or before
};

struct SeekCase
{
    SeekKind kind;
    uint32_t target;
};

const SeekCase kSeeks[] = {
    {SeekKind::Plain, 0},       {SeekKind::Plain, 390},    {SeekKind::Plain, 610},
    {SeekKind::Plain, 1010},    {SeekKind::Plain, 1990},   {SeekKind::Plain, 60000},
    {SeekKind::Precise, 1010},  {SeekKind::Precise, 430},  {SeekKind::KeyNext, 410},
    {SeekKind::KeyNext, 800},   {SeekKind::KeyNext, 1900}, {SeekKind::KeyBefore, 1190},
    {SeekKind::KeyBefore, 790}, {SeekKind::Plain, 250},
};

TEST_F(LavfClips, SeeksLandOnTheKeyFramesTheirModeChooses)
{
    for (const char *file : {"clip.mp4", "clip.ts", "clip.flv"}) {
        SCOPED_TRACE(file);
        const Expectation e = ExpectedFor(Path(file));
        ASSERT_GE(e.keys.size(), 4u);
        OpenedSource source;
        ASSERT_EQ(source.Open(Path(file)), VANTOR_OK);
        for (const SeekCase &c : kSeeks) {
            SCOPED_TRACE(testing::Message() << "mode " << int(c.kind) << " target " << c.target);
            uint32_t position = c.target;
            uint32_t video = 0, audio = 0;
            int32_t moved = 0;
            switch (c.kind) {
            case SeekKind::Plain:
                moved = SourceSeek(source.p, &position, 0);
                video = Nearest(e.keys, c.target);
                audio = Nearest(e.audio, video);
                break;
            case SeekKind::Precise:
                moved = SourceSeek(source.p, &position, 1);
                audio = AtOrBefore(e.audio, c.target);
                video = AtOrBefore(e.keys, audio);
                break;
            case SeekKind::KeyNext:
                moved = SourceSeekToKeyFrame(source.p, &position, 1);
                video = AtOrAfter(e.keys, c.target);
                audio = AtOrAfter(e.audio, video);
                break;
            case SeekKind::KeyBefore:
                moved = SourceSeekToKeyFrame(source.p, &position, 0);
                video = AtOrBefore(e.keys, c.target);
                audio = AtOrBefore(e.audio, video);
                break;
            }
            ASSERT_EQ(moved, 1);
            EXPECT_EQ(position, c.kind == SeekKind::Precise ? video : audio);
            ReadSample sample;
            ASSERT_EQ(ReadNext(source.p, SAMPLE_KIND_VIDEO, &sample), VANTOR_OK);
            EXPECT_EQ(sample.ms, video);
            ASSERT_EQ(ReadNext(source.p, SAMPLE_KIND_AUDIO, &sample), VANTOR_OK);
            EXPECT_EQ(sample.ms, audio);
        }
    }
}

// After the last sample every kind ends, and a seek back to the start reads the clip again.
TEST_F(LavfClips, TheEndEndsEachKindAndASeekReadsAgain)
{
    OpenedSource source;
    ASSERT_EQ(source.Open(Path("clip.ts")), VANTOR_OK);
    const std::vector<ReadSample> video = ReadAll(source.p, SAMPLE_KIND_VIDEO);
    const std::vector<ReadSample> audio = ReadAll(source.p, SAMPLE_KIND_AUDIO);
    EXPECT_EQ(video.size(), 50u);
    ReadSample sample;
    EXPECT_EQ(ReadNext(source.p, SAMPLE_KIND_VIDEO, &sample), VANTOR_E_END_OF_STREAM);
    // Sound first, at or before 0, then the first picture: everything is read again.
    uint32_t position = 0;
    ASSERT_EQ(SourceSeek(source.p, &position, 1), 1);
    EXPECT_EQ(position, video.front().ms);
    const std::vector<ReadSample> again = ReadAll(source.p, SAMPLE_KIND_VIDEO);
    ASSERT_EQ(again.size(), video.size());
    for (size_t i = 0; i < video.size(); ++i)
        EXPECT_EQ(again[i].bytes, video[i].bytes) << i;
    EXPECT_EQ(ReadAll(source.p, SAMPLE_KIND_AUDIO).size(), audio.size());
}

// A hand-made AMR-NB file: the magic line and 50 frames of mode 7 (one header byte, 31 bytes).
std::vector<uint8_t> AmrFile()
{
    std::vector<uint8_t> bytes = {'#', '!', 'A', 'M', 'R', '\n'};
    for (int frame = 0; frame < 50; ++frame) {
        bytes.push_back(0x3C);
        for (int i = 0; i < 31; ++i)
            bytes.push_back(static_cast<uint8_t>(frame * 31 + i));
    }
    return bytes;
}

std::vector<uint8_t> Head(const std::string &path, size_t count)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes(count);
    in.read(reinterpret_cast<char *>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

// What detection hands to the elementary-audio reader (anything it does not recognise) opens
// only as MPEG audio or AMR; Matroska stays refused however its header is laid out, and
// damaged files get a code, never a crash.
TEST_F(LavfClips, OnlyMpegAudioAndAmrPassAsElementaryAudio)
{
    ASSERT_TRUE(MakeClip(Path("clip.mkv"),
                         "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -f matroska"));
    ASSERT_TRUE(
        MakeClip(Path("clip.webm"), "-c:v libvpx -deadline realtime -c:a libvorbis -f webm"));
    ASSERT_TRUE(MakeClip(Path("clip.aac"), "-vn -c:a aac -f adts"));
    WriteBytes(Path("clip.amr"), AmrFile());
    std::vector<uint8_t> noise(20000);
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<uint8_t>((i * 7919u) >> 3);
    noise[0] = 0x12;
    WriteBytes(Path("noise.bin"), noise);
    WriteBytes(Path("empty.bin"), {});
    noise[0] = 0x47; // a transport stream's sync byte, and nothing of one after it
    WriteBytes(Path("noise.ts"), noise);
    WriteBytes(Path("half.mp4"), Head(Path("clip.mp4"), 20000)); // its index is at the end
    std::vector<uint8_t> damaged = Head(Path("clip.flv"), 1 << 20);
    for (size_t i = 13; i < damaged.size(); i += 97)
        damaged[i] ^= 0x5A;
    WriteBytes(Path("damaged.flv"), damaged);

    struct Case
    {
        const char *file;
        int32_t result;
        uint32_t audioFormat;
    };
    const Case cases[] = {
        {"clip.mkv", VANTOR_E_UNSUPPORTED_FILE, 0},
        {"clip.webm", VANTOR_E_UNSUPPORTED_FILE, 0},
        {"clip.aac", VANTOR_E_UNSUPPORTED_FILE, 0},
        {"noise.bin", VANTOR_E_UNSUPPORTED_FILE, 0},
        {"empty.bin", VANTOR_E_UNSUPPORTED_FILE, 0},
        {"clip.amr", VANTOR_OK, 0x38},
        {"clip.mp3", VANTOR_OK, 0x55},
        {"noise.ts", VANTOR_E_STREAM_SYNTAX, 0},
        {"half.mp4", VANTOR_E_STREAM_SYNTAX, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        OpenedSource source;
        EXPECT_EQ(source.Open(Path(c.file)), c.result);
        if (c.result == VANTOR_OK) {
            EXPECT_EQ(source.info.nMediaType, kElementaryAudioMediaType);
            EXPECT_EQ(source.info.audio[0].nFormat, c.audioFormat);
            EXPECT_FALSE(ReadAll(source.p, SAMPLE_KIND_AUDIO).empty());
        }
    }
    // Damage inside the packets: whatever opens reads to an end.
    OpenedSource source;
    if (source.Open(Path("damaged.flv")) == VANTOR_OK) {
        ReadAll(source.p, SAMPLE_KIND_VIDEO);
        ReadAll(source.p, SAMPLE_KIND_AUDIO);
        uint32_t position = 1000;
        SourceSeek(source.p, &position, 0);
    }
}

// -- HTTP ---------------------------------------------------------------------------------

// A loopback port the system hands out for the socket type and takes back at once.
int PortFromTheSystem(int type)
{
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// A port nothing listens on.
int ClosedPort()
{
    return PortFromTheSystem(SOCK_STREAM);
}

TEST_F(LavfClips, OverHttpTheSamplesAreTheFilesOwn)
{
    LocalHttpServer server;
    ASSERT_TRUE(server.Start(s_folder->Path()));
    for (const char *file : {"clip.mp4", "clip.ts"}) {
        for (const char *scheme : {"http", "httpm"}) {
            SCOPED_TRACE(server.Url(file, scheme));
            OpenedSource local;
            OpenedSource remote;
            ASSERT_EQ(local.Open(Path(file)), VANTOR_OK);
            ASSERT_EQ(remote.Open(server.Url(file, scheme)), VANTOR_OK);
            // A transport stream's length comes from its last time stamps; while the download
            // has not reached them it is estimated from the first packets' byte rate.
            EXPECT_NEAR(double(remote.info.nDuration), double(local.info.nDuration),
                        local.info.nDuration * 0.25);
            EXPECT_EQ(remote.info.video[0].nFourcc, local.info.video[0].nFourcc);
            for (int32_t kind : {SAMPLE_KIND_VIDEO, SAMPLE_KIND_AUDIO}) {
                const std::vector<ReadSample> a = ReadAll(local.p, kind);
                const std::vector<ReadSample> b = ReadAll(remote.p, kind);
                ASSERT_EQ(a.size(), b.size());
                for (size_t i = 0; i < a.size(); ++i) {
                    EXPECT_EQ(a[i].ms, b[i].ms);
                    EXPECT_EQ(a[i].bytes, b[i].bytes);
                }
            }
            uint32_t report[5];
            SourceBufferingReport(remote.p, report);
            EXPECT_EQ(report[0], 100u);
            EXPECT_EQ(report[1], 100u);
        }
    }
    // The AVI reader reads through cursors on clones of the stream. It answers "not yet" for
    // indexed chunks beyond what has arrived, so it reads once the download is complete.
    ASSERT_TRUE(MakeClip(Path("clip.avi"), "-c:v mpeg4 -c:a aac -f avi"));
    {
        OpenedSource local;
        OpenedSource remote;
        ASSERT_EQ(local.Open(Path("clip.avi")), VANTOR_OK);
        ASSERT_EQ(remote.Open(server.Url("clip.avi")), VANTOR_OK);
        EXPECT_EQ(remote.info.nMediaType, 5u);
        EXPECT_TRUE(WaitUntil(
            [&] {
                uint32_t report[5];
                SourceBufferingReport(remote.p, report);
                return report[1] >= 100;
            },
            10000))
            << "the download did not finish";
        for (int32_t kind : {SAMPLE_KIND_VIDEO, SAMPLE_KIND_AUDIO}) {
            const std::vector<ReadSample> a = ReadAll(local.p, kind);
            const std::vector<ReadSample> b = ReadAll(remote.p, kind);
            ASSERT_EQ(a.size(), b.size());
            EXPECT_FALSE(a.empty());
            for (size_t i = 0; i < a.size(); ++i)
                EXPECT_EQ(a[i].bytes, b[i].bytes);
        }
    }
    OpenedSource missing;
    EXPECT_EQ(missing.Open(server.Url("no-such-clip.mp4")), VANTOR_E_FILE_NOT_FOUND);
    OpenedSource refused;
    EXPECT_EQ(refused.Open("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/clip.mp4"),
              VANTOR_E_NO_CONNECTION);
}

// A server that sends 30 kB a second: the download word rises to 100 while the first bytes
// are already readable.
TEST_F(LavfClips, OverASlowLinkTheBufferingReportFollowsTheDownload)
{
    Path("clip.ts");
    LocalHttpServer server;
    ASSERT_TRUE(server.Start(s_folder->Path(), 30000));
    OpenedSource remote;
    ASSERT_EQ(remote.Open(server.Url("clip.ts")), VANTOR_OK);
    uint32_t first[5];
    SourceBufferingReport(remote.p, first);
    EXPECT_LT(first[1], 100u);
    ReadSample sample;
    EXPECT_EQ(ReadNext(remote.p, SAMPLE_KIND_VIDEO, &sample), VANTOR_OK);
    uint32_t report[5] = {};
    std::vector<uint32_t> downloads;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (report[1] < 100 && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        SourceBufferingReport(remote.p, report);
        downloads.push_back(report[1]);
    }
    EXPECT_EQ(report[1], 100u);
    EXPECT_EQ(report[0], 100u);
    EXPECT_TRUE(std::is_sorted(downloads.begin(), downloads.end()));
    EXPECT_GT(downloads.size(), 3u);
}

// -- sessions -------------------------------------------------------------------------------

// An even UDP port nothing uses now (RTP on it, RTCP on the next).
int FreeRtpPort()
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int port = PortFromTheSystem(SOCK_DGRAM);
        if (port % 2 == 0 && port < 65534)
            return port;
    }
    return -1;
}

// The ffmpeg program sends H.264 over RTP in real time and writes the SDP that describes it;
// the locator ".sdp" opens a session that receives the pictures.
TEST_F(LavfClips, ASessionFromAnSdpFileReceivesThePushedPictures)
{
    const std::string clip = Path("video.mp4");
    ASSERT_TRUE(MakeClip(clip, "-an -c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 10 -f mp4"));
    const int port = FreeRtpPort();
    ASSERT_GT(port, 0);
    const std::string sdp = Path("session.sdp");
    BackgroundCommand sender("exec ffmpeg -nostdin -v error -re -stream_loop -1 -i '" + clip +
                             "' -an -c:v copy -f rtp -sdp_file '" + sdp +
                             "' rtp://127.0.0.1:" + std::to_string(port) + " >/dev/null 2>&1");
    ASSERT_TRUE(WaitUntil(
        [&] { return std::filesystem::exists(sdp) && std::filesystem::file_size(sdp) >= 100; },
        10000))
        << "no SDP from ffmpeg";
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the file is complete

    OpenedSource session;
    ASSERT_EQ(session.Open(sdp), VANTOR_OK);
    EXPECT_EQ(session.info.nMediaType, kRtspMediaType);
    ASSERT_EQ(session.info.nVideoCount, 1u);
    EXPECT_EQ(session.info.nAudioCount, 0u);
    EXPECT_EQ(FourccText(session.info.video[0].nFourcc), "H264");
    EXPECT_EQ(session.info.video[0].nWidth, 160u);
    EXPECT_EQ(session.info.video[0].nHeight, 96u);
    std::vector<uint32_t> times;
    ReadSample sample;
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(ReadNext(session.p, SAMPLE_KIND_VIDEO, &sample), VANTOR_OK) << i;
        EXPECT_GT(sample.size, 0u);
        times.push_back(sample.ms);
    }
    // Pictures 40 ms apart once the stream's clock is known (the first may be stamped 0).
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    for (size_t i = 11; i < times.size(); ++i)
        EXPECT_EQ(times[i] - times[i - 1], 40u) << i;
    uint32_t position = 0;
    EXPECT_EQ(SourceSeek(session.p, &position, 0), 0) << "a live session does not seek";

    OpenedSource refused, missing;
    EXPECT_EQ(refused.Open("rtsp://127.0.0.1:" + std::to_string(ClosedPort()) + "/clip"),
              VANTOR_E_NO_CONNECTION);
    EXPECT_EQ(missing.Open(Path("missing.sdp")), VANTOR_E_FILE_NOT_FOUND);
}

} // namespace
