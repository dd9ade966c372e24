// roadlog-mkcard as the tests and the demo use it: the card it writes, run as a program.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "tests/engine/source/clf_file_parse.h"
#include "tools/mkcard/av_owners.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

namespace fs = std::filesystem;
using clf_test::ParseClf;
using clf_test::ParsedClf;

constexpr uint32_t kTagVideo = 0x76646174;
constexpr uint32_t kTagAudio = 0x61646174;
constexpr uint32_t kTagText = 0x74646174;

int RunMkcard(const std::string &args)
{
    const std::string command = std::string(ROADLOG_MKCARD) + " " + args + " 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quoted(const fs::path &path)
{
    return "'" + path.string() + "'";
}

bool EndsWithAvi(const std::string &name)
{
    if (name.size() < 4)
        return false;
    std::string tail = name.substr(name.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(), ::tolower);
    return tail == ".avi";
}

// Clips of a folder, by name.
std::vector<fs::path> ClipsIn(const fs::path &folder)
{
    std::vector<fs::path> clips;
    for (const auto &entry : fs::directory_iterator(folder))
        if (entry.is_regular_file() && EndsWithAvi(entry.path().filename().string()))
            clips.push_back(entry.path());
    std::sort(clips.begin(), clips.end());
    return clips;
}

std::vector<const ParsedClf::Record *> RecordsOf(const ParsedClf &clf, uint32_t tag)
{
    std::vector<const ParsedClf::Record *> out;
    for (const auto &r : clf.records)
        if (r.tag == tag)
            out.push_back(&r);
    return out;
}

// The NMEA checksum: XOR of everything between '$' and '*', two upper-case hex digits.
bool ChecksumMatches(const std::string &sentence)
{
    const size_t dollar = sentence.find('$');
    const size_t star = sentence.rfind('*');
    if (dollar == std::string::npos || star == std::string::npos || star + 3 != sentence.size())
        return false;
    unsigned sum = 0;
    for (size_t i = dollar + 1; i < star; ++i)
        sum ^= uint8_t(sentence[i]);
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", sum);
    return sentence.compare(star + 1, 2, hex) == 0;
}

std::vector<std::string> Fields(const std::string &sentence)
{
    std::vector<std::string> fields(1);
    for (char c : sentence) {
        if (c == ',')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

class MkcardShortCard : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_Dir = fs::temp_directory_path() / ("mkcard_test_" + std::to_string(::getpid()));
        fs::remove_all(s_Dir);
        fs::create_directories(s_Dir);
        s_nFirstRun = RunMkcard("--short " + Quoted(s_Dir / "card"));
    }
    static void TearDownTestSuite() { fs::remove_all(s_Dir); }

    static fs::path Card() { return s_Dir / "card"; }

    // Every clip of the card, each category's folder searched as the catalog searches it.
    // The CLF ones or the RIFF AVI ones.
    static std::vector<fs::path> ClipsOfContainer(const char *magic)
    {
        std::vector<fs::path> out;
        for (const fs::path &clip : AllClips()) {
            const std::vector<uint8_t> bytes = clf_test::ReadFileBytes(clip);
            if (bytes.size() >= 4 && std::equal(magic, magic + 4, bytes.begin()))
                out.push_back(clip);
        }
        return out;
    }
    static std::vector<fs::path> AllClips()
    {
        std::vector<fs::path> clips;
        for (const auto &day : fs::directory_iterator(Card() / "RECORD"))
            if (day.is_directory())
                for (const fs::path &clip : ClipsIn(day.path()))
                    clips.push_back(clip);
        for (const char *folder : {"EVENT", "MANUAL", "MOTION"})
            for (const fs::path &clip : ClipsIn(Card() / folder))
                clips.push_back(clip);
        return clips;
    }

    static inline fs::path s_Dir;
    static inline int s_nFirstRun = -1;
};

TEST_F(MkcardShortCard, HasTheRecorderLayout)
{
    ASSERT_EQ(s_nFirstRun, 0);
    size_t recordClips = 0, dayFolders = 0;
    for (const auto &day : fs::directory_iterator(Card() / "RECORD")) {
        ASSERT_TRUE(day.is_directory()) << "clips lie in day folders only: " << day.path();
        ++dayFolders;
        recordClips += ClipsIn(day.path()).size();
    }
    EXPECT_EQ(dayFolders, 2u);
    EXPECT_GE(recordClips, 3u);
    for (const char *folder : {"EVENT", "MANUAL", "MOTION"})
        EXPECT_FALSE(ClipsIn(Card() / folder).empty()) << folder;
    for (const fs::path &clip : AllClips())
        EXPECT_GT(fs::file_size(clip), 1024u) << clip << " must count as a clip";
    // Every category has a CLF clip, the recorder's own container; a few clips are AVI.
    const std::vector<fs::path> clf = ClipsOfContainer("CLF ");
    for (const char *folder : {"RECORD", "EVENT", "MANUAL", "MOTION"})
        EXPECT_TRUE(std::any_of(clf.begin(), clf.end(), [&](const fs::path &p) {
            return fs::relative(p, Card()).begin()->string() == folder;
        })) << folder;
    EXPECT_EQ(clf.size() + ClipsOfContainer("RIFF").size(), AllClips().size());
    EXPECT_FALSE(ClipsOfContainer("RIFF").empty());
}

TEST_F(MkcardShortCard, SettingsFilesAreTheRecorders)
{
    ASSERT_EQ(s_nFirstRun, 0);
    const std::vector<uint8_t> setup = clf_test::ReadFileBytes(Card() / "setting" / "setup.cfg");
    ASSERT_EQ(setup.size(), 116u);
    const uint32_t stored = uint32_t(setup[112]) | uint32_t(setup[113]) << 8 |
                            uint32_t(setup[114]) << 16 | uint32_t(setup[115]) << 24;
    EXPECT_EQ(stored, crc32(0L, setup.data(), 112));
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(setup.data()) + 33), "1.0.3");

    const std::vector<uint8_t> time = clf_test::ReadFileBytes(Card() / "setting" / "data_Time.cfg");
    EXPECT_EQ(std::string(time.begin(), time.end()), "2010 10 11 13 45 09");
}

