#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/play/decoder.h"

// Every picture of a file's first video stream, read through the engine's source and decoded by
// the built-in decoders as playback does: samples before the first synchronisation point are
// skipped, and the decoder is drained at the end so held-back pictures come out. The picture
// is valid only during the call of onPicture.
using PictureSink =
    std::function<void(const VideoDecoder &decoder, const VideoPicture &picture, int32_t timeMs)>;

// 0 when the stream was read to its end; the engine's code when the file cannot be opened
// (0x80000057 without a video stream, 0x80000031 for a codec without decoder, 0x80000034 when
// the decoder does not start, 0x80000054 when reading fails).
int32_t DecodeVideoFile(const std::string &path, const PictureSink &onPicture);
