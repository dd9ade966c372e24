// AAC made by libavcodec's encoder, decoded through the built-in table's decoder.
#include <cmath>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "encode_fixture.h"
#include "engine/codecs/decoder_ops.h"
#include "engine/core/fourcc.h"
#include "engine/core/vantor_errors.h"

namespace {

using DecoderPtr = std::unique_ptr<AudioDecoder, CloseWith<AudioDecoderDestroy>>;

AUDIO_STREAM_INFO RecordFor(uint32_t format, const EncodedStream &stream)
{
    AUDIO_STREAM_INFO info{};
    info.nFormat = format;
    info.nSampleRate = uint32_t(stream.sampleRate);
    info.nChannels = uint32_t(stream.channels);
    info.nBitsPerSample = 16;
    info.nBitRate = 64000;
    info.nSampleTime = 1;
    info.nExtraDataLength = uint32_t(stream.extra.size());
    std::copy(stream.extra.begin(), stream.extra.end(), info.byExtraData);
    return info;
}

DecoderPtr Open(uint32_t format, const EncodedStream &stream, AUDIO_STREAM_INFO *info)
{
    AudioDecoder *created = nullptr;
    EXPECT_EQ(AudioDecoderCreate(format, &created), VANTOR_OK);
    DecoderPtr d(created);
    *info = RecordFor(format, stream);
    const std::vector<uint8_t> &first = stream.samples[0].data;
    EXPECT_EQ(d->pOps->Init(d.get(), first.data(), uint32_t(first.size()), info), VANTOR_OK);
    return d;
}

// Interleaved PCM of the whole stream, and the count of each call's output.
std::vector<int16_t> DecodeAll(AudioDecoder *d, const EncodedStream &stream,
                               std::vector<uint32_t> *perCall)
{
    std::vector<int16_t> pcm;
    std::vector<int16_t> out(size_t(d->nSamplesPerFrame) * d->nChannels);
    for (const EncodedSample &s : stream.samples) {
        uint32_t offset = 0;
        for (int tries = 0; tries < 16 && offset < s.data.size(); ++tries) {
            uint32_t produced = 0, used = 0;
            EXPECT_EQ(d->pOps->Decode(d, s.data.data() + offset, uint32_t(s.data.size() - offset),
                                      out.data(), &produced, &used),
                      VANTOR_OK);
            EXPECT_LE(produced, d->nSamplesPerFrame);
            perCall->push_back(produced);
            pcm.insert(pcm.end(), out.begin(), out.begin() + produced * d->nChannels);
            offset += used;
        }
        EXPECT_EQ(offset, s.data.size()) << "a sample was never used up";
    }
    return pcm;
}

// Frequency of one channel by its rising zero crossings, past the encoder's start-up.
double Frequency(const std::vector<int16_t> &pcm, uint32_t channels, uint32_t channel,
                 uint32_t rate)
{
    const size_t frames = pcm.size() / channels;
    const size_t from = 4096;
    int crossings = 0;
    size_t first = 0, last = 0;
    for (size_t i = from + 1; i < frames; ++i) {
        if (pcm[(i - 1) * channels + channel] < 0 && pcm[i * channels + channel] >= 0) {
            if (crossings++ == 0)
                first = i;
            last = i;
        }
    }
    if (crossings < 2)
        return 0;
    return double(crossings - 1) * rate / double(last - first);
}

double Rms(const std::vector<int16_t> &pcm, uint32_t channels, uint32_t channel)
{
    double sum = 0;
    size_t n = 0;
    for (size_t i = 4096 * channels + channel; i < pcm.size(); i += channels, ++n)
        sum += double(pcm[i]) * pcm[i];
    return n ? std::sqrt(sum / double(n)) : 0;
}

struct ToneCase
{
    uint32_t format;
    int rate;
    int channels;
    double hz;
    uint32_t expectedChannels;
};

TEST(AacAudioDecoder, FramesOfFSamplesAtTheStreamsRateWithTheToneIntact)
{
    const ToneCase cases[] = {
        {0xFF, 16000, 1, 440.0, 1},
        {0xFF, 48000, 2, 1000.0, 2},
        {0xFE, 44100, 2, 500.0, 2},
        {MakeFourcc("raac"), 22050, 1, 300.0, 1},
    };
    for (const ToneCase &c : cases) {
        SCOPED_TRACE(c.rate);
        const EncodedStream stream = EncodeAacTone(c.rate, c.channels, c.hz, 40);
        ASSERT_TRUE(stream.ok);
        AUDIO_STREAM_INFO info{};
        DecoderPtr d = Open(c.format, stream, &info);
        EXPECT_EQ(d->nSampleRate, uint32_t(c.rate));
        EXPECT_EQ(d->nChannels, c.expectedChannels);
        EXPECT_EQ(d->nBitsPerSample, 16u);
        EXPECT_EQ(d->nBitRateK, 64u);
        EXPECT_EQ(d->nPerSampleTime, 1u);
        EXPECT_EQ(info.nSamplesPerFrame, d->nSamplesPerFrame);
        std::vector<uint32_t> perCall;
        const std::vector<int16_t> pcm = DecodeAll(d.get(), stream, &perCall);
        // AAC-LC frames are 1024 samples, whatever F the format code gives.
        for (size_t i = 0; i < perCall.size(); ++i)
            EXPECT_TRUE(perCall[i] == 1024 || perCall[i] == 0) << "call " << i;
        EXPECT_GE(pcm.size() / c.expectedChannels, size_t(38 * 1024));
        for (uint32_t ch = 0; ch < c.expectedChannels; ++ch) {
            EXPECT_NEAR(Frequency(pcm, c.expectedChannels, ch, uint32_t(c.rate)), c.hz * (ch + 1),
                        c.hz * 0.01)
                << "channel " << ch;
            // Amplitude 0.5 of full scale: RMS about 11585.
            EXPECT_NEAR(Rms(pcm, c.expectedChannels, ch), 11585, 1200);
        }
    }
}

TEST(AacAudioDecoder, FramesLargerThanFAreHandedOutOverSeveralCalls)
{
    // An SBR stream's 2048-sample frames meet F = 1024 this way; here a smaller F shows it
    // with the LC frames the encoder makes.
    const EncodedStream stream = EncodeAacTone(16000, 1, 440.0, 12);
    ASSERT_TRUE(stream.ok);
    AUDIO_STREAM_INFO info{};
    DecoderPtr whole = Open(0xFF, stream, &info);
    std::vector<uint32_t> wholeCalls;
    const std::vector<int16_t> reference = DecodeAll(whole.get(), stream, &wholeCalls);

    DecoderPtr d = Open(0xFF, stream, &info);
    d->nSamplesPerFrame = 384; // 1024 = 384 + 384 + 256
    std::vector<uint32_t> perCall;
    const std::vector<int16_t> pcm = DecodeAll(d.get(), stream, &perCall);
    EXPECT_EQ(pcm, reference);
    ASSERT_GE(perCall.size(), 6u);
    EXPECT_EQ(perCall[perCall.size() - 3], 384u);
    EXPECT_EQ(perCall[perCall.size() - 2], 384u);
    EXPECT_EQ(perCall[perCall.size() - 1], 256u);
}

TEST(AacAudioDecoder, SixChannelsAreMixedDownToStereo)
{
    // Channel c carries 200 Hz x (c + 1): front left 200, front right 400, centre 600, LFE 800,
    // back left 1000, back right 1200 (libavcodec's 5.1 order).
    const EncodedStream stream = EncodeAacTone(48000, 6, 200.0, 30);
    ASSERT_TRUE(stream.ok);
    AUDIO_STREAM_INFO info{};
    DecoderPtr d = Open(0xFF, stream, &info);
    EXPECT_EQ(d->nChannels, 2u);
    std::vector<uint32_t> perCall;
    const std::vector<int16_t> pcm = DecodeAll(d.get(), stream, &perCall);
    ASSERT_GT(pcm.size(), size_t(8192 * 2));
    // Left holds 200 + 600 + 1000 Hz, right 400 + 600 + 1200 Hz; neither clips.
    auto energyAt = [&](uint32_t channel, double hz) {
        double re = 0, im = 0;
        const size_t frames = pcm.size() / 2;
        for (size_t i = 4096; i < frames; ++i) {
            const double phase = 2 * M_PI * hz * double(i) / 48000;
            re += pcm[i * 2 + channel] * std::cos(phase);
            im += pcm[i * 2 + channel] * std::sin(phase);
        }
        return std::sqrt(re * re + im * im) / double(frames - 4096);
    };
    EXPECT_GT(energyAt(0, 200), 1000);
    EXPECT_LT(energyAt(0, 400), 100);
    EXPECT_GT(energyAt(1, 400), 1000);
    EXPECT_LT(energyAt(1, 200), 100);
    EXPECT_GT(energyAt(0, 600), 500);
    EXPECT_GT(energyAt(1, 600), 500);
    EXPECT_LT(energyAt(0, 800), 100); // LFE left out
    EXPECT_GT(energyAt(0, 1000), 500);
    EXPECT_LT(energyAt(0, 1200), 100);
    int16_t peak = 0;
    for (int16_t s : pcm)
        peak = std::max<int16_t>(peak, int16_t(std::abs(s)));
    EXPECT_LT(peak, 32767);
}

TEST(AacAudioDecoder, ResetForgetsWhatWasHeldAndBadSamplesAreReported)
{
    const EncodedStream stream = EncodeAacTone(16000, 1, 440.0, 6);
    ASSERT_TRUE(stream.ok);
    AUDIO_STREAM_INFO info{};
    DecoderPtr d = Open(0xFF, stream, &info);
    d->nSamplesPerFrame = 512;
    std::vector<int16_t> out(512);
    uint32_t produced = 0, used = 0;
    const EncodedSample &s = stream.samples[2];
    ASSERT_EQ(d->pOps->Decode(d.get(), s.data.data(), uint32_t(s.data.size()), out.data(),
                              &produced, &used),
              VANTOR_OK);
    EXPECT_EQ(produced, 512u);
    EXPECT_EQ(used, 0u); // half the frame still held
    d->bRestart = 0;
    d->pOps->Reset(d.get());
    EXPECT_EQ(d->bRestart, 1);
    // After the reset a new sample is decoded, not the old frame's rest.
    const std::vector<uint8_t> junk(40, 0xA5);
    const int32_t result =
        d->pOps->Decode(d.get(), junk.data(), uint32_t(junk.size()), out.data(), &produced, &used);
    EXPECT_LT(result, 0);
    EXPECT_EQ(produced, 0u);
    EXPECT_EQ(used, junk.size());
}

TEST(AacAudioDecoder, InitFailsWithoutAnyConfiguration)
{
    AudioDecoder *created = nullptr;
    ASSERT_EQ(AudioDecoderCreate(0xFF, &created), VANTOR_OK);
    DecoderPtr d(created);
    AUDIO_STREAM_INFO info{};
    const std::vector<uint8_t> junk(40, 0xA5);
    EXPECT_EQ(d->pOps->Init(d.get(), junk.data(), uint32_t(junk.size()), &info),
              VANTOR_E_AUDIO_DECODER_INIT);
}

} // namespace
