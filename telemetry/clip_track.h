#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "telemetry/navi_track.h"

// One fix of a clip's route as the map, the probe and the track exports take it.
struct TRACK_POINT
{
    uint32_t dwTime;   // ms on the clip's playback clock
    double dLatitude;  // decimal degrees, south negative
    double dLongitude; // decimal degrees, west negative
    int32_t nSpeed;    // km/h, truncated
    int32_t nCourse;   // degrees, truncated
};

// The track's fixes in order, with their hemispheres applied.
std::vector<TRACK_POINT> TrackPoints(const CTavloNaviTrack &track);

// The fixes of the clip at path, read as the viewer reads them when it starts the clip (its
// text samples, then the track). No picture or sound is output. 0, or the engine's code of the
// failure to open or play the clip; a clip without text or fixes gives 0 and no points.
int32_t ReadClipTrack(const std::string &path, std::vector<TRACK_POINT> *points);

// The fastest a vehicle is taken to move between two fixes; a fix further away than this
// allows is a receiver's stray (a jump to another hemisphere, a 0,0 fix).
constexpr double kMaxPlausibleKmh = 300.0;

// Great-circle distance in km between two points.
double DistanceKm(const TRACK_POINT &from, const TRACK_POINT &to);

// The points of the route as drawn: each fix that can be reached from the previous kept one
// at no more than maxKmh. The route starts at the first fix from which one of the next two
// can be reached, so a stray first fix does not push the whole route aside.
std::vector<TRACK_POINT> PlausibleRoute(const std::vector<TRACK_POINT> &points,
                                        double maxKmh = kMaxPlausibleKmh);

// The index of the last point at or before the position (the first point before any), -1 for
// no points: where the marker stands on the drawn route.
int32_t RouteIndexAt(const std::vector<TRACK_POINT> &route, uint32_t positionMs);