TEST_F(MkcardShortCard, TwoRunsGiveTheSameFiles)
{
    ASSERT_EQ(s_nFirstRun, 0);
    ASSERT_EQ(RunMkcard("--short " + Quoted(s_Dir / "again")), 0);
    size_t compared = 0;
    for (const auto &entry : fs::recursive_directory_iterator(Card())) {
        const fs::path other = s_Dir / "again" / fs::relative(entry.path(), Card());
        ASSERT_TRUE(fs::exists(other)) << other;
        if (!entry.is_regular_file())
            continue;
        EXPECT_EQ(clf_test::ReadFileBytes(entry.path()), clf_test::ReadFileBytes(other))
            << entry.path();
        EXPECT_EQ(fs::last_write_time(entry.path()), fs::last_write_time(other)) << entry.path();
        ++compared;
    }
    EXPECT_GT(compared, 2u);
}

TEST_F(MkcardShortCard, ClipsCarryVideoSoundAndOneFixASecond)
{
    ASSERT_EQ(s_nFirstRun, 0);
    const std::vector<fs::path> clips = ClipsOfContainer("CLF ");
    ASSERT_FALSE(clips.empty());
    for (const fs::path &path : clips) {
        SCOPED_TRACE(path.string());
        const ParsedClf clf = ParseClf(clf_test::ReadFileBytes(path));
        ASSERT_EQ(clf.error, "");
        EXPECT_EQ(clf.magic, "CLF ");
        EXPECT_TRUE(clf.endRecordLast);
        EXPECT_EQ(clf.durationMs, 3000u);
        ASSERT_EQ(clf.video.size(), 1u);
        ASSERT_EQ(clf.audio.size(), 1u);
        ASSERT_EQ(clf.text.size(), 1u);
        EXPECT_EQ(clf_test::FourccText(clf.video[0].fourcc), "XVID");
        EXPECT_EQ(clf.video[0].rate1000, 25000u);
        EXPECT_EQ(clf.audio[0].format, 0xFFu);
        EXPECT_EQ(clf_test::FourccText(clf.text[0].codec), "TRVX");

        // Records in time order overall; pictures every 40 ms with a key picture each second.
        for (size_t i = 1; i < clf.records.size(); ++i)
            EXPECT_GE(clf.records[i].timeMs, clf.records[i - 1].timeMs) << "record " << i;
        const auto pictures = RecordsOf(clf, kTagVideo);
        ASSERT_EQ(pictures.size(), 75u);
        for (size_t i = 0; i < pictures.size(); ++i) {
            EXPECT_EQ(pictures[i]->timeMs, i * 40) << i;
            EXPECT_EQ(pictures[i]->spare, i % 25 == 0 ? 1u : 0u) << i;
        }
        uint32_t largest = 0;
        for (const auto *p : pictures)
            largest = std::max(largest, p->size);
        EXPECT_EQ(clf.video[0].largest, largest);

        const auto sound = RecordsOf(clf, kTagAudio);
        ASSERT_GE(sound.size(), 40u);
        for (size_t i = 0; i < sound.size(); ++i)
            EXPECT_EQ(sound[i]->timeMs, i * 64) << i;

        const auto fixes = RecordsOf(clf, kTagText);
        ASSERT_EQ(fixes.size(), 3u);
        for (size_t i = 0; i < fixes.size(); ++i) {
            const std::string sentence(fixes[i]->data.begin(), fixes[i]->data.end());
            EXPECT_EQ(fixes[i]->timeMs, i * 1000);
            EXPECT_TRUE(ChecksumMatches(sentence)) << sentence;
            const std::vector<std::string> f = Fields(sentence);
            ASSERT_GE(f.size(), 13u) << sentence;
            EXPECT_EQ(f[0], "G$GPRMC");
            EXPECT_EQ(f[1].size(), 10u) << "hhmmss.sss";
            EXPECT_EQ(f[9].size(), 6u) << "ddmmyy";
            if (f[2] == "A") {
                EXPECT_EQ(f[3].find('.'), 4u) << "ddmm.mmmm";
                EXPECT_EQ(f[5].find('.'), 5u) << "dddmm.mmmm";
            } else {
                EXPECT_EQ(f[2], "V");
            }
        }
    }
}

