#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/source/reader_ops.h"

// Bytes of the stream's head that detection looks at.
constexpr uint32_t kDetectWindow = 4096;

enum class ReaderKind
{
    Refused, // recognised, and deliberately not played
    Mp4,
    Asf,
    Avi,
    Flv,
    ProgramStream,
    Ogg,
    RealMedia,
    Clf,
    TransportStream,
    Wave,
    Qcelp,
    Jpeg,
    ElementaryAudio,
    Rtsp,
};

struct ReaderEntry
{
    ReaderKind kind;
    const char *szName;
    const ReaderOps *pOps; // null for Refused
};

// The reader registered for a kind; never null.
const ReaderEntry &ReaderFor(ReaderKind kind);

// Which reader the head of a stream belongs to; size may be less than the window (short file).
ReaderKind DetectContainer(const uint8_t *head, size_t size);

// True when the locator names a network session: an rtsp-family prefix, or, only when there is
// no alternative locator, the extension "sdp" in any case.
bool IsSessionLocator(const wchar_t *locator, bool hasAlternativeLocator);

// 337 for ".evrc", 336 for ".qcelp" (any case), else 0.
int32_t FormatHintOf(const wchar_t *locator);
