#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Trips: clips of one category whose recordings follow each other. The next clip continues the
// trip when its first fix lies within the gap of the previous clip's last fix.

constexpr int64_t kTripGapMs = 2 * 60 * 1000;

struct CLIP_FIX_SPAN
{
    int64_t nFirstUtcMs = -1; // first dated fix, ms since 1970; -1 when the clip has none
    int64_t nLastUtcMs = -1;
};

// Groups clips into trips: each trip is a list of indices into clips in the order of their
// first fix. Clips are taken in time order whatever order they come in; a clip without a dated
// fix is a trip of its own and comes last, in input order. A next clip that starts before the
// previous one ended (overlapping recordings) continues the trip. Pure.
std::vector<std::vector<size_t>> GroupTrips(const std::vector<CLIP_FIX_SPAN> &clips,
                                            int64_t gapMs = kTripGapMs);