// Decoding checks run on one clip of each kind of folder.
class MkcardClipDecodes : public MkcardShortCard
{
protected:
    static fs::path SomeClip() { return ClipsIn(Card() / "EVENT").at(0); }
};

AvCodecContextPtr OpenDecoder(AVCodecID id, const std::vector<uint8_t> &extra)
{
    const AVCodec *codec = avcodec_find_decoder(id);
    if (!codec)
        return nullptr;
    AvCodecContextPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx)
        return nullptr;
    ctx->extradata =
        static_cast<uint8_t *>(av_mallocz(extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!ctx->extradata)
        return nullptr;
    std::copy(extra.begin(), extra.end(), ctx->extradata);
    ctx->extradata_size = int(extra.size());
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0)
        return nullptr;
    return ctx;
}

// Feeds samples and collects every frame the decoder gives back.
std::vector<AvFramePtr> Decode(AVCodecContext *ctx,
                               const std::vector<const ParsedClf::Record *> &samples)
{
    std::vector<AvFramePtr> frames;
    AvPacketPtr packet(av_packet_alloc());
    for (const auto *s : samples) {
        if (av_new_packet(packet.get(), int(s->size)) < 0)
            return frames;
        std::copy(s->data.begin(), s->data.end(), packet->data);
        const int sent = avcodec_send_packet(ctx, packet.get());
        av_packet_unref(packet.get());
        if (sent < 0)
            return frames;
        for (;;) {
            AvFramePtr frame(av_frame_alloc());
            if (avcodec_receive_frame(ctx, frame.get()) < 0)
                break;
            frames.push_back(std::move(frame));
        }
    }
    avcodec_send_packet(ctx, nullptr);
    for (;;) {
        AvFramePtr frame(av_frame_alloc());
        if (avcodec_receive_frame(ctx, frame.get()) < 0)
            break;
        frames.push_back(std::move(frame));
    }
    return frames;
}

// Sum of absolute differences of two pictures' luma inside a band of rows.
uint64_t LumaDifference(const AVFrame *a, const AVFrame *b, int top, int bottom)
{
    uint64_t sum = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < a->width; ++x)
            sum += uint64_t(
                std::abs(a->data[0][y * a->linesize[0] + x] - b->data[0][y * b->linesize[0] + x]));
    return sum;
}

