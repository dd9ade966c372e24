#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "settings/setup_file.h"

TEST(SetupCrc32, MatchesZlibOnRandomRecords)
{
    std::mt19937 rng(7);
    for (size_t size : {size_t{0}, size_t{1}, size_t{111}, kSetupRecordSize, size_t{4096}}) {
        std::vector<uint8_t> bytes(size);
        for (auto &b : bytes)
            b = static_cast<uint8_t>(rng());
        EXPECT_EQ(SetupCrc32(bytes.data(), bytes.size()),
                  crc32(0L, bytes.data(), static_cast<uInt>(bytes.size())))
            << "size " << size;
    }
}
