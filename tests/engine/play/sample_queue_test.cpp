#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "engine/play/sample_queue.h"

namespace {

// Writes a sample whose bytes all equal its number, so overlaps show.
bool Put(SampleQueue *queue, uint32_t length, uint8_t mark, int32_t time)
{
    uint8_t *data = nullptr;
    uint32_t capacity = 0;
    if (!queue->TakeWriteSpace(&data, &capacity))
        return false;
    EXPECT_GE(capacity, length);
    std::memset(data, mark, length);
    return queue->Commit(length, time, 40);
}

void ExpectIntact(const QUEUED_SAMPLE &s, uint8_t mark)
{
    for (uint32_t i = 0; i < s.nLength; ++i)
        ASSERT_EQ(s.pData[i], mark) << "byte " << i << " of sample " << int(mark);
}

} // namespace

TEST(SampleQueue, KeepsOrderAcrossRingWrapWithoutOverwritingQueuedSamples)
{
    SampleQueue queue;
    ASSERT_TRUE(queue.Create(1000, 300, 8));
    int32_t nextTime = 0;
    uint8_t nextMark = 1, expectMark = 1;
    int32_t expectTime = 0;
    // Keep the ring close to full for many rounds with uneven sizes.
    for (int round = 0; round < 200; ++round) {
        while (Put(&queue, 50 + (nextMark * 37) % 250, nextMark, nextTime)) {
            ++nextMark;
            nextTime += 40;
        }
        QUEUED_SAMPLE s{};
        ASSERT_TRUE(queue.Peek(&s));
        EXPECT_EQ(s.nTime, expectTime);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(s.pData) % 8, 0u);
        ExpectIntact(s, expectMark);
        // Zero bytes follow the data for decoders that read ahead.
        for (uint32_t i = s.nLength; i < s.nLength + 4; ++i)
            ASSERT_EQ(s.pData[i], 0);
        queue.Release();
        ++expectMark;
        expectTime += 40;
    }
}

TEST(SampleQueue, RefusesSpaceWhenItemsOrBytesRunOut)
{
    SampleQueue queue;
    ASSERT_TRUE(queue.Create(100000, 10, 0));
    for (uint32_t i = 0; i < SampleQueue::kItems; ++i)
        ASSERT_TRUE(Put(&queue, 10, 1, 0));
    uint8_t *data;
    uint32_t capacity;
    EXPECT_FALSE(queue.TakeWriteSpace(&data, &capacity)); // 20 items used
    EXPECT_EQ(queue.Count(), SampleQueue::kItems);

    SampleQueue small;
    ASSERT_TRUE(small.Create(300, 100, 0));
    ASSERT_TRUE(Put(&small, 100, 1, 0));
    ASSERT_TRUE(Put(&small, 100, 2, 0));
    ASSERT_TRUE(Put(&small, 100, 3, 0));
    EXPECT_FALSE(small.TakeWriteSpace(&data, &capacity)); // no contiguous largest sample
    small.Release();
    EXPECT_TRUE(small.TakeWriteSpace(&data, &capacity)); // the freed front is reused
    EXPECT_FALSE(small.Commit(capacity + 1, 0, 0));      // more than was handed out
}

TEST(SampleQueue, ReleaseWithTailAndPutBackKeepTheRestInFront)
{
    SampleQueue queue;
    ASSERT_TRUE(queue.Create(4096, 256, 0));
    uint8_t *data;
    uint32_t capacity;
    ASSERT_TRUE(queue.TakeWriteSpace(&data, &capacity));
    for (int i = 0; i < 100; ++i)
        data[i] = static_cast<uint8_t>(i);
    ASSERT_TRUE(queue.Commit(100, 480, 20));
    ASSERT_TRUE(Put(&queue, 10, 0xEE, 500));

    queue.Release(30); // the decoder used 70 bytes
    QUEUED_SAMPLE s{};
    ASSERT_TRUE(queue.Peek(&s));
    EXPECT_EQ(s.nLength, 30u);
    EXPECT_EQ(s.pData[0], 70);
    EXPECT_EQ(s.nTime, 480);

    queue.PutBack(s.pData + 10, 20);
    ASSERT_TRUE(queue.Peek(&s));
    EXPECT_EQ(s.nLength, 20u);
    EXPECT_EQ(s.pData[0], 80);
    queue.PutBack(s.pData + 15, 50); // reaches past the sample: refused
    ASSERT_TRUE(queue.Peek(&s));
    EXPECT_EQ(s.nLength, 20u);

    queue.Release();
    ASSERT_TRUE(queue.Peek(&s));
    EXPECT_EQ(s.nTime, 500);
    queue.Flush();
    EXPECT_EQ(queue.Count(), 0u);
    EXPECT_FALSE(queue.Peek(&s));
}

TEST(SampleQueue, RejectsImpossibleFigures)
{
    SampleQueue queue;
    EXPECT_FALSE(queue.Create(100, 0, 0));
    EXPECT_FALSE(queue.Create(100, 200, 0));
    EXPECT_FALSE(queue.Create(1000, 100, 4));
    EXPECT_FALSE(queue.Create(0x7FFFFFFF, 100, 0));
    uint8_t *data;
    uint32_t capacity;
    EXPECT_FALSE(queue.TakeWriteSpace(&data, &capacity));
}
