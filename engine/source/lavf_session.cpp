#include "engine/source/lavf_session.h"

#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "engine/core/vantor_errors.h"
#include "engine/source/http_back_end.h"
#include "engine/source/lavf_reader_internal.h"
#include "platform/wide_text.h"

namespace {

// libavformat's interrupt callback, on the thread that opens or reads: opaque is the reader,
// whose deadline the opens and reads move on.
int SessionInterrupted(void *opaque)
{
    return lavf::NowMs() > static_cast<lavf::LavfReader *>(opaque)->nDeadlineMs.load() ? 1 : 0;
}

} // namespace

LavfSessionTarget LavfSessionTargetOf(const std::string &locator)
{
    for (const SessionScheme &scheme : kSessionSchemes) {
        if (locator.rfind(scheme.szPrefix, 0) == 0)
            return {"rtsp://" + locator.substr(std::strlen(scheme.szPrefix)), "rtsp",
                    scheme.szTransport};
    }
    // Anything else the opener sends here is a local SDP file.
    return {locator, "sdp", nullptr};
}

int32_t LavfOpenSession(SourceOpenRequest *request, void **instance)
{
    *instance = nullptr;
    if (!request || !request->szLocator)
        return VANTOR_E_INVALID_ARG;
    const LavfSessionTarget target = LavfSessionTargetOf(WideToUtf8(request->szLocator));
    AvOptions options;
    if (target.szTransport)
        av_dict_set(&options.p, "rtsp_transport", target.szTransport, 0);
    if (std::strcmp(target.szDemuxer, "sdp") == 0)
        av_dict_set(&options.p, "protocol_whitelist", "file,udp,rtp", 0);
    const AVInputFormat *format = av_find_input_format(target.szDemuxer);
    if (!format)
        return VANTOR_E_UNSUPPORTED_URL;

    auto *r = new (std::nothrow) lavf::LavfReader{};
    if (!r)
        return VANTOR_E_OUT_OF_MEMORY;
    r->pFormat = &lavf::kSession;
    r->pFirst = std::make_unique<lavf::Demuxer>();
    lavf::Demuxer *d = r->pFirst.get();
    const bool packets = lavf::AllocatePackets(d);
    d->pDeadline = &r->nDeadlineMs;
    AVFormatContext *input = avformat_alloc_context();
    if (!packets || !input) {
        avformat_free_context(input);
        delete r;
        return VANTOR_E_OUT_OF_MEMORY;
    }
    input->interrupt_callback = {SessionInterrupted, r};
    r->nDeadlineMs.store(lavf::NowMs() + kLavfSessionOpenTimeoutMs);
    // On failure libavformat frees the context itself.
    const int result = avformat_open_input(&input, target.strUrl.c_str(), format, &options.p);
    if (result < 0) {
        // Once the callback has cut a read, the RTSP client reports the missing answer as a
        // malformed one: past the deadline the open timed out, whatever the code.
        const bool late = result == AVERROR_EXIT || lavf::NowMs() > r->nDeadlineMs.load();
        delete r;
        return late ? VANTOR_E_TIME_OUT : HttpErrorCode(result);
    }
    d->pInput.reset(input);
    *instance = r;
    return VANTOR_OK;
}

void LavfKeepForSibling(lavf::Demuxer *sibling, AVPacket *packet)
{
    if (sibling->queued.size() >= kLavfMaxQueuedPackets)
        sibling->queued.pop_front();
    AvPacketPtr kept(av_packet_alloc());
    if (kept) {
        av_packet_move_ref(kept.get(), packet);
        sibling->queued.push_back(std::move(kept));
    }
}

int32_t LavfShareInput(lavf::LavfReader *r, int audioStream)
{
    auto second = std::make_unique<lavf::Demuxer>();
    if (!lavf::AllocatePackets(second.get()))
        return VANTOR_E_OUT_OF_MEMORY;
    second->pSibling = r->pFirst.get();
    second->pDeadline = &r->nDeadlineMs;
    r->pFirst->pSibling = second.get();
    if (const int32_t result = lavf::Prepare(second.get(), SAMPLE_KIND_AUDIO, audioStream);
        result < 0) {
        r->pFirst->pSibling = nullptr; // the second demuxer goes now
        return result;
    }
    r->pSecond = std::move(second);
    r->pAudio = r->pSecond.get();
    return VANTOR_OK;
}
