#pragma once

#include <string>
#include <vector>

#include "export/fix_point.h"

// Every valid fix of a clip, read from its text stream alone (no picture or sound is read, and
// no playback is started), with the same selection, parsing and plausibility test as the
// playing clip's track (CTavloNaviTrack::BuildTrack) but over every sample of the clip: fast
// enough for a whole card, and with each fix's date and time, which TRACK_POINT leaves out.
// An empty list for a clip without text stream or without a fix. False only when the clip
// cannot be opened; error then says why. Any thread.
bool ReadClipFixes(const std::string &path, std::vector<FIX_POINT> *points,
                   std::string *error = nullptr);
