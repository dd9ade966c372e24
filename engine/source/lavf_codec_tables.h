#pragma once

// What libavformat's codec descriptions become in our media information: the fourccs and
// format tags our decoders are found by, the decoder configuration copied into the records, and
// the packet filter a stream needs. Pure functions of the codec parameters, safe on any thread.

#include <cstdint>

struct AVCodecParameters;

// WAVE's format tag of AAC, which the AAC decoder is found by.
constexpr uint32_t kLavfWaveFormatAac = 0xFF;

// The video fourcc: ours for the codecs we decode (MPEG-4 keeps the container's own code when
// it is one the decoders know), the layout's for raw pictures, else the container's printable
// code or one made from the codec's name; never 0, which means raw I420.
uint32_t LavfVideoFourcc(const AVCodecParameters *par);

// A WAVE format tag where the codec has one, else a fourcc; only AAC gets an AAC code.
uint32_t LavfAudioFormat(const AVCodecParameters *par);

// Configuration longer than the record holds is left out rather than cut: a cut one would
// mislead the decoder, and the codecs it happens to (Theora, Vorbis) have no decoder here, which
// the decoder table then reports. H.264's goes in band (LavfFilterFor). *length is 0 without.
void LavfCopyExtraData(const AVCodecParameters *par, uint8_t *to, uint32_t *length);

// The bitstream filter the stream's packets go through, or null: ADTS headers come off AAC
// (the decoder takes the configuration as extra data), and an oversized H.264 or HEVC
// configuration goes in band.
const char *LavfFilterFor(const AVCodecParameters *par);
