// The libavcodec-backed video decoders on streams made by libavcodec's encoders.
#include <cstdlib>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "encode_fixture.h"
#include "engine/codecs/decoder_ops.h"
#include "engine/codecs/video_classify.h"
#include "engine/core/fourcc.h"
#include "engine/core/vantor_errors.h"

namespace {

using DecoderPtr = std::unique_ptr<VideoDecoder, CloseWith<VideoDecoderDestroy>>;

VIDEO_STREAM_INFO RecordFor(uint32_t fourcc, const EncodedStream &stream, bool withSize = true)
{
    VIDEO_STREAM_INFO info{};
    info.nFourcc = fourcc;
    info.nWidth = withSize ? uint32_t(stream.width) : 0;
    info.nHeight = withSize ? uint32_t(stream.height) : 0;
    info.nFrameRate = 25000;
    info.nExtraDataLength = uint32_t(std::min<size_t>(stream.extra.size(), kMaxExtraData));
    std::copy_n(stream.extra.begin(), info.nExtraDataLength, info.byExtraData);
    return info;
}

// A decoder of the fourcc started on the stream's record and first sample.
DecoderPtr Started(uint32_t fourcc, const EncodedStream &stream, bool withSize = true)
{
    VideoDecoder *created = nullptr;
    EXPECT_EQ(VideoDecoderCreate(fourcc, &created), VANTOR_OK);
    DecoderPtr d(created);
    VIDEO_STREAM_INFO info = RecordFor(fourcc, stream, withSize);
    const std::vector<uint8_t> &first = stream.samples[0].data;
    EXPECT_EQ(d->pOps->Init(d.get(), first.data(), uint32_t(first.size()), &info), VANTOR_OK);
    return d;
}

struct Picture
{
    int32_t ms;
    std::vector<uint8_t> y, u, v; // cropped planes
};

Picture Copy(const VideoDecoder &d, const VideoPicture &p, int32_t ms)
{
    Picture out{ms, {}, {}, {}};
    for (int row = 0; row < d.nHeight; ++row)
        out.y.insert(out.y.end(), p.pY + row * p.nStride, p.pY + row * p.nStride + d.nWidth);
    const int cw = (d.nWidth + 1) / 2, ch = (d.nHeight + 1) / 2, cs = p.nStride / 2;
    for (int row = 0; row < ch; ++row) {
        out.u.insert(out.u.end(), p.pU + row * cs, p.pU + row * cs + cw);
        out.v.insert(out.v.end(), p.pV + row * cs, p.pV + row * cs + cw);
    }
    return out;
}

// Every sample in decode order at 40 ms a frame of its presentation time, then the drain.
std::vector<Picture> DecodeAll(VideoDecoder *d, const EncodedStream &stream, size_t from = 0)
{
    std::vector<Picture> pictures;
    for (size_t i = from; i < stream.samples.size(); ++i) {
        const EncodedSample &s = stream.samples[i];
        uint32_t offset = 0;
        for (int tries = 0; tries < 4 && offset < s.data.size(); ++tries) {
            VideoPicture p{};
            int32_t ms = -1;
            uint32_t used = 0;
            d->pOps->Decode(d, s.data.data() + offset, uint32_t(s.data.size() - offset),
                            int32_t(s.pts * 40), &p, &ms, &used);
            if (p.pY)
                pictures.push_back(Copy(*d, p, ms));
            offset += used;
        }
    }
    for (int held = 0; held < 16; ++held) {
        VideoPicture p{};
        int32_t ms = -1;
        uint32_t used = 0;
        d->pOps->Decode(d, nullptr, 0, 0, &p, &ms, &used);
        if (!p.pY)
            break;
        pictures.push_back(Copy(*d, p, ms));
    }
    return pictures;
}

// Mean absolute difference of the luma from the encoder's input picture.
double LumaError(const Picture &picture, int frame, int width, int height)
{
    double total = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            total += std::abs(int(picture.y[size_t(y * width + x)]) -
                              int(uint8_t((x + y + 3 * frame) * 2)));
    return total / (width * height);
}

struct CodecCase
{
    const char *encoder;
    uint32_t fourcc;
    int bFrames;
    bool globalHeader;
    AVPixelFormat format;
    double maxError;
    int width = 96, height = 64;
};

const CodecCase kCodecs[] = {
    {"mpeg4", MakeFourcc("XVID"), 0, true, AV_PIX_FMT_YUV420P, 6},
    {"mpeg4", MakeFourcc("DX50"), 2, false, AV_PIX_FMT_YUV420P, 6},   // reordered, headers in-band
    {"mpeg4", MakeFourcc("DIV4"), 0, true, AV_PIX_FMT_YUV420P, 6},    // MPEG-4 start codes seen
    {"msmpeg4", MakeFourcc("DIV4"), 0, false, AV_PIX_FMT_YUV420P, 8}, // DivX 3 itself
    {"h263", MakeFourcc("H263"), 0, false, AV_PIX_FMT_YUV420P, 8, 128, 96},
    {"libx264", MakeFourcc("H264"), 2, false, AV_PIX_FMT_YUV420P, 6},
    {"mjpeg", MakeFourcc("JPEG"), 0, false, AV_PIX_FMT_YUVJ422P, 6}, // chroma averaged to 4:2:0
    {"libx265", MakeFourcc("HEVC"), 2, false, AV_PIX_FMT_YUV420P, 6},
    {"libx265", MakeFourcc("hvc1"), 0, true, AV_PIX_FMT_YUV420P, 6}, // parameter sets as extra data
};

TEST(AvVideoDecoder, EveryPictureComesOutInPresentationOrderWithItsTime)
{
    constexpr int kFrames = 12;
    for (const CodecCase &c : kCodecs) {
        SCOPED_TRACE(std::string(c.encoder) + " " + FourccText(c.fourcc));
        const int kWidth = c.width, kHeight = c.height;
        const EncodedStream stream = EncodeVideo(c.encoder, kWidth, kHeight, kFrames, 6, c.bFrames,
                                                 c.globalHeader, c.format);
        if (!stream.ok) {
            ADD_FAILURE() << "encoder " << c.encoder << " missing";
            continue;
        }
        DecoderPtr d = Started(c.fourcc, stream);
        ASSERT_EQ(d->bInitialised, 1);
        EXPECT_EQ(d->nWidth, kWidth);
        EXPECT_EQ(d->nHeight, kHeight);
        EXPECT_EQ(d->dwOutputFormat, MakeFourcc("I420"));
        EXPECT_EQ(d->bInitialised, 1);
        const std::vector<Picture> pictures = DecodeAll(d.get(), stream);
        ASSERT_EQ(pictures.size(), size_t(kFrames));
        for (int i = 0; i < kFrames; ++i) {
            EXPECT_EQ(pictures[size_t(i)].ms, i * 40) << "picture " << i;
            EXPECT_LT(LumaError(pictures[size_t(i)], i, kWidth, kHeight), c.maxError)
                << "picture " << i;
        }
        // Chroma of the first picture: bands of 16 per 8 chroma columns (U), rows (V).
        EXPECT_NEAR(pictures[0].u[2], 64, 4);
        EXPECT_NEAR(pictures[0].u[10], 80, 4);
        EXPECT_NEAR(pictures[0].v[size_t(17 * (kWidth / 2))], 192 - 32, 4);
    }
}

TEST(AvVideoDecoder, ClassifySaysWhichEncodedSamplesAreKeyPictures)
{
    for (const CodecCase &c : kCodecs) {
        if (std::string(c.encoder) == "mjpeg")
            continue;
        SCOPED_TRACE(std::string(c.encoder) + " " + FourccText(c.fourcc));
        const EncodedStream stream =
            EncodeVideo(c.encoder, c.width, c.height, 14, 5, c.bFrames, c.globalHeader, c.format);
        ASSERT_TRUE(stream.ok);
        DecoderPtr d = Started(c.fourcc, stream);
        ASSERT_EQ(d->bInitialised, 1);
        int keys = 0;
        for (const EncodedSample &s : stream.samples) {
            const int32_t expected = s.key ? kClassifySyncPoint : kClassifyNotSyncPoint;
            EXPECT_EQ(d->pOps->Classify(d.get(), s.data.data(), uint32_t(s.data.size())), expected)
                << "pts " << s.pts;
            keys += s.key;
        }
        EXPECT_GE(keys, 2);
    }
}

// NAL units of an Annex B byte string, without their start codes.
std::vector<std::vector<uint8_t>> SplitAnnexB(const std::vector<uint8_t> &data)
{
    std::vector<std::vector<uint8_t>> nals;
    size_t i = 0, start = std::string::npos;
    while (i + 3 <= data.size()) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            if (start != std::string::npos) {
                size_t end = i;
                while (end > start && data[end - 1] == 0)
                    --end;
                nals.emplace_back(data.begin() + ptrdiff_t(start), data.begin() + ptrdiff_t(end));
            }
            i += 3;
            start = i;
        } else {
            ++i;
        }
    }
    if (start != std::string::npos)
        nals.emplace_back(data.begin() + ptrdiff_t(start), data.end());
    return nals;
}

