// The file readers' operations over libavformat: reading samples in time order, seeking to key
// frames, and the media information. The I/O bridge, the codec tables and the live sessions
// live in files of their own (lavf_io, lavf_codec_tables, lavf_session).
#include "engine/source/lavf_reader.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/mathematics.h>
}

#include "engine/core/vantor_errors.h"
#include "engine/source/lavf_codec_tables.h"
#include "engine/source/lavf_io.h"
#include "engine/source/lavf_reader_internal.h"
#include "engine/source/lavf_session.h"
#include "engine/source/media_info.h"

namespace lavf {
namespace {

constexpr AVRational kMillisecond = {1, 1000};
// Retries of a seek that landed after its target, each starting this much earlier.
constexpr uint32_t kSeekBackOffMs = 2000;
constexpr int kSeekRetries = 3;
// What a duration estimate reads at most.
constexpr uint32_t kDurationProbePackets = 256;
constexpr int64_t kDurationProbeBytes = 1 << 20;
constexpr uint32_t kDurationProbeMs = 1000;
constexpr int kMaxFrameRate = 1000;

constexpr LavfFormat kMp4 = {"mov", kMp4MediaType};
constexpr LavfFormat kAsf = {"asf", kAsfMediaType};
constexpr LavfFormat kFlv = {"flv", kFlvMediaType};
constexpr LavfFormat kProgramStream = {"mpeg", kProgramStreamMediaType};
constexpr LavfFormat kOgg = {"ogg", kOggMediaType};
constexpr LavfFormat kRealMedia = {"rm", kRealMediaMediaType};
constexpr LavfFormat kTransportStream = {"mpegts", kTransportStreamMediaType};
constexpr LavfFormat kWave = {"wav", kWaveMediaType};
constexpr LavfFormat kQcelp = {"qcp", kQcelpMediaType};
constexpr LavfFormat kJpeg = {"jpeg_pipe", kJpegMediaType};
constexpr LavfFormat kElementaryAudio = {nullptr, kElementaryAudioMediaType};

LavfReader *Cast(void *instance)
{
    return static_cast<LavfReader *>(instance);
}

// -- times ----------------------------------------------------------------------------------

uint32_t ClampMs(int64_t ms)
{
    return static_cast<uint32_t>(std::clamp<int64_t>(ms, 0, UINT32_MAX));
}

uint32_t TsToMs(const LavfReader *r, const Demuxer *d, int64_t ts)
{
    return ClampMs(av_rescale_q(ts, d->timeBase, kMillisecond) - r->nOriginMs);
}

int64_t MsToTs(const LavfReader *r, const Demuxer *d, uint32_t ms)
{
    return av_rescale_q(int64_t{ms} + r->nOriginMs, kMillisecond, d->timeBase);
}

uint32_t DurationToMs(int64_t duration, AVRational timeBase)
{
    if (duration == AV_NOPTS_VALUE || duration <= 0)
        return 0;
    return ClampMs(av_rescale_q(duration, timeBase, kMillisecond));
}

// -- reading --------------------------------------------------------------------------------

void DropPending(Demuxer *d)
{
    av_packet_unref(d->pPending.get());
    d->bPending = false;
}

// The pending packet's time: its presentation time, else its decoding time, else one duration
// after the packet before it.
void TimePending(Demuxer *d)
{
    const AVPacket *p = d->pPending.get();
    int64_t ts = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
    if (ts == AV_NOPTS_VALUE)
        ts = d->nLastTs == AV_NOPTS_VALUE ? 0 : d->nLastTs + d->nLastDuration;
    d->nPendingTs = ts;
    d->nLastTs = ts;
    d->nLastDuration = p->duration;
    d->bPending = true;
}

// The next packet of the demuxer's stream, queued by the sibling or read; the sibling's packets
// met on the way are queued for it.
int ReadStreamPacket(Demuxer *d, AVPacket *out)
{
    if (!d->queued.empty()) {
        av_packet_move_ref(out, d->queued.front().get());
        d->queued.pop_front();
        return 0;
    }
    AVFormatContext *input = Input(d);
    for (;;) {
        if (d->pDeadline)
            d->pDeadline->store(NowMs() + kLavfSessionReadTimeoutMs);
        const int result = av_read_frame(input, out);
        if (result < 0)
            return result;
        if (out->size > 0 && out->stream_index == d->nStream)
            return 0;
        Demuxer *sibling = d->pSibling;
        if (out->size > 0 && sibling && out->stream_index == sibling->nStream)
            LavfKeepForSibling(sibling, out);
        av_packet_unref(out);
    }
}

// Reads the demuxer's next packet of its stream into the pending packet.
int32_t NextPacket(Demuxer *d)
{
    if (d->bPending)
        return VANTOR_OK;
    for (;;) {
        if (d->pFilter) {
            const int got = av_bsf_receive_packet(d->pFilter.get(), d->pPending.get());
            if (got == 0) {
                TimePending(d);
                return VANTOR_OK;
            }
            if (got != AVERROR(EAGAIN))
                return VANTOR_E_END_OF_STREAM;
        }
        if (d->bEnded)
            return VANTOR_E_END_OF_STREAM;
        AVPacket *read = d->pRead.get();
        const int result = ReadStreamPacket(d, read);
        if (result < 0) {
            d->bEnded = true;
            if (d->pFilter) {
                av_bsf_send_packet(d->pFilter.get(), nullptr);
                continue;
            }
            return result == AVERROR_EOF ? VANTOR_E_END_OF_STREAM : VANTOR_E_READ;
        }
        if (!d->pFilter) {
            av_packet_move_ref(d->pPending.get(), read);
            TimePending(d);
            return VANTOR_OK;
        }
        // A packet the filter refuses (a damaged header) is passed over.
        if (av_bsf_send_packet(d->pFilter.get(), read) < 0)
            av_packet_unref(read);
    }
}

int32_t ReadSample(void *instance, SampleRequest *request)
{
    LavfReader *r = Cast(instance);
    Demuxer *d = request->nKind == SAMPLE_KIND_AUDIO   ? r->pAudio
                 : request->nKind == SAMPLE_KIND_VIDEO ? r->pVideo
                                                       : nullptr;
    if (!d || !r->bInfoDone)
        return VANTOR_E_NO_STREAM;
    if (const int32_t result = NextPacket(d); result < 0)
        return result;
    const AVPacket *p = d->pPending.get();
    const uint32_t size = static_cast<uint32_t>(p->size);
    if (size > request->nBufferSize || !request->pBuffer) {
        request->nBufferSize = size;
        return VANTOR_E_BUFFER_TOO_SMALL;
    }
    std::memcpy(request->pBuffer, p->data, size);
    request->nLength = size;
    request->nTime = TsToMs(r, d, d->nPendingTs);
    request->nDuration = DurationToMs(p->duration, d->timeBase);
    DropPending(d);
    return VANTOR_OK;
}

// -- seeking --------------------------------------------------------------------------------

// Before the demuxer moves: nothing read ahead, no end seen, the filter empty.
void ForgetReading(Demuxer *d)
{
    DropPending(d);
    d->bEnded = false;
    d->nLastTs = AV_NOPTS_VALUE;
    if (d->pFilter)
        av_bsf_flush(d->pFilter.get());
}

// Moves the demuxer to the key frame at or before ts (as near as the container allows); the
// start of the stream is reachable by a byte seek where timestamps fail.
bool Reposition(const LavfReader *r, Demuxer *d, int64_t ts)
{
    ForgetReading(d);
    AVFormatContext *input = d->pInput.get();
    if (av_seek_frame(input, d->nStream, ts, AVSEEK_FLAG_BACKWARD) >= 0)
        return true;
    if (avformat_seek_file(input, d->nStream, INT64_MIN, ts, ts, 0) >= 0)
        return true;
    return ts <= MsToTs(r, d, 0) && av_seek_frame(input, -1, 0, AVSEEK_FLAG_BYTE) >= 0;
}

bool IsKey(const Demuxer *d)
{
    return d->nKind == SAMPLE_KIND_AUDIO || (d->pPending->flags & AV_PKT_FLAG_KEY);
}

struct KeyFrame
{
    bool bFound = false;
    uint32_t nMs = 0;
    int64_t nTs = 0;
};

// Seek modes, as the AVI reader has them.
constexpr int kSeekNext = 1;    // key frame at or after the target
constexpr int kSeekBefore = 2;  // key frame at or before
constexpr int kSeekNearest = 3; // the nearer of the two, the later one on a tie

// Lands the demuxer on a key frame for targetMs by the mode, with that frame pending; writes
// its time to *landedMs. False when the stream has no key frame to land on.
bool SeekDemuxer(const LavfReader *r, Demuxer *d, uint32_t targetMs, int mode, uint32_t *landedMs)
{
    KeyFrame before, after;
    uint32_t from = targetMs;
    // Scan forward from a position at or before the target: the last key frame at or before it,
    // and the first after it. A container that lands after the target (a transport stream's
    // search finds a time, not a key frame) is asked again earlier.
    for (int attempt = 0; attempt <= kSeekRetries; ++attempt) {
        from =
            attempt == kSeekRetries
                ? 0
                : (targetMs > attempt * kSeekBackOffMs ? targetMs - attempt * kSeekBackOffMs : 0);
        if (!Reposition(r, d, MsToTs(r, d, from)))
            return false;
        before = KeyFrame{};
        after = KeyFrame{};
        for (uint32_t n = 0; n < kLavfSeekScanPackets && NextPacket(d) == VANTOR_OK; ++n) {
            if (!IsKey(d)) {
                DropPending(d);
                continue;
            }
            const KeyFrame key{true, TsToMs(r, d, d->nPendingTs), d->nPendingTs};
            if (key.nMs > targetMs) {
                after = key; // stays pending
                break;
            }
            before = key;
            DropPending(d);
        }
        if (before.bFound || from == 0)
            break;
    }
    KeyFrame chosen;
    switch (mode) {
    case kSeekNext:
        chosen = (before.bFound && before.nMs == targetMs) || !after.bFound ? before : after;
        break;
    case kSeekBefore:
        chosen = before.bFound ? before : after;
        break;
    default:
        if (before.bFound && after.bFound)
            chosen = after.nMs - targetMs <= targetMs - before.nMs ? after : before;
        else
            chosen = before.bFound ? before : after;
        break;
    }
    if (!chosen.bFound)
        return false;
    if (!(after.bFound && chosen.nTs == after.nTs && d->bPending)) {
        // The chosen frame was passed over: go back to where the scan began and read up to it.
        if (!Reposition(r, d, MsToTs(r, d, from)))
            return false;
        bool landed = false;
        for (uint32_t n = 0; n < kLavfSeekScanPackets && NextPacket(d) == VANTOR_OK; ++n) {
            if (IsKey(d) && d->nPendingTs >= chosen.nTs) {
                landed = true;
                break;
            }
            DropPending(d);
        }
        if (!landed)
            return false;
    }
    *landedMs = TsToMs(r, d, d->nPendingTs);
    return true;
}

// Seeks the first demuxer, then the other one to the time the first landed on.
int32_t SeekBoth(LavfReader *r, uint32_t *position, Demuxer *first, int firstMode, Demuxer *second,
                 int secondMode)
{
    if (!r->bInfoDone || IsSession(r))
        return 0;
    if (!first) {
        first = second;
        firstMode = secondMode;
        second = nullptr;
    }
    if (!first)
        return 0;
    uint32_t landed = 0;
    if (!SeekDemuxer(r, first, *position, firstMode, &landed))
        return 0;
    if (second && !SeekDemuxer(r, second, landed, secondMode, &landed))
        return 0;
    *position = landed;
    return 1;
}

int32_t Seek(void *instance, uint32_t *position, int32_t precise)
{
    LavfReader *r = Cast(instance);
    if (precise)
        return SeekBoth(r, position, r->pAudio, kSeekBefore, r->pVideo, kSeekBefore);
    return SeekBoth(r, position, r->pVideo, kSeekNearest, r->pAudio, kSeekNearest);
}

int32_t SeekToKeyFrame(void *instance, uint32_t *position, int32_t flag)
{
    LavfReader *r = Cast(instance);
    const int mode = flag ? kSeekNext : kSeekBefore;
    return SeekBoth(r, position, r->pVideo, mode, r->pAudio, mode);
}

// The largest packet the container's index lists, 0 when it has none.
uint32_t LargestIndexedPacket(AVStream *st)
{
    int largest = 0;
    const int count = avformat_index_get_entries_count(st);
    for (int i = 0; i < count; ++i) {
        if (const AVIndexEntry *entry = avformat_index_get_entry(st, i))
            largest = std::max(largest, entry->size);
    }
    return static_cast<uint32_t>(largest);
}

int32_t UseFilter(Demuxer *d, const char *name)
{
    const AVBitStreamFilter *filter = av_bsf_get_by_name(name);
    if (!filter)
        return VANTOR_E_UNSUPPORTED_FILE;
    AVBSFContext *context = nullptr;
    if (av_bsf_alloc(filter, &context) < 0)
        return VANTOR_E_OUT_OF_MEMORY;
    d->pFilter.reset(context);
    const AVStream *st = Input(d)->streams[d->nStream];
    if (avcodec_parameters_copy(context->par_in, st->codecpar) < 0)
        return VANTOR_E_OUT_OF_MEMORY;
    context->time_base_in = st->time_base;
    if (av_bsf_init(context) < 0)
        return VANTOR_E_STREAM_SYNTAX;
    return VANTOR_OK;
}

// The stream's filter, as LavfFilterFor chooses it.
int32_t ChooseFilter(Demuxer *d)
{
    const char *filter = LavfFilterFor(Input(d)->streams[d->nStream]->codecpar);
    return filter ? UseFilter(d, filter) : VANTOR_OK;
}

// The configuration an ADTS stream's filter makes: it comes with the first packet, which stays
// pending for the first read.
void FilteredConfiguration(Demuxer *d, uint8_t *to, uint32_t *length)
{
    if (NextPacket(d) != VANTOR_OK)
        return;
    size_t size = 0;
    const uint8_t *data =
        av_packet_get_side_data(d->pPending.get(), AV_PKT_DATA_NEW_EXTRADATA, &size);
    if (data && size > 0 && size <= kMaxExtraData) {
        std::memcpy(to, data, size);
        *length = static_cast<uint32_t>(size);
    } else {
        LavfCopyExtraData(d->pFilter->par_out, to, length);
    }
}

// Streams nobody reads are not even demuxed; a shared input keeps both kinds' streams.
void DiscardAllBut(Demuxer *d)
{
    AVFormatContext *input = Input(d);
    const int other = d->pSibling ? d->pSibling->nStream : -1;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const int index = static_cast<int>(i);
        input->streams[i]->discard =
            index == d->nStream || index == other ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
}

} // namespace

int32_t Prepare(Demuxer *d, int32_t kind, int stream)
{
    d->nKind = kind;
    d->nStream = stream;
    d->timeBase = Input(d)->streams[stream]->time_base;
    DiscardAllBut(d);
    return ChooseFilter(d);
}

namespace {

bool IsPicture(const AVStream *st)
{
    return st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
           !(st->disposition & AV_DISPOSITION_ATTACHED_PIC);
}

void FillVideo(const AVStream *st, const AVCodecParameters *par, VIDEO_STREAM_INFO *v)
{
    v->nFourcc = LavfVideoFourcc(par);
    v->nWidth = static_cast<uint32_t>(std::max(par->width, 0));
    v->nHeight = static_cast<uint32_t>(std::max(par->height, 0));
    AVRational rate = st->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = st->r_frame_rate;
    // A rate above 1000 a second is a clock, not pictures (RTP's 90 kHz): unknown.
    if (rate.num > 0 && rate.den > 0 && rate.num <= int64_t{kMaxFrameRate} * rate.den)
        v->nFrameRate = ClampMs(av_rescale(rate.num, 1000, rate.den));
    v->nBitCount = static_cast<uint32_t>(std::max(par->bits_per_coded_sample, 0));
    v->nDuration = DurationToMs(st->duration, st->time_base);
}

void FillAudio(const AVStream *st, const AVCodecParameters *par, AUDIO_STREAM_INFO *a)
{
    a->nFormat = LavfAudioFormat(par);
    a->nSampleRate = static_cast<uint32_t>(std::max(par->sample_rate, 0));
    a->nChannels = static_cast<uint32_t>(std::max(par->ch_layout.nb_channels, 0));
    int bits = par->bits_per_coded_sample;
    if (bits <= 0)
        bits = par->bits_per_raw_sample > 0 ? par->bits_per_raw_sample : 16;
    a->nBitsPerSample = static_cast<uint32_t>(bits);
    a->nBlockAlign = static_cast<uint32_t>(std::max(par->block_align, 0));
    a->nBitRate = static_cast<uint32_t>(std::clamp<int64_t>(par->bit_rate, 0, UINT32_MAX));
    a->nDuration = DurationToMs(st->duration, st->time_base);
    a->nSampleTime = 1; // every sample carries its own time
}

uint32_t MediaDurationMs(const AVFormatContext *input)
{
    if (input->duration != AV_NOPTS_VALUE && input->duration > 0)
        return ClampMs(av_rescale_q(input->duration, AV_TIME_BASE_Q, kMillisecond));
    uint32_t longest = 0;
    for (unsigned i = 0; i < input->nb_streams; ++i)
        longest = std::max(longest,
                           DurationToMs(input->streams[i]->duration, input->streams[i]->time_base));
    return longest;
}

// A duration for a container that takes its length from its last time stamps, while the
// download has not reached them: the time its first packets span over the bytes they took,
// scaled to the whole size. The demuxer is back at the start afterwards.
uint32_t EstimatedDurationMs(const LavfReader *r, Demuxer *d)
{
    uint32_t first = UINT32_MAX, last = 0;
    for (uint32_t n = 0; n < kDurationProbePackets && NextPacket(d) == VANTOR_OK; ++n) {
        const uint32_t ms = TsToMs(r, d, d->nPendingTs);
        first = std::min(first, ms);
        last = std::max(last, ms);
        DropPending(d);
        if (last - first >= kDurationProbeMs || avio_tell(d->pInput->pb) > kDurationProbeBytes)
            break;
    }
    const int64_t used = avio_tell(d->pInput->pb);
    ForgetReading(d);
    if (av_seek_frame(d->pInput.get(), -1, 0, AVSEEK_FLAG_BYTE) < 0)
        Reposition(r, d, MsToTs(r, d, 0));
    if (first >= last || used <= 0)
        return 0;
    return ClampMs(static_cast<int64_t>(last - first) * ByteStreamTotalSize(r->pStream) / used);
}

// Streams of a kind, in the container's order, as many as the records hold.
int ListStreams(const AVFormatContext *input, AVMediaType type, int found[2])
{
    int count = 0;
    for (unsigned i = 0; i < input->nb_streams && count < 2; ++i) {
        const AVStream *st = input->streams[i];
        if (st->codecpar->codec_type != type)
            continue;
        if (type == AVMEDIA_TYPE_VIDEO && !IsPicture(st))
            continue;
        found[count++] = static_cast<int>(i);
    }
    return count;
}

// A second demuxer on a clone of the stream, for the audio of a source that also has video.
int32_t OpenSecond(LavfReader *r, int audioStream)
{
    auto second = std::make_unique<Demuxer>();
    ByteStream *clone = nullptr;
    if (const int32_t result = ByteStreamClone(r->pStream, &clone); result < 0)
        return result;
    second->pClone.reset(clone);
    if (const int32_t result =
            LavfOpenDemuxer(second.get(), clone, nullptr, r->pFirst->pInput->iformat);
        result < 0)
        return result;
    AVFormatContext *input = second->pInput.get();
    if (avformat_find_stream_info(input, nullptr) < 0)
        return VANTOR_E_STREAM_SYNTAX;
    const AVStream *mine = r->pFirst->pInput->streams[audioStream];
    if (static_cast<unsigned>(audioStream) >= input->nb_streams ||
        input->streams[audioStream]->codecpar->codec_id != mine->codecpar->codec_id)
        return VANTOR_E_STREAM_SYNTAX;
    if (const int32_t result = Prepare(second.get(), SAMPLE_KIND_AUDIO, audioStream); result < 0)
        return result;
    r->pSecond = std::move(second);
    r->pAudio = r->pSecond.get();
    return VANTOR_OK;
}

int32_t BuildInfo(LavfReader *r, MediaInfo *info)
{
    AVFormatContext *input = r->pFirst->pInput.get();
    r->nDeadlineMs.store(NowMs() + kLavfSessionOpenTimeoutMs);
    if (avformat_find_stream_info(input, nullptr) < 0)
        return VANTOR_E_STREAM_SYNTAX;
    int video[2] = {-1, -1}, audio[2] = {-1, -1};
    const int videoCount = ListStreams(input, AVMEDIA_TYPE_VIDEO, video);
    const int audioCount = ListStreams(input, AVMEDIA_TYPE_AUDIO, audio);
    if (videoCount == 0 && audioCount == 0)
        return VANTOR_E_UNSUPPORTED_FILE;
    r->nOriginMs = input->start_time == AV_NOPTS_VALUE
                       ? 0
                       : av_rescale_q(input->start_time, AV_TIME_BASE_Q, kMillisecond);

    if (videoCount) {
        if (const int32_t result = Prepare(r->pFirst.get(), SAMPLE_KIND_VIDEO, video[0]);
            result < 0)
            return result;
        r->pVideo = r->pFirst.get();
        if (audioCount) {
            const int32_t result =
                IsSession(r) ? LavfShareInput(r, audio[0]) : OpenSecond(r, audio[0]);
            if (result < 0)
                return result;
        }
    } else {
        if (const int32_t result = Prepare(r->pFirst.get(), SAMPLE_KIND_AUDIO, audio[0]);
            result < 0)
            return result;
        r->pAudio = r->pFirst.get();
    }

    info->nMediaType = r->pFormat->nMediaType;
    info->nDuration = MediaDurationMs(input);
    if (info->nDuration == 0 && input->skip_estimate_duration_from_pts)
        info->nDuration = EstimatedDurationMs(r, r->pFirst.get());
    info->nVideoCount = static_cast<uint32_t>(videoCount);
    info->nAudioCount = static_cast<uint32_t>(audioCount);
    for (int i = 0; i < videoCount; ++i) {
        AVStream *st = input->streams[video[i]];
        const AVCodecParameters *par = st->codecpar;
        VIDEO_STREAM_INFO &v = info->video[i];
        FillVideo(st, par, &v);
        if (i == 0 && r->pVideo->pFilter)
            par = r->pVideo->pFilter->par_out;
        LavfCopyExtraData(par, v.byExtraData, &v.nExtraDataLength);
        v.nMaxSampleSize = LargestIndexedPacket(st);
    }
    for (int i = 0; i < audioCount; ++i) {
        AVStream *st = input->streams[audio[i]];
        const AVCodecParameters *par = st->codecpar;
        AUDIO_STREAM_INFO &a = info->audio[i];
        FillAudio(st, par, &a);
        LavfCopyExtraData(par, a.byExtraData, &a.nExtraDataLength);
        if (i == 0 && r->pAudio->pFilter)
            FilteredConfiguration(r->pAudio, a.byExtraData, &a.nExtraDataLength);
        a.nMaxSampleSize = LargestIndexedPacket(st);
    }
    return VANTOR_OK;
}

// -- the operation table --------------------------------------------------------------------

void Close(void *instance)
{
    LavfReader *r = Cast(instance);
    if (!r)
        return;
    // A session says goodbye to its server within a second; the interrupt callback reads the
    // reader, so the demuxers go before it does.
    r->nDeadlineMs.store(NowMs() + 1000);
    r->pSecond.reset();
    r->pFirst.reset();
    delete r;
}

int32_t OpenAs(const LavfFormat *format, ByteStream *stream, void **instance)
{
    *instance = nullptr;
    auto *r = new (std::nothrow) LavfReader{};
    if (!r)
        return VANTOR_E_OUT_OF_MEMORY;
    r->pFormat = format;
    r->pStream = stream;
    r->pFirst = std::make_unique<Demuxer>();
    const int32_t result = LavfOpenDemuxer(r->pFirst.get(), stream, format->szDemuxer);
    if (result < 0) {
        delete r;
        return result;
    }
    *instance = r;
    return VANTOR_OK;
}

template <const LavfFormat *Format> int32_t OpenOnStream(ByteStream *stream, void **instance)
{
    return OpenAs(Format, stream, instance);
}

int32_t GetInfo(void *instance, MediaInfo *info)
{
    LavfReader *r = Cast(instance);
    if (!r->bInfoDone) {
        MediaInfo built{};
        const int32_t result = BuildInfo(r, &built);
        if (result < 0)
            return result;
        r->info = built;
        r->bInfoDone = true;
    }
    void *tags = info->pTagRecord;
    *info = r->info;
    info->pTagRecord = tags;
    return VANTOR_OK;
}

template <const LavfFormat *Format> constexpr ReaderOps MakeOps()
{
    return ReaderOps{
        .OpenOnStream = OpenOnStream<Format>,
        .OpenOnRequest = nullptr,
        .Close = lavf::Close,
        .GetInfo = lavf::GetInfo,
        .SetStartPosition = nullptr,
        .MakeIndex = nullptr,
        .ReadSample = lavf::ReadSample,
        .Seek = lavf::Seek,
        .SeekToKeyFrame = SeekToKeyFrame,
        .BufferingReport = nullptr,
        .Control = nullptr,
    };
}

} // namespace
} // namespace lavf

