#pragma once

#include <string>
#include <vector>

#include "export/fix_point.h"

// Every valid fix of a clip, read from its text stream alone (no picture or sound is read, and
// no playback is started), with the same selection and parsing as the playing clip's track.
// An empty list for a clip without text stream or without a fix. False only when the clip
// cannot be opened; error then says why. Any thread.
bool ReadClipFixes(const std::string &path, std::vector<FIX_POINT> *points,
                   std::string *error = nullptr);
