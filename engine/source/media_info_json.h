#pragma once

#include <string>

#include "engine/source/media_info.h"

// The media information as one JSON object (for tools and tests), streams as arrays of their
// kind. A fourcc is given as its number and as four characters, the highest byte first (the
// order a CLF header holds them), anything unprintable escaped; extra data as lowercase hex.
std::string MediaInfoToJson(const MediaInfo &info);
