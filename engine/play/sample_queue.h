#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

// One compressed sample held in a SampleQueue.
struct QUEUED_SAMPLE
{
    uint8_t *pData;   // inside the queue's byte ring
    uint32_t nPadded; // bytes the sample occupies in the ring
    uint32_t nLength; // bytes of data
    uint32_t nGap;    // ring bytes skipped after it when the writer wrapped
    int32_t nTime;    // ms
    int32_t nDuration;
    int32_t nWord1, nWord2; // further words of the read
};

// A FIFO of compressed samples for one stream: one preallocated byte ring plus a ring of 20
// items, so nothing is allocated per sample. Each operation takes the queue's own lock. The
// reading and the decoding of a kind happen on one task thread; the status thread flushes only
// while that task is idle.
class SampleQueue
{
public:
    static constexpr uint32_t kItems = 20;
    static constexpr uint32_t kGuardBytes = 5120;

    // ringBytes: the ring's size; largestSample: the most a read may need in one piece;
    // alignment 0 (none) or 8, where samples start on 8 bytes and are followed by at least
    // zeroPad zero bytes. False when the figures are impossible or memory is short.
    bool Create(uint32_t ringBytes, uint32_t largestSample, uint32_t alignment,
                uint32_t zeroPad = 4);

    // Contiguous space for the next sample, at least the largest sample; false when all items
    // are used or the ring has no such space.
    bool TakeWriteSpace(uint8_t **data, uint32_t *capacity);
    // Records the sample just written into the space taken last; false when no space was
    // taken or the length exceeds it.
    bool Commit(uint32_t length, int32_t time, int32_t duration, int32_t word1 = 0,
                int32_t word2 = 0);
    // The oldest sample, or false when the queue is empty. The copy stays valid until it is
    // released or put back.
    bool Peek(QUEUED_SAMPLE *sample);
    // Drops the oldest sample; a non-zero unconsumedTail keeps its last bytes in front.
    void Release(uint32_t unconsumedTail = 0);
    // Replaces the oldest sample's data by a part of it (what a decoder left over).
    void PutBack(const uint8_t *data, uint32_t length);
    uint32_t Count();
    void Flush();

    uint32_t LargestSample() const { return m_nLargest; }
    uint32_t RingBytes() const { return m_nRingBytes; }

private:
    uint32_t Align(uint32_t value) const;

    std::mutex m_Lock;
    std::unique_ptr<uint8_t[]> m_pRing; // guarded by m_Lock (contents by item ownership)
    uint32_t m_nRingBytes = 0;
    uint32_t m_nLargest = 0;
    uint32_t m_nAlignment = 0;
    uint32_t m_nZeroPad = 0;
    QUEUED_SAMPLE m_Items[kItems] = {}; // guarded by m_Lock
    uint32_t m_nFirst = 0;              // guarded by m_Lock
    uint32_t m_nCount = 0;              // guarded by m_Lock
    uint32_t m_nWrite = 0;              // ring offset of the next sample; guarded by m_Lock
    uint32_t m_nPendingWrite = 0;       // offset handed out by TakeWriteSpace; guarded by m_Lock
    uint32_t m_nPendingCapacity = 0;    // bytes handed out with it, 0 when none; guarded by m_Lock
};
