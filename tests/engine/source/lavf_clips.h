#pragma once

// Small clips of other containers, written by the ffmpeg program at test time, and what
// libavformat's own demuxer reads from them, timed the way the engine times its samples.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

#include "engine/codecs/av_owners.h"
#include "tests/support/temp_folder.h"

// Two seconds of a moving test picture (160 x 96 at 25 pictures a second) and a 440 Hz tone at
// 16 kHz, encoded and muxed as the output arguments say.
inline bool MakeClip(const std::string &path, const std::string &outputArguments,
                     const char *seconds = "2")
{
    const std::string command =
        std::string(
            "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=160x96:rate=25:duration=") +
        seconds + " -f lavfi -i sine=frequency=440:sample_rate=16000:duration=" + seconds + " " +
        outputArguments + " '" + path + "' </dev/null";
    return std::system(command.c_str()) == 0;
}

// The clip of that name in the folder, made on first use from the row of the table that names
// it (rows have a file and the arguments of MakeClip); other names are only joined to the folder.
template <class Row, size_t N>
std::string ClipOnFirstUse(const std::string &folder, const Row (&rows)[N], const std::string &name)
{
    const std::string path = folder + name;
    for (const Row &row : rows) {
        if (name == row.file && !std::filesystem::exists(path) && !MakeClip(path, row.arguments))
            ADD_FAILURE() << "ffmpeg could not make " << name;
    }
    return path;
}

// A test suite over a table of clips: a temporary folder of the suite's own where each clip is
// made on first use (ctest runs one test a process, so each makes only the clips it uses).
template <const auto &Clips> class CClipTableTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_folder = new CTempFolder; }
    static void TearDownTestSuite()
    {
        delete s_folder;
        s_folder = nullptr;
    }
    static std::string Path(const std::string &name)
    {
        return ClipOnFirstUse(s_folder->Path(), Clips, name);
    }

    static inline CTempFolder *s_folder = nullptr;
};

struct DemuxedPacket
{
    uint32_t ms;
    uint32_t size;
    bool key;
};

// The packets of the first video (not a cover picture) or audio stream in libavformat's order.
// Time: the presentation stamp, else the decoding stamp, else one duration after the packet
// before, in ms from the container's start. AAC with ADTS headers counts without them: the
// engine hands the decoder raw frames.
inline std::vector<DemuxedPacket> DemuxPackets(const std::string &path, AVMediaType type)
{
    std::vector<DemuxedPacket> packets;
    AVFormatContext *raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0)
        return packets;
    AvInputPtr input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0)
        return packets;
    int index = -1;
    for (unsigned i = 0; i < input->nb_streams && index < 0; ++i) {
        const AVStream *st = input->streams[i];
        if (st->codecpar->codec_type == type && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC))
            index = static_cast<int>(i);
    }
    if (index < 0)
        return packets;
    const AVStream *st = input->streams[index];
    const bool adts =
        st->codecpar->codec_id == AV_CODEC_ID_AAC && st->codecpar->extradata_size == 0;
    const int64_t originMs = input->start_time == AV_NOPTS_VALUE
                                 ? 0
                                 : av_rescale_q(input->start_time, AV_TIME_BASE_Q, {1, 1000});
    AvPacketPtr packet(av_packet_alloc());
    int64_t last = AV_NOPTS_VALUE, lastDuration = 0;
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == index && packet->size > 0) {
            int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            if (ts == AV_NOPTS_VALUE)
                ts = last == AV_NOPTS_VALUE ? 0 : last + lastDuration;
            last = ts;
            lastDuration = packet->duration;
            const int64_t ms = av_rescale_q(ts, st->time_base, {1, 1000}) - originMs;
            uint32_t size = static_cast<uint32_t>(packet->size);
            if (adts && size >= 7)
                size -= (packet->data[1] & 1) ? 7 : 9;
            packets.push_back({static_cast<uint32_t>(std::clamp<int64_t>(ms, 0, UINT32_MAX)), size,
                               type == AVMEDIA_TYPE_AUDIO || (packet->flags & AV_PKT_FLAG_KEY)});
        }
        av_packet_unref(packet.get());
    }
    return packets;
}
