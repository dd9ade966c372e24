#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/vantor_player.h"
#include "playback/text_sample.h"

// What the player wrapper does when a clip starts: the clip's media information, then its text
// samples in stream order into a zero-filled table. Reading stops at the end of the text
// stream, at the first sample larger than kMaxTextSampleBytes (later ones are not read) or when
// the table is full. Returns how many samples were stored. Call on the status thread, inside
// the started callback, while the source is open.
uint32_t ReadStartedClipText(VantorPlayer *player, const VantorOpenParams &params,
                             VantorMediaInfo *mediaInfo, void *tagRecord, TEXT_SAMPLE *table,
                             uint32_t capacity);

// Plays the clip at path with no picture or sound output just long enough to read its text
// samples the way the wrapper does. 0, or the engine's code of the failure.
int32_t ReadClipText(const std::string &path, std::vector<TEXT_SAMPLE> *samples);
