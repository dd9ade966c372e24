#pragma once

#include <cstdint>

// The CLF container's record tags, shared by the reader and the writer: the letters "vdat",
// "adat" and "tdat" read as big-endian numbers.
constexpr uint32_t CLF_TAG_VIDEO = 0x76646174;
constexpr uint32_t CLF_TAG_AUDIO = 0x61646174;
constexpr uint32_t CLF_TAG_TEXT = 0x74646174;