// The same stream as an MP4 muxer stores it: an avcC record and 4-byte length prefixes.
EncodedStream ToAvcC(const EncodedStream &annexB)
{
    EncodedStream out = annexB;
    std::vector<uint8_t> sps, pps;
    for (const auto &nal : SplitAnnexB(annexB.extra)) {
        if ((nal[0] & 0x1F) == 7)
            sps = nal;
        else if ((nal[0] & 0x1F) == 8)
            pps = nal;
    }
    if (sps.size() < 4 || pps.empty())
        return EncodedStream{};
    out.extra = {
        1, sps[1], sps[2], sps[3], 0xFF, 0xE1, uint8_t(sps.size() >> 8), uint8_t(sps.size())};
    out.extra.insert(out.extra.end(), sps.begin(), sps.end());
    out.extra.insert(out.extra.end(), {1, uint8_t(pps.size() >> 8), uint8_t(pps.size())});
    out.extra.insert(out.extra.end(), pps.begin(), pps.end());
    for (EncodedSample &sample : out.samples) {
        std::vector<uint8_t> prefixed;
        for (const auto &nal : SplitAnnexB(sample.data)) {
            for (int shift = 24; shift >= 0; shift -= 8)
                prefixed.push_back(uint8_t(nal.size() >> shift));
            prefixed.insert(prefixed.end(), nal.begin(), nal.end());
        }
        sample.data = prefixed;
    }
    return out;
}

