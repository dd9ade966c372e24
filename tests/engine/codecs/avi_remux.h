#pragma once

// The video samples of a clip as the engine reads them, written unchanged into an AVI file with
// libavformat, so FFmpeg's own tools can decode the very same bitstream.
#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "engine/codecs/video_classify.h"
#include "engine/source/source_object.h"

struct RemuxSample
{
    std::vector<uint8_t> data;
    bool key = false;
};

struct RemuxStream
{
    AVCodecID codec = AV_CODEC_ID_NONE;
    uint32_t fourcc = 0; // codec tag, first letter in the lowest byte
    int width = 0, height = 0;
    int fps = 25;
    std::vector<uint8_t> extra;
    std::vector<RemuxSample> samples; // in decode order, one per frame
};

// Reads the first video stream of a file through the engine's source.
inline bool ReadVideoSamples(const std::string &path, RemuxStream *out)
{
    SourceObject *source = nullptr;
    MediaInfo info{};
    if (SourceOpenPath(path, &source, &info) < 0)
        return false;
    const VIDEO_STREAM_INFO &video = info.video[0];
    out->fourcc = video.nFourcc;
    out->width = int(video.nWidth);
    out->height = int(video.nHeight);
    out->fps = video.nFrameRate ? int((video.nFrameRate + 500) / 1000) : 25;
    out->extra.assign(video.byExtraData, video.byExtraData + video.nExtraDataLength);
    std::vector<uint8_t> buffer(std::max<uint32_t>(video.nMaxSampleSize, 1));
    bool ok = info.nVideoCount > 0;
    while (ok) {
        SampleRequest request{};
        request.pBuffer = buffer.data();
        request.nBufferSize = uint32_t(buffer.size());
        request.nKind = SAMPLE_KIND_VIDEO;
        int32_t readerResult = 0;
        if (SourceRead(source, &request, &readerResult) != 0) {
            if (request.nBufferSize > buffer.size()) {
                buffer.resize(request.nBufferSize);
                continue;
            }
            break;
        }
        out->samples.push_back({{buffer.begin(), buffer.begin() + request.nLength}, false});
    }
    SourceClose(source);
    return ok && !out->samples.empty();
}

inline bool WriteAvi(const std::string &path, const RemuxStream &stream)
{
    AVFormatContext *oc = nullptr;
    if (avformat_alloc_output_context2(&oc, nullptr, "avi", path.c_str()) < 0)
        return false;
    AVStream *st = avformat_new_stream(oc, nullptr);
    bool ok = st != nullptr;
    if (ok) {
        st->time_base = AVRational{1, stream.fps};
        AVCodecParameters *par = st->codecpar;
        par->codec_type = AVMEDIA_TYPE_VIDEO;
        par->codec_id = stream.codec;
        par->codec_tag = stream.fourcc;
        par->width = stream.width;
        par->height = stream.height;
        if (!stream.extra.empty()) {
            par->extradata = static_cast<uint8_t *>(
                av_mallocz(stream.extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
            std::copy(stream.extra.begin(), stream.extra.end(), par->extradata);
            par->extradata_size = int(stream.extra.size());
        }
        ok = avio_open(&oc->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0 &&
             avformat_write_header(oc, nullptr) >= 0;
    }
    AVPacket *packet = av_packet_alloc();
    for (size_t i = 0; ok && i < stream.samples.size(); ++i) {
        const RemuxSample &s = stream.samples[i];
        packet->data = const_cast<uint8_t *>(s.data.data());
        packet->size = int(s.data.size());
        packet->stream_index = 0;
        packet->pts = packet->dts = av_rescale_q(int64_t(i), AVRational{1, stream.fps}, st->time_base);
        packet->flags = s.key ? AV_PKT_FLAG_KEY : 0;
        ok = av_write_frame(oc, packet) >= 0;
    }
    av_packet_free(&packet);
    if (ok)
        ok = av_write_trailer(oc) >= 0;
    if (oc && oc->pb)
        avio_closep(&oc->pb);
    avformat_free_context(oc);
    return ok;
}
