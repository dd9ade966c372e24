#include <vector>

#include <gtest/gtest.h>

#include "engine/play/pcm_accumulator.h"

TEST(PcmAccumulator, CapacityIsAboutFiftyMillisecondsInWholeFramesPlusOne)
{
    const struct
    {
        uint32_t frame, rate, capacity;
    } cases[] = {
        {1024, 44100, 3072}, {2048, 44100, 4096}, {1024, 48000, 3072},
        {1024, 8000, 1024},  {1024, 16000, 1024}, {1152, 22050, 1152},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PcmAccumulator::CapacityFor(c.frame, c.rate), c.capacity)
            << c.frame << " " << c.rate;
}

TEST(PcmAccumulator, OffersOnlyWhenAFrameNoLongerFitsOrAtTheEnd)
{
    PcmAccumulator acc;
    ASSERT_TRUE(acc.Create(1024, 44100, 2));
    std::vector<int16_t> frame(1024 * 2);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<int16_t>(i % 2 == 0 ? i : -static_cast<int>(i));

    ASSERT_TRUE(acc.Append(frame.data(), 1024, 1000));
    ASSERT_TRUE(acc.Append(frame.data(), 1024, 1023));
    EXPECT_FALSE(acc.Offers());
    EXPECT_TRUE(acc.HasRoomForFrame());
    ASSERT_TRUE(acc.Append(frame.data(), 1024, 1046));
    EXPECT_TRUE(acc.Offers());
    EXPECT_FALSE(acc.HasRoomForFrame());
    EXPECT_FALSE(acc.Append(frame.data(), 1024, 1069));
    EXPECT_EQ(acc.FirstTime(), 1000);

    // Planar inside, interleaved for the device, the same samples.
    EXPECT_EQ(acc.Channel(0)[1], 2);
    EXPECT_EQ(acc.Channel(1)[1], -3);
    std::vector<int16_t> out;
    acc.Interleave(&out);
    ASSERT_EQ(out.size(), 3u * 1024 * 2);
    EXPECT_EQ(out[2048 + 3], frame[3]);

    acc.Clear();
    EXPECT_FALSE(acc.Offers());
    ASSERT_TRUE(acc.Append(frame.data(), 100, 5000));
    EXPECT_FALSE(acc.Offers());
    acc.SetEndMark();
    EXPECT_TRUE(acc.Offers());
    EXPECT_EQ(acc.FirstTime(), 5000);
}

TEST(PcmAccumulator, RejectsImpossibleFormats)
{
    PcmAccumulator acc;
    EXPECT_FALSE(acc.Create(0, 44100, 2));
    EXPECT_FALSE(acc.Create(1024, 0, 2));
    EXPECT_FALSE(acc.Create(1024, 44100, 3));
}
