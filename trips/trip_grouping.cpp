#include "trips/trip_grouping.h"

#include <algorithm>
#include <numeric>

std::vector<std::vector<size_t>> GroupTrips(const std::vector<CLIP_FIX_SPAN> &clips, int64_t gapMs)
{
    std::vector<size_t> dated, undated;
    for (size_t i = 0; i < clips.size(); ++i)
        (clips[i].nFirstUtcMs >= 0 ? dated : undated).push_back(i);
    std::stable_sort(dated.begin(), dated.end(), [&](size_t a, size_t b) {
        return clips[a].nFirstUtcMs < clips[b].nFirstUtcMs;
    });
    std::vector<std::vector<size_t>> trips;
    int64_t tripEnd = 0;
    for (const size_t i : dated) {
        const CLIP_FIX_SPAN &clip = clips[i];
        if (trips.empty() || clip.nFirstUtcMs - tripEnd > gapMs)
            trips.emplace_back();
        trips.back().push_back(i);
        // An overlapping clip that ended earlier does not pull the trip's end back.
        tripEnd = trips.back().size() == 1 ? clip.nLastUtcMs : std::max(tripEnd, clip.nLastUtcMs);
    }
    for (const size_t i : undated)
        trips.push_back({i});
    return trips;
}
