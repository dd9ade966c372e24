#pragma once

#include <cstdint>
#include <string>

#include "export/clip_remux.h"

// Export clip: the span's pictures and sound copied into a video file, and a GPX file of the
// span's fixes beside it under the same name. The video's creation time is the wall-clock
// time of its first picture, taken from the clip's GPS fixes, else from the file's time.

struct CLIP_EXPORT_RESULT
{
    REMUX_RESULT video;
    std::string gpxPath; // empty when the clip carries no fix in the span
    int nGpxPoints = 0;
    std::string gpxError; // the GPX could not be written (the video stays)
};

// fileEndUtcMs: when the recorder closed the clip (its file time), used when no fix has a date;
// durationMs: the clip's length, to go back from the file time to its start. Any thread.
CLIP_EXPORT_RESULT ExportClipSpan(const std::string &source, const std::string &target,
                                  uint32_t fromMs, uint32_t toMs, int64_t fileEndUtcMs,
                                  uint32_t durationMs, const RemuxProgress &progress = {});

// The default span around the playing position: 30 s either side, kept inside the clip.
struct CLIP_SPAN
{
    uint32_t nFromMs;
    uint32_t nToMs;
};
CLIP_SPAN DefaultExportSpan(uint32_t positionMs, uint32_t durationMs);
