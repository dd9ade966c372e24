#pragma once

// The clip maker uses the engine's owners of FFmpeg objects.
#include "engine/codecs/av_owners.h"
