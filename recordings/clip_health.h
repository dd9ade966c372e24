#pragma once

#include <cstdint>
#include <string>

// Whether a clip was closed properly by the recorder, judged cheaply from its header and its
// end: a recorder that loses power mid-clip leaves the header unfinished or the last chunk
// cut, and no index. Such a clip still plays as far as it goes.

enum class CLIP_HEALTH
{
    Sound,   // header, data and index (or end record) as a finished clip has them
    Damaged, // no usable index, or the data ends before its declared size
    Unknown, // not a container this check knows, or the file cannot be read
};

// Reads a few kilobytes at most (the header, the top-level chunk headers and the header list,
// or the CLF end record). Any thread.
CLIP_HEALTH CheckClipHealth(const std::string &path);
