#include "engine/codecs/decode_file.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "engine/core/vantor_errors.h"
#include "engine/source/source_object.h"

namespace {

// Zero bytes kept after every sample, as the sample queue keeps them.
constexpr size_t kSamplePadding = 64;

// Most pictures a decoder could still hold at the end of a stream; a bound for the drain loop.
constexpr int kMaxHeldPictures = 64;

// True when the sample is to be decoded; keeps the decoder's sync flags.
bool PassesSync(VideoDecoder *decoder, const uint8_t *sample, uint32_t length)
{
    if (!decoder->bWaitingForSync || !decoder->pOps->Classify)
        return true;
    switch (decoder->pOps->Classify(decoder, sample, length)) {
    case 1:
        decoder->bSyncSeen = 1;
        decoder->bWaitingForSync = 0;
        return true;
    case 2:
        return decoder->bSyncSeen != 0;
    case 3:
        return false;
    default:
        decoder->bWaitingForSync = 0;
        return true;
    }
}

void DecodeSample(VideoDecoder *decoder, const uint8_t *sample, uint32_t length, int32_t timeMs,
                  const PictureSink &onPicture)
{
    uint32_t offset = 0;
    // A sample the decoder could not take yet is offered again after its picture came out.
    for (;;) {
        VideoPicture picture{};
        int32_t pictureMs = 0;
        uint32_t used = 0;
        decoder->pOps->Decode(decoder, sample + offset, length - offset, timeMs, &picture,
                              &pictureMs, &used);
        if (picture.pY)
            onPicture(*decoder, picture, pictureMs);
        offset += std::min(used, length - offset);
        if (offset >= length || (used == 0 && !picture.pY))
            return;
    }
}

} // namespace

int32_t DecodeVideoFile(const std::string &path, const PictureSink &onPicture)
{
    SourceObject *opened = nullptr;
    MediaInfo info{};
    if (const int32_t result = SourceOpenPath(path, &opened, &info); result < 0)
        return result;
    SourcePtr source(opened);
    if (info.nVideoCount == 0)
        return VANTOR_E_NO_STREAM;

    VideoDecoder *created = nullptr;
    if (const int32_t result = VideoDecoderCreate(info.video[0].nFourcc, &created); result < 0)
        return result;
    VideoDecoderPtr decoder(created, {VideoDecoderDestroy});

    std::vector<uint8_t> buffer(size_t(info.video[0].nMaxSampleSize) + kSamplePadding);
    for (;;) {
        SampleRequest request{};
        request.pBuffer = buffer.data();
        request.nBufferSize = uint32_t(buffer.size() - kSamplePadding);
        request.nKind = SAMPLE_KIND_VIDEO;
        int32_t readerResult = 0;
        const int32_t result = SourceRead(source.get(), &request, &readerResult);
        if (result == VANTOR_E_AGAIN)
            continue;
        if (result != VANTOR_OK) {
            if (readerResult == VANTOR_E_BUFFER_TOO_SMALL &&
                request.nBufferSize > buffer.size() - kSamplePadding) {
                buffer.resize(size_t(request.nBufferSize) + kSamplePadding);
                continue;
            }
            if (readerResult == VANTOR_E_END_OF_STREAM)
                break;
            return result;
        }
        std::fill_n(buffer.begin() + request.nLength, kSamplePadding, 0);
        const uint8_t *sample = buffer.data();
        if (!decoder->bInitialised) {
            if (decoder->pOps->Init(decoder.get(), sample, request.nLength, &info.video[0]) < 0)
                return VANTOR_E_VIDEO_DECODER_INIT;
        }
        if (PassesSync(decoder.get(), sample, request.nLength))
            DecodeSample(decoder.get(), sample, request.nLength, int32_t(request.nTime), onPicture);
    }
    if (!decoder->bInitialised)
        return VANTOR_OK; // no sample at all
    for (int held = 0; held < kMaxHeldPictures; ++held) {
        VideoPicture picture{};
        int32_t pictureMs = 0;
        uint32_t used = 0;
        decoder->pOps->Decode(decoder.get(), nullptr, 0, 0, &picture, &pictureMs, &used);
        if (!picture.pY)
            break;
        onPicture(*decoder, picture, pictureMs);
    }
    return VANTOR_OK;
}