TEST_F(MkcardClipDecodes, PicturesDecodeFromTheStartAndFromAKeyPicture)
{
    ASSERT_EQ(s_nFirstRun, 0);
    const ParsedClf clf = ParseClf(clf_test::ReadFileBytes(SomeClip()));
    ASSERT_EQ(clf.error, "");
    const auto pictures = RecordsOf(clf, kTagVideo);
    ASSERT_GE(pictures.size(), 30u);

    const std::vector<uint8_t> &extra = clf.video[0].extraData;
    AvCodecContextPtr ctx = OpenDecoder(AV_CODEC_ID_MPEG4, extra);
    ASSERT_TRUE(ctx);
    const auto frames = Decode(ctx.get(), {pictures.begin(), pictures.begin() + 3});
    ASSERT_EQ(frames.size(), 3u);
    for (const auto &f : frames) {
        EXPECT_EQ(f->width, int(clf.video[0].width));
        EXPECT_EQ(f->height, int(clf.video[0].height));
    }
    // The bars at the bottom move every frame; a still picture would play as a frozen clip.
    const int h = frames[0]->height;
    EXPECT_GT(LumaDifference(frames[0].get(), frames[1].get(), h * 3 / 4, h), 1000u);

    // A seek starts decoding at the second key picture, without anything before it.
    AvCodecContextPtr fresh = OpenDecoder(AV_CODEC_ID_MPEG4, clf.video[0].extraData);
    ASSERT_TRUE(fresh);
    const auto afterSeek = Decode(fresh.get(), {pictures.begin() + 25, pictures.begin() + 27});
    ASSERT_EQ(afterSeek.size(), 2u);
    EXPECT_EQ(afterSeek[0]->key_frame, 1);
    EXPECT_EQ(afterSeek[0]->width, int(clf.video[0].width));

    // The extra data alone configures a decoder: a key picture stripped of its in-band stream
    // headers still decodes, which it could not with wrong or missing extra data.
    std::vector<uint8_t> body = pictures[25]->data;
    size_t vop = 0;
    while (vop + 3 < body.size() &&
           !(body[vop] == 0 && body[vop + 1] == 0 && body[vop + 2] == 1 && body[vop + 3] == 0xB6))
        ++vop;
    ASSERT_LT(vop + 3, body.size());
    ASSERT_GT(vop, 0u) << "key pictures repeat the stream headers";
    ParsedClf::Record stripped = *pictures[25];
    stripped.data.erase(stripped.data.begin(), stripped.data.begin() + long(vop));
    stripped.size = uint32_t(stripped.data.size());
    AvCodecContextPtr bare = OpenDecoder(AV_CODEC_ID_MPEG4, extra);
    ASSERT_TRUE(bare);
    const auto fromExtra = Decode(bare.get(), {&stripped});
    ASSERT_EQ(fromExtra.size(), 1u);
    EXPECT_EQ(fromExtra[0]->width, int(clf.video[0].width));
    EXPECT_EQ(fromExtra[0]->height, int(clf.video[0].height));
    AvCodecContextPtr none = OpenDecoder(AV_CODEC_ID_MPEG4, {});
    ASSERT_TRUE(none);
    EXPECT_TRUE(Decode(none.get(), {&stripped}).empty()) << "the check above must depend on it";
}

TEST_F(MkcardClipDecodes, SoundDecodesAsTheHeaderSays)
{
    ASSERT_EQ(s_nFirstRun, 0);
    const ParsedClf clf = ParseClf(clf_test::ReadFileBytes(SomeClip()));
    ASSERT_EQ(clf.error, "");
    const auto sound = RecordsOf(clf, kTagAudio);
    ASSERT_GE(sound.size(), 10u);
    // Raw frames carry no headers: rate and channels come from the AudioSpecificConfig.
    AvCodecContextPtr ctx = OpenDecoder(AV_CODEC_ID_AAC, clf.audio[0].extraData);
    ASSERT_TRUE(ctx);
    const auto frames = Decode(ctx.get(), {sound.begin(), sound.begin() + 10});
    ASSERT_EQ(frames.size(), 10u);
    double energy = 0;
    for (const auto &f : frames) {
        EXPECT_EQ(f->sample_rate, int(clf.audio[0].sampleRate));
        EXPECT_EQ(f->ch_layout.nb_channels, int(clf.audio[0].channels));
        EXPECT_EQ(f->nb_samples, 1024);
        ASSERT_EQ(f->format, AV_SAMPLE_FMT_FLTP);
        const auto *pcm = reinterpret_cast<const float *>(f->data[0]);
        for (int i = 0; i < f->nb_samples; ++i)
            energy += double(pcm[i]) * pcm[i];
    }
    EXPECT_GT(energy, 10.0) << "the tone must be audible, not silence";
}