TEST(AvVideoDecoder, H264InAvcCFormDecodesAndClassifiesLikeAnnexB)
{
    const EncodedStream annexB = EncodeVideo("libx264", 64, 48, 12, 4, 0, true);
    ASSERT_TRUE(annexB.ok);
    const EncodedStream avcc = ToAvcC(annexB);
    ASSERT_TRUE(avcc.ok);
    ASSERT_EQ(avcc.extra[0], 1);
    for (const EncodedStream *stream : {&annexB, &avcc}) {
        SCOPED_TRACE(stream == &avcc ? "avcC" : "Annex B");
        VideoDecoder *created = nullptr;
        ASSERT_EQ(VideoDecoderCreate(MakeFourcc("avc1"), &created), VANTOR_OK);
        DecoderPtr d(created);
        VIDEO_STREAM_INFO info = RecordFor(MakeFourcc("avc1"), *stream);
        ASSERT_EQ(d->pOps->Init(d.get(), stream->samples[0].data.data(),
                                uint32_t(stream->samples[0].data.size()), &info),
                  VANTOR_OK);
        int keys = 0;
        for (const EncodedSample &s : stream->samples) {
            EXPECT_EQ(d->pOps->Classify(d.get(), s.data.data(), uint32_t(s.data.size())),
                      s.key ? kClassifySyncPoint : kClassifyNotSyncPoint)
                << "pts " << s.pts;
            keys += s.key;
        }
        EXPECT_GE(keys, 3);
        const std::vector<Picture> pictures = DecodeAll(d.get(), *stream);
        ASSERT_EQ(pictures.size(), 12u);
        for (size_t i = 0; i < pictures.size(); ++i)
            EXPECT_LT(LumaError(pictures[i], int(i), 64, 48), 6) << "picture " << i;
    }
}

TEST(AvVideoDecoder, ResetThenDecodingFromTheNextKeyPictureGivesItsPictures)
{
    const EncodedStream stream = EncodeVideo("mpeg4", 64, 48, 10, 5, 0, true);
    ASSERT_TRUE(stream.ok);
    DecoderPtr d = Started(MakeFourcc("XVID"), stream);
    ASSERT_EQ(d->bInitialised, 1);
    DecodeAll(d.get(), stream);
    d->bWaitingForSync = 0;
    d->bSyncSeen = 1;
    d->pOps->Reset(d.get());
    EXPECT_EQ(d->bWaitingForSync, 1);
    EXPECT_EQ(d->bSyncSeen, 0);
    ASSERT_TRUE(stream.samples[5].key);
    const std::vector<Picture> pictures = DecodeAll(d.get(), stream, 5);
    ASSERT_EQ(pictures.size(), 5u);
    for (size_t i = 0; i < pictures.size(); ++i) {
        EXPECT_EQ(pictures[i].ms, int32_t(5 + i) * 40);
        EXPECT_LT(LumaError(pictures[i], int(5 + i), 64, 48), 6);
    }
}

