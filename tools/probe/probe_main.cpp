// roadlog-probe: what the engine sees in a clip. Errors print the engine's message on stderr and
// exit with 1.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/md5.h>
#include <libavutil/mem.h>
}

#include "engine/codecs/av_owners.h"
#include "engine/codecs/decode_file.h"
#include "engine/core/vantor_errors.h"
#include "engine/source/media_info_json.h"
#include "engine/source/source_object.h"
#include "telemetry/clip_track.h"

namespace {

// Closes the source on every way out.
class OpenSource
{
public:
    int32_t Open(const char *path) { return SourceOpenPath(path, &m_pSource, &m_info); }
    ~OpenSource() { SourceClose(m_pSource); }

    SourceObject *Source() const { return m_pSource; }
    const MediaInfo &Info() const { return m_info; }

private:
    SourceObject *m_pSource = nullptr;
    MediaInfo m_info{};
};

int Fail(int32_t code)
{
    std::fprintf(stderr, "%s\n", VantorErrorText(code));
    return 1;
}

int Usage()
{
    std::fprintf(stderr, "usage: roadlog-probe info FILE\n"
                         "       roadlog-probe samples FILE --kind video|audio|text\n"
                         "       roadlog-probe decode FILE\n"
                         "       roadlog-probe track FILE\n");
    return 2;
}

int CommandInfo(int argc, char **argv)
{
    if (argc != 1)
        return Usage();
    OpenSource source;
    if (const int32_t result = source.Open(argv[0]); result < 0)
        return Fail(result);
    std::printf("%s\n", MediaInfoToJson(source.Info()).c_str());
    return 0;
}

struct KindName
{
    const char *szName;
    int32_t nKind;
};

constexpr KindName kKinds[] = {
    {"audio", SAMPLE_KIND_AUDIO},
    {"video", SAMPLE_KIND_VIDEO},
    {"text", SAMPLE_KIND_TEXT},
};

uint32_t FirstBufferSize(const MediaInfo &info, int32_t kind)
{
    switch (kind) {
    case SAMPLE_KIND_AUDIO:
        return info.audio[0].nMaxSampleSize;
    case SAMPLE_KIND_VIDEO:
        return info.video[0].nMaxSampleSize;
    default:
        return info.text[0].nMaxSampleSize;
    }
}

int CommandSamples(int argc, char **argv)
{
    if (argc != 3 || std::strcmp(argv[1], "--kind") != 0)
        return Usage();
    const KindName *kind = nullptr;
    for (const KindName &k : kKinds) {
        if (std::strcmp(argv[2], k.szName) == 0)
            kind = &k;
    }
    if (!kind)
        return Usage();
    OpenSource source;
    if (const int32_t result = source.Open(argv[0]); result < 0)
        return Fail(result);

    std::vector<uint8_t> buffer(std::max<uint32_t>(FirstBufferSize(source.Info(), kind->nKind), 1));
    for (;;) {
        SampleRequest request{};
        request.pBuffer = buffer.data();
        request.nBufferSize = static_cast<uint32_t>(buffer.size());
        request.nKind = kind->nKind;
        int32_t readerResult = 0;
        const int32_t result = SourceRead(source.Source(), &request, &readerResult);
        if (result == VANTOR_OK) {
            std::printf("%u %u\n", request.nTime, request.nLength);
            continue;
        }
        if (readerResult == VANTOR_E_BUFFER_TOO_SMALL && request.nBufferSize > buffer.size()) {
            buffer.resize(request.nBufferSize);
            continue;
        }
        if (result == VANTOR_E_NO_STREAM) {
            std::fprintf(stderr, "no %s stream\n", kind->szName);
            return 1;
        }
        if (readerResult == VANTOR_E_END_OF_STREAM)
            return 0;
        return Fail(readerResult);
    }
}

// The GPS track the viewer builds from the clip: "time_ms,lat,lon,speed,course" per fix, the
// position in signed degrees (south and west negative), speed and course truncated.
int CommandTrack(int argc, char **argv)
{
    if (argc != 1)
        return Usage();
    // Nothing is shown or heard; the clip is only opened and its text read.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    std::vector<TRACK_POINT> points;
    if (const int32_t result = ReadClipTrack(argv[0], &points); result < 0)
        return Fail(result);
    for (const TRACK_POINT &point : points)
        std::printf("%u,%0.6f,%0.6f,%d,%d\n", point.dwTime, point.dLatitude, point.dLongitude,
                    point.nSpeed, point.nCourse);
    return 0;
}

using AvMd5Ptr = std::unique_ptr<AVMD5, FreeWith<av_freep>>;

// md5 of the decoder's own planes cropped to the picture: Y rows, then U, then V.
std::string PictureMd5(AVMD5 *md5, const VideoDecoder &decoder, const VideoPicture &picture)
{
    av_md5_init(md5);
    const int32_t width = decoder.nWidth, height = decoder.nHeight;
    const int32_t chromaWidth = (width + 1) / 2, chromaHeight = (height + 1) / 2;
    const ptrdiff_t chromaStride = picture.nStride / 2;
    for (int32_t row = 0; row < height; ++row)
        av_md5_update(md5, picture.pY + ptrdiff_t(row) * picture.nStride, size_t(width));
    for (const uint8_t *plane : {picture.pU, picture.pV}) {
        for (int32_t row = 0; row < chromaHeight; ++row)
            av_md5_update(md5, plane + ptrdiff_t(row) * chromaStride, size_t(chromaWidth));
    }
    uint8_t digest[16];
    av_md5_final(md5, digest);
    char text[33];
    for (int i = 0; i < 16; ++i)
        std::snprintf(text + 2 * i, 3, "%02x", digest[i]);
    return text;
}

int CommandDecode(int argc, char **argv)
{
    if (argc != 1)
        return Usage();
    AvMd5Ptr md5(av_md5_alloc());
    if (!md5)
        return Fail(VANTOR_E_OUT_OF_MEMORY);
    const int32_t result = DecodeVideoFile(
        argv[0], [&](const VideoDecoder &decoder, const VideoPicture &picture, int32_t timeMs) {
            std::printf("%d %s\n", timeMs, PictureMd5(md5.get(), decoder, picture).c_str());
        });
    if (result == VANTOR_E_NO_STREAM) {
        std::fprintf(stderr, "no video stream\n");
        return 1;
    }
    return result < 0 ? Fail(result) : 0;
}

struct Command
{
    const char *szName;
    int (*run)(int argc, char **argv); // arguments after the command name
};

// Further subcommands (track) join this table.
constexpr Command kCommands[] = {
    {"info", CommandInfo},
    {"samples", CommandSamples},
    {"decode", CommandDecode},
    {"track", CommandTrack},
};

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return Usage();
    for (const Command &command : kCommands) {
        if (std::strcmp(argv[1], command.szName) == 0)
            return command.run(argc - 2, argv + 2);
    }
    return Usage();
}
