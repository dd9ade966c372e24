#pragma once

#include <cstdint>

#include "engine/source/byte_stream.h"

// The network back-end for "http://" and "httpm://" locators (the second is plain HTTP as
// well). Opening sends the request; a download thread then copies the body, whose length the
// server must state, into an unnamed temporary file. Reads wait for the bytes they need, at most
// kHttpStallMs without any progress of the download. The available size is what has arrived, so
// the source's buffering report follows the download. Total, available and sequential position
// may be read from any thread; everything else belongs to the one thread that uses the
// instance. Clones share the download.
extern const ByteStreamOps g_HttpBackEndOps;

// A read gives up when the download has not moved for this long.
constexpr uint32_t kHttpStallMs = 15000;

// The engine's code for a libavformat error of opening or reading a URL (HTTP or a session).
int32_t HttpErrorCode(int averror);
