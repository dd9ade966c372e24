// Reading samples into a task's queue: a sample larger than the stream said grows the queue
// instead of ending the stream.

#include <cstring>

#include <gtest/gtest.h>

#include "engine/play/playback_tasks.h"
#include "engine/source/source_object.h"
#include "tests/engine/play/scripted_decoders.h"
#include "tests/support/resident_memory.h"
#include "tests/support/temp_folder.h"

namespace {

// Three pictures: 5 bytes, 400 bytes, 5 bytes; each starts with its number after a key flag.
constexpr uint32_t kSizes[] = {5, 400, 5};

class PlaybackReadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ClfLayout layout;
        layout.video.push_back(ClfVideoEntry{ClfFourcc("SCRV"), 32, 16, 25000, 0, {}});
        ClfWriter writer;
        const std::string path = m_Folder / "clip.avi";
        ASSERT_EQ(writer.Open(path, layout), VANTOR_OK);
        for (uint32_t i = 0; i < 3; ++i) {
            std::vector<uint8_t> sample(kSizes[i], 0);
            std::memcpy(sample.data() + 1, &i, 4);
            ASSERT_EQ(writer.WriteSample(kClfKindVideo, i * 40, sample.data(), sample.size(), 40),
                      VANTOR_OK);
        }
        ASSERT_EQ(writer.Finish(), VANTOR_OK);
        MediaInfo info{};
        SourceObject *source = nullptr;
        ASSERT_EQ(SourceOpenPath(path, &source, &info), VANTOR_OK);
        m_Playback.source.reset(source);
    }

    ReadOutcome Read(std::unique_ptr<SampleQueue> *queue)
    {
        return ReadIntoQueue(&m_Playback, queue, SAMPLE_KIND_VIDEO, 0, true);
    }
    static uint32_t Number(SampleQueue *queue)
    {
        QUEUED_SAMPLE sample{};
        if (!queue->Peek(&sample))
            return 0xFFFFFFFFu;
        uint32_t number = 0;
        std::memcpy(&number, sample.pData + 1, 4);
        return number;
    }

    CTempFolder m_Folder;
    Playback m_Playback;
};

TEST_F(PlaybackReadTest, ASampleLargerThanTheQueueTakesWaitsForItToEmptyThenGrowsIt)
{
    // Made for 5-byte samples: the ring holds 50 bytes, the second sample needs 400.
    std::unique_ptr<SampleQueue> queue = MakeQueue(5, true);
    ASSERT_TRUE(queue);
    ASSERT_EQ(Read(&queue), ReadOutcome::Read);
    EXPECT_EQ(Read(&queue), ReadOutcome::NoSpace); // the first must be decoded first
    EXPECT_EQ(queue->LargestSample(), 5u);
    EXPECT_EQ(Number(queue.get()), 0u);
    queue->Release();

    EXPECT_EQ(Read(&queue), ReadOutcome::NoSpace); // grown now
    EXPECT_EQ(queue->LargestSample(), 400u);
    ASSERT_EQ(Read(&queue), ReadOutcome::Read);
    EXPECT_EQ(Number(queue.get()), 1u);
    ASSERT_EQ(Read(&queue), ReadOutcome::Read);
    queue->Release();
    EXPECT_EQ(Number(queue.get()), 2u); // nothing skipped
    queue->Release();
    EXPECT_EQ(Read(&queue), ReadOutcome::Ended);
}

// A queue grown for the largest sample allowed (a bogus chunk size) holds at most 64 MiB, and
// takes memory from the system only as samples fill it.
TEST(PlaybackQueues, AQueueForHugeSamplesIsBoundedAndTakesMemoryOnlyAsItIsUsed)
{
    for (const bool video : {true, false}) {
        SCOPED_TRACE(video ? "video" : "audio");
        const int64_t before = ResidentBytes();
        std::unique_ptr<SampleQueue> queue = MakeQueue(32u << 20, video);
        ASSERT_TRUE(queue);
        EXPECT_LE(queue->RingBytes(), 64u << 20);
        EXPECT_EQ(queue->LargestSample(), 32u << 20);
        EXPECT_LT(ResidentBytes() - before, 4 << 20);
        uint8_t *space = nullptr;
        uint32_t capacity = 0;
        ASSERT_TRUE(queue->TakeWriteSpace(&space, &capacity));
        EXPECT_GE(capacity, 32u << 20);
    }
    // Ordinary samples keep the ring of ten (video) or three (audio).
    EXPECT_EQ(MakeQueue(1000, true)->RingBytes(), 10000u);
    EXPECT_EQ(MakeQueue(1000, false)->RingBytes(), 3000u);
}

TEST_F(PlaybackReadTest, AKindTheSourceLacksEndsAtOnce)
{
    std::unique_ptr<SampleQueue> queue = MakeQueue(5, false);
    EXPECT_EQ(ReadIntoQueue(&m_Playback, &queue, SAMPLE_KIND_AUDIO, 0, false), ReadOutcome::Ended);
}

} // namespace
