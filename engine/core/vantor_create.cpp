#include "engine/core/vantor_player_internal.h"

namespace {

const DecoderFactory kBuiltinDecoders = {
    VideoDecoderCreate, VideoDecoderDestroy, AudioDecoderCreate, AudioDecoderDestroy,
    TextDecoderCreate,  TextDecoderDestroy,  TextDecoderDecode,
};

} // namespace

const DecoderFactory *BuiltinDecoders()
{
    return &kBuiltinDecoders;
}

VantorPlayer *VantorCreate(const VantorCallbacks *callbacks)
{
    return VantorCreateWithDecoders(callbacks, &kBuiltinDecoders);
}