TEST(AvVideoDecoder, RecordWithoutSizeTakesItFromTheStream)
{
    const EncodedStream stream = EncodeVideo("mpeg4", 80, 48, 3, 5, 0, false);
    ASSERT_TRUE(stream.ok);
    DecoderPtr d = Started(MakeFourcc("MP4V"), stream, false);
    ASSERT_EQ(d->bInitialised, 1);
    EXPECT_EQ(d->nWidth, 80);
    EXPECT_EQ(d->nHeight, 48);
    // The sample looked at by init is decoded again from the start.
    EXPECT_EQ(DecodeAll(d.get(), stream).size(), 3u);
}

TEST(AvVideoDecoder, PicturesOfAnotherSizeThanTheRecordAreFittedIntoIt)
{
    // The record says 64 x 48; the stream is 80 x 32. Pictures keep the record's size.
    const EncodedStream stream = EncodeVideo("mpeg4", 80, 32, 2, 5, 0, false);
    ASSERT_TRUE(stream.ok);
    VideoDecoder *created = nullptr;
    ASSERT_EQ(VideoDecoderCreate(MakeFourcc("XVID"), &created), VANTOR_OK);
    DecoderPtr d(created);
    VIDEO_STREAM_INFO info = RecordFor(MakeFourcc("XVID"), stream);
    info.nWidth = 64;
    info.nHeight = 48;
    ASSERT_EQ(d->pOps->Init(d.get(), nullptr, 0, &info), VANTOR_OK);
    const std::vector<Picture> pictures = DecodeAll(d.get(), stream);
    ASSERT_EQ(pictures.size(), 2u);
    const Picture &p = pictures[0];
    ASSERT_EQ(p.y.size(), size_t(64 * 48));
    EXPECT_NEAR(p.y[10 * 64 + 20], uint8_t((20 + 10) * 2), 6);
    EXPECT_EQ(p.y[40 * 64 + 20], 16); // below the stream's 32 rows: black
    EXPECT_EQ(p.u[20 * 32 + 5], 128);
}

TEST(AvVideoDecoder, DamagedSamplesGiveErrorsNotCrashes)
{
    const EncodedStream stream = EncodeVideo("mpeg4", 64, 48, 4, 5, 0, true);
    ASSERT_TRUE(stream.ok);
    for (uint32_t fourcc : {MakeFourcc("XVID"), MakeFourcc("H264"), MakeFourcc("JPEG")}) {
        SCOPED_TRACE(FourccText(fourcc));
        VideoDecoder *created = nullptr;
        ASSERT_EQ(VideoDecoderCreate(fourcc, &created), VANTOR_OK);
        DecoderPtr d(created);
        VIDEO_STREAM_INFO info = RecordFor(fourcc, stream);
        ASSERT_EQ(d->pOps->Init(d.get(), nullptr, 0, &info), VANTOR_OK);
        std::vector<uint8_t> junk(3000);
        srand(7);
        for (uint8_t &b : junk)
            b = uint8_t(rand());
        for (size_t cut : {size_t(3000), size_t(17), size_t(1)}) {
            VideoPicture p{};
            int32_t ms = 0;
            uint32_t used = 0;
            d->pOps->Decode(d.get(), junk.data(), uint32_t(cut), 0, &p, &ms, &used);
            EXPECT_LE(used, cut);
        }
        // A truncated real sample too.
        const EncodedSample &s = stream.samples[1];
        VideoPicture p{};
        int32_t ms = 0;
        uint32_t used = 0;
        d->pOps->Decode(d.get(), s.data.data(), uint32_t(s.data.size() / 3), 40, &p, &ms, &used);
    }
}

TEST(AvVideoDecoder, InitRefusesImpossibleRecords)
{
    VideoDecoder *created = nullptr;
    ASSERT_EQ(VideoDecoderCreate(MakeFourcc("XVID"), &created), VANTOR_OK);
    DecoderPtr d(created);
    VIDEO_STREAM_INFO info{};
    info.nFourcc = MakeFourcc("XVID");
    info.nWidth = 70000;
    info.nHeight = 48;
    EXPECT_EQ(d->pOps->Init(d.get(), nullptr, 0, &info), VANTOR_E_VIDEO_DECODER_INIT);
    // No size in the record and no sample to learn it from.
    info.nWidth = info.nHeight = 0;
    EXPECT_EQ(d->pOps->Init(d.get(), nullptr, 0, &info), VANTOR_E_VIDEO_DECODER_INIT);
    EXPECT_EQ(d->bInitialised, 0);
}

} // namespace
