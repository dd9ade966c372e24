#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Copies a span of a clip's compressed video and sound into an MP4 file without decoding
// anything, or into Matroska when MP4 cannot carry one of the codecs. The clip is read through
// the engine's own readers (CLF and AVI alike) and only read.

struct REMUX_REQUEST
{
    std::string source;   // the clip
    std::string target;   // where to write; ".mp4" is replaced by ".mkv" when MP4 cannot be used
    uint32_t nFromMs = 0; // span on the clip's clock; the copy starts at the key frame before
    uint32_t nToMs = 0;   // samples at or after this time are left out
    // Wall-clock time of the clip's position 0 (ms since 1970, UTC); creation_time is this
    // plus the first copied sample's time. -1 writes none.
    int64_t nClipStartUtcMs = -1;
};

struct REMUX_RESULT
{
    bool bOk = false;
    bool bMatroska = false; // MP4 could not hold a codec; written as Matroska instead
    std::string path;       // the file written
    std::string error;      // why not, for the user
    uint32_t nFirstMs = 0;  // clip time of the first sample copied (the key frame)
    uint32_t nLastMs = 0;   // clip time of the last sample copied
    uint32_t nPackets = 0;
};

// Called now and then with 0..100; false cancels (the partial file is removed).
using RemuxProgress = std::function<bool(int percent)>;

// Writes target.part and renames it over target when complete, so nothing half-written is
// left under the chosen name. Any thread.
REMUX_RESULT RemuxClip(const REMUX_REQUEST &request, const RemuxProgress &progress = {});

// Codec ids (libavcodec's AVCodecID values) of a stream as the engine describes it; 0 for a
// code without a known compressed format.
int VideoCodecIdForFourcc(uint32_t fourcc);
int AudioCodecIdForFormat(uint32_t format, uint32_t bitsPerSample);

// The target name with its extension replaced by ext (without the dot); a name without an
// extension gets it appended.
std::string WithExtension(const std::string &path, const std::string &ext);
