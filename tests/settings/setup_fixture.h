#pragma once

#include <cstring>
#include <vector>

#include <zlib.h>

#include "settings/setup_file.h"

// A 112-byte record whose every byte differs from its neighbours, so a lost, shifted or zeroed
// byte anywhere shows.
inline std::vector<uint8_t> PatternRecord(uint8_t seed)
{
    std::vector<uint8_t> bytes(kSetupRecordSize);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(seed + i * 7 + 1);
    return bytes;
}

// The file as the recorder writes it: the record and zlib's CRC-32 of it, little-endian.
inline std::vector<uint8_t> SetupFileBytes(const std::vector<uint8_t> &record)
{
    std::vector<uint8_t> file = record;
    const uint32_t crc = crc32(0L, record.data(), static_cast<uInt>(record.size()));
    for (int i = 0; i < 4; ++i)
        file.push_back(static_cast<uint8_t>(crc >> (8 * i)));
    return file;
}

inline std::vector<uint8_t> ImageBytes()
{
    std::vector<uint8_t> bytes(kSetupRecordSize);
    std::memcpy(bytes.data(), &g_SetupFileImage, bytes.size());
    return bytes;
}

inline void SetImage(const std::vector<uint8_t> &record)
{
    std::memcpy(&g_SetupFileImage, record.data(), kSetupRecordSize);
}
