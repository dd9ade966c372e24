#pragma once

#include "engine/core/vantor_player.h"
#include "engine/play/playback.h"

// Engine-side entry points below the public interface: a player with decoders chosen by the
// caller (scripted decoders in tests), and a look at its machinery.

// As VantorCreate, with the decoders taken from the factory (which must outlive the player).
VantorPlayer *VantorCreateWithDecoders(const VantorCallbacks *callbacks,
                                       const DecoderFactory *factory);

// The built-in decoders (the full engine only).
const DecoderFactory *BuiltinDecoders();

// The player's playback machinery; for tests that watch presentation.
Playback *VantorPlayback(VantorPlayer *player);