const ReaderOps g_Mp4ReaderOps = lavf::MakeOps<&lavf::kMp4>();
const ReaderOps g_AsfReaderOps = lavf::MakeOps<&lavf::kAsf>();
const ReaderOps g_FlvReaderOps = lavf::MakeOps<&lavf::kFlv>();
const ReaderOps g_ProgramStreamReaderOps = lavf::MakeOps<&lavf::kProgramStream>();
const ReaderOps g_OggReaderOps = lavf::MakeOps<&lavf::kOgg>();
const ReaderOps g_RealMediaReaderOps = lavf::MakeOps<&lavf::kRealMedia>();
const ReaderOps g_TransportStreamReaderOps = lavf::MakeOps<&lavf::kTransportStream>();
const ReaderOps g_WaveReaderOps = lavf::MakeOps<&lavf::kWave>();
const ReaderOps g_QcelpReaderOps = lavf::MakeOps<&lavf::kQcelp>();
const ReaderOps g_JpegReaderOps = lavf::MakeOps<&lavf::kJpeg>();
const ReaderOps g_ElementaryAudioReaderOps = lavf::MakeOps<&lavf::kElementaryAudio>();

const ReaderOps g_RtspReaderOps = {
    .OpenOnStream = nullptr,
    .OpenOnRequest = LavfOpenSession,
    .Close = lavf::Close,
    .GetInfo = lavf::GetInfo,
    .SetStartPosition = nullptr,
    .MakeIndex = nullptr,
    .ReadSample = lavf::ReadSample,
    .Seek = lavf::Seek,
    .SeekToKeyFrame = nullptr,
    .BufferingReport = nullptr,
    .Control = nullptr,
};
