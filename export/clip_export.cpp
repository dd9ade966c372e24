#include "export/clip_export.h"

#include <algorithm>
#include <filesystem>

#include "export/clip_fixes.h"
#include "export/track_writers.h"

CLIP_SPAN DefaultExportSpan(uint32_t positionMs, uint32_t durationMs)
{
    constexpr uint32_t kAround = 30000;
    positionMs = std::min(positionMs, durationMs);
    const uint32_t from = positionMs > kAround ? positionMs - kAround : 0;
    const uint32_t to = durationMs - positionMs > kAround ? positionMs + kAround : durationMs;
    return {from, to};
}

CLIP_EXPORT_RESULT ExportClipSpan(const std::string &source, const std::string &target,
                                  uint32_t fromMs, uint32_t toMs, int64_t fileEndUtcMs,
                                  uint32_t durationMs, const RemuxProgress &progress)
{
    CLIP_EXPORT_RESULT result;
    std::vector<FIX_POINT> points;
    ReadClipFixes(source, &points); // no fixes is not a failure: the video is still written
    REMUX_REQUEST request;
    request.source = source;
    request.target = target;
    request.nFromMs = fromMs;
    request.nToMs = toMs;
    request.nClipStartUtcMs = UtcAtClipPosition(points, 0);
    if (request.nClipStartUtcMs < 0 && fileEndUtcMs >= 0)
        request.nClipStartUtcMs = fileEndUtcMs - int64_t(durationMs);
    result.video = RemuxClip(request, progress);
    if (!result.video.bOk)
        return result;
    const std::vector<FIX_POINT> span = PointsInSpan(points, result.video.nFirstMs, toMs);
    if (span.empty())
        return result;
    const std::string gpxPath = WithExtension(result.video.path, "gpx");
    const std::string name = std::filesystem::path(source).filename().string();
    std::string error;
    if (WriteFileWhole(gpxPath, TrackToGpx({span}, name), &error)) {
        result.gpxPath = gpxPath;
        result.nGpxPoints = int(span.size());
    } else {
        result.gpxError = error;
    }
    return result;
}
