#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "export/fix_point.h"

// What the map page's showTrip takes: {"current":k,"clips":[[[lat,lon,timeMs],…],…]}, one
// list per clip of the trip in order, thinned to at most maxPoints fixes a clip (first and last
// kept) so a long trip stays quick to draw. Pure.
std::string TripRouteJson(const std::vector<std::vector<FIX_POINT>> &clips, int current,
                          size_t maxPoints = 600);

// The page's answer to a click on the route, "clip,timeMs"; false for anything else (no click).
bool ParseTripClick(const std::string &text, size_t clipCount, size_t *clip, uint32_t *timeMs);