TEST_F(MkcardClipDecodes, AviClipsHoldTheSamePicturesAndSound)
{
    ASSERT_EQ(s_nFirstRun, 0);
    const std::vector<fs::path> clips = ClipsOfContainer("RIFF");
    ASSERT_FALSE(clips.empty());
    for (const fs::path &clip : clips) {
        SCOPED_TRACE(clip.string());
        AVFormatContext *raw = nullptr;
        ASSERT_EQ(avformat_open_input(&raw, clip.c_str(), nullptr, nullptr), 0);
        AvInputPtr in(raw);
        EXPECT_STREQ(in->iformat->name, "avi");
        ASSERT_GE(avformat_find_stream_info(in.get(), nullptr), 0);
        ASSERT_EQ(in->nb_streams, 2u);
        const AVCodecParameters *v = in->streams[0]->codecpar;
        const AVCodecParameters *a = in->streams[1]->codecpar;
        EXPECT_EQ(v->codec_id, AV_CODEC_ID_MPEG4);
        EXPECT_EQ(v->codec_tag, MKTAG('X', 'V', 'I', 'D'));
        EXPECT_EQ(v->width, 640);
        EXPECT_EQ(v->height, 360);
        EXPECT_EQ(a->codec_id, AV_CODEC_ID_AAC);
        EXPECT_EQ(a->codec_tag, 0xFFu);
        EXPECT_EQ(a->sample_rate, 16000);

        AvPacketPtr packet(av_packet_alloc());
        int pictures = 0, keys = 0, sound = 0;
        while (av_read_frame(in.get(), packet.get()) >= 0) {
            if (packet->stream_index == 0) {
                keys += (packet->flags & AV_PKT_FLAG_KEY) != 0;
                ++pictures;
            } else {
                ++sound;
            }
            av_packet_unref(packet.get());
        }
        EXPECT_EQ(pictures, 75);
        EXPECT_EQ(keys, 3) << "a key picture each second";
        EXPECT_EQ(sound, 3000 / 64);
    }
}

// A card of a recorder with a rear camera: every clip an AVI whose second video stream is the
// smaller camera, in either order of the options.
TEST(MkcardTwoCameras, EveryClipIsAnAviWithASecondCamera)
{
    const fs::path dir = fs::temp_directory_path() / ("mkcard-two-" + std::to_string(::getpid()));
    ASSERT_EQ(RunMkcard("--two-cameras --short " + Quoted(dir)), 0);
    size_t clips = 0;
    for (const auto &entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file() || !EndsWithAvi(entry.path().filename().string()))
            continue;
        SCOPED_TRACE(entry.path().string());
        ++clips;
        AVFormatContext *raw = nullptr;
        ASSERT_EQ(avformat_open_input(&raw, entry.path().c_str(), nullptr, nullptr), 0);
        AvInputPtr in(raw);
        EXPECT_STREQ(in->iformat->name, "avi");
        ASSERT_GE(avformat_find_stream_info(in.get(), nullptr), 0);
        ASSERT_EQ(in->nb_streams, 3u);
        EXPECT_EQ(in->streams[0]->codecpar->width, 640);
        EXPECT_EQ(in->streams[1]->codecpar->codec_type, AVMEDIA_TYPE_VIDEO);
        EXPECT_EQ(in->streams[1]->codecpar->width, 320);
        EXPECT_EQ(in->streams[1]->codecpar->height, 240);
        EXPECT_EQ(in->streams[2]->codecpar->codec_type, AVMEDIA_TYPE_AUDIO);
    }
    EXPECT_EQ(clips, 11u);
    EXPECT_EQ(RunMkcard("--short --two-cameras " + Quoted(dir / "again")), 0);
    fs::remove_all(dir);
}

#ifdef ROADLOG_PROBE
// What the engine's reader sees in a demo clip: the same samples, times and sizes as the file
// holds, one fix a second, pictures at the frame rate.
std::string ProbeOutput(const std::string &args)
{
    const std::string command = std::string(ROADLOG_PROBE) + " " + args;
    std::string out;
    if (FILE *pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        if (::pclose(pipe) != 0)
            out += "\n(probe failed)";
    }
    return out;
}

