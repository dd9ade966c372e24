#pragma once

// The clip maker, the benchmarks and the tests use the engine's owners of FFmpeg objects,
// libavformat's input and output files among them.
#include "engine/codecs/av_owners.h"
