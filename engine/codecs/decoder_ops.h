#pragma once

#include "engine/play/decoder.h"

// The built-in decoders' operation tables, one per decoder class; VideoDecoderCreate and
// AudioDecoderCreate choose among them by fourcc or format code.
extern const VideoDecoderOps g_RawVideoDecoderOps;   // uncompressed planar and packed 4:2:2
extern const VideoDecoderOps g_Mpeg4VideoDecoderOps; // MPEG-4 Part 2, H.263 and DivX 3
extern const VideoDecoderOps g_JpegVideoDecoderOps;  // one JPEG picture per sample
extern const VideoDecoderOps g_H264VideoDecoderOps;
extern const VideoDecoderOps g_HevcVideoDecoderOps;  // 8- and 10-bit, handed out as 8-bit I420
extern const AudioDecoderOps g_AacAudioDecoderOps;