TEST_F(MkcardClipDecodes, EngineReaderSeesWhatTheFileHolds)
{
    ASSERT_EQ(s_nFirstRun, 0);
    const fs::path clip = SomeClip();
    const ParsedClf clf = ParseClf(clf_test::ReadFileBytes(clip));
    ASSERT_EQ(clf.error, "");

    const std::string info = ProbeOutput("info " + Quoted(clip));
    for (const char *field :
         {"\"media_type\":12", "\"duration_ms\":3000", "\"fourcc_text\":\"XVID\"",
          "\"frame_rate_milli\":25000", "\"format\":255", "\"sample_rate\":16000"})
        EXPECT_NE(info.find(field), std::string::npos) << field << " in " << info;

    const struct
    {
        const char *kind;
        uint32_t tag;
        uint32_t step;
    } kinds[] = {{"video", kTagVideo, 40}, {"audio", kTagAudio, 64}, {"text", kTagText, 1000}};
    for (const auto &k : kinds) {
        std::string expected;
        uint32_t n = 0;
        for (const auto *r : RecordsOf(clf, k.tag)) {
            EXPECT_EQ(r->timeMs, n++ * k.step) << k.kind;
            expected += std::to_string(r->timeMs) + " " + std::to_string(r->size) + "\n";
        }
        EXPECT_EQ(ProbeOutput("samples " + Quoted(clip) + " --kind " + k.kind), expected) << k.kind;
    }
}
#endif

TEST(MkcardNmea, LinesBecomeTextSamplesOneASecond)
{
    const fs::path dir = fs::temp_directory_path() / ("mkcard_nmea_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string longLine = "G$GPRMC," + std::string(1500 - 8, 'x');
    {
        std::ofstream nmea(dir / "route.nmea", std::ios::binary);
        nmea << "G$GPRMC,143300.000,A,3730.1234,N,12701.5000,E,10.5,90.0,120510,,,A\r\n"
             << "$GPRMC,143301.000,A,3730.1300,N,12701.5100,E,10.5,90.0,120510,,,A\n"
             << "\n" // an empty line keeps its second but gives no sample
             << longLine << "\n"
             << "last line without end";
    }
    ASSERT_EQ(RunMkcard("--nmea " + Quoted(dir / "route.nmea") + " " + Quoted(dir / "clip.avi")),
              0);
    const ParsedClf clf = ParseClf(clf_test::ReadFileBytes(dir / "clip.avi"));
    ASSERT_EQ(clf.error, "");
    const auto texts = RecordsOf(clf, kTagText);
    const std::pair<uint32_t, std::string> expected[] = {
        {0, "G$GPRMC,143300.000,A,3730.1234,N,12701.5000,E,10.5,90.0,120510,,,A"},
        {1000, "$GPRMC,143301.000,A,3730.1300,N,12701.5100,E,10.5,90.0,120510,,,A"},
        {3000, longLine},
        {4000, "last line without end"},
    };
    ASSERT_EQ(texts.size(), std::size(expected));
    for (size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(texts[i]->timeMs, expected[i].first);
        EXPECT_EQ(std::string(texts[i]->data.begin(), texts[i]->data.end()), expected[i].second);
    }
    EXPECT_EQ(clf.text[0].largest, 1500u);
    EXPECT_EQ(clf.video[0].durationMs, 5000u) << "the picture lasts as long as the five lines";
    EXPECT_FALSE(RecordsOf(clf, kTagVideo).empty());
    EXPECT_FALSE(RecordsOf(clf, kTagAudio).empty());
    EXPECT_TRUE(clf.endRecordLast);
    fs::remove_all(dir);
}

TEST(MkcardErrors, BadArgumentsAndUnwritablePlacesFail)
{
    const struct
    {
        const char *args;
        int status;
    } cases[] = {
        {"", 2},
        {"--short", 2},
        {"--two-cameras", 2},
        {"--short --short /tmp/x", 2},
        {"--bogus /tmp/x", 2},
        {"--nmea /nonexistent/route.nmea /tmp/out.avi", 1},
        {"--nmea /dev/null /nonexistent/dir/out.avi", 1},
        {"/dev/null/card", 1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(RunMkcard(c.args), c.status) << c.args;
}

} // namespace
