#include "engine/play/sample_queue.h"

#include <cstring>
#include <new>

uint32_t SampleQueue::Align(uint32_t value) const
{
    return m_nAlignment == 0 ? value : (value + m_nAlignment - 1) / m_nAlignment * m_nAlignment;
}

bool SampleQueue::Create(uint32_t ringBytes, uint32_t largestSample, uint32_t alignment,
                         uint32_t zeroPad)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (largestSample == 0 || ringBytes < largestSample || (alignment != 0 && alignment != 8) ||
        ringBytes > (1u << 30) || zeroPad > kGuardBytes)
        return false;
    // Not zero-filled: the ring's pages are taken from the system as samples reach them, so a
    // ring sized for rare large samples costs only what is used. Every sample is written before
    // it is read; the guard after the ring is zeroed for decoders that read a little beyond.
    m_pRing.reset(new (std::nothrow) uint8_t[static_cast<size_t>(ringBytes) + kGuardBytes]);
    if (!m_pRing)
        return false;
    std::memset(m_pRing.get() + ringBytes, 0, kGuardBytes);
    m_nRingBytes = ringBytes;
    m_nLargest = largestSample;
    m_nAlignment = alignment;
    m_nZeroPad = alignment == 0 ? 0 : zeroPad;
    m_nFirst = m_nCount = m_nWrite = m_nPendingWrite = m_nPendingCapacity = 0;
    return true;
}

bool SampleQueue::TakeWriteSpace(uint8_t **data, uint32_t *capacity)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (!m_pRing || m_nCount == kItems)
        return false;
    uint32_t start = m_nWrite;
    uint32_t room;
    if (m_nCount == 0) {
        start = 0;
        room = m_nRingBytes;
    } else {
        const uint32_t read = static_cast<uint32_t>(m_Items[m_nFirst].pData - m_pRing.get());
        if (start > read) {
            room = m_nRingBytes - start;
            if (room < m_nLargest) {
                // Not enough at the end: the tail becomes the newest sample's gap.
                start = 0;
                room = read;
            }
        } else {
            room = read - start;
        }
    }
    // The zero bytes and the alignment after a sample must not reach the oldest one.
    const uint32_t reserve = m_nZeroPad + (m_nAlignment == 0 ? 0 : m_nAlignment - 1);
    if (room < reserve || room - reserve < m_nLargest)
        return false;
    m_nPendingWrite = start;
    m_nPendingCapacity = room - reserve;
    *data = m_pRing.get() + start;
    *capacity = room - reserve;
    return true;
}

bool SampleQueue::Commit(uint32_t length, int32_t time, int32_t duration, int32_t word1,
                         int32_t word2)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (!m_pRing || m_nCount == kItems || length > m_nPendingCapacity)
        return false;
    m_nPendingCapacity = 0;
    const uint32_t start = m_nPendingWrite;
    if (m_nCount > 0 && start < m_nWrite) {
        QUEUED_SAMPLE &newest = m_Items[(m_nFirst + m_nCount - 1) % kItems];
        newest.nGap = m_nRingBytes - m_nWrite;
    }
    const uint32_t padded = Align(length + m_nZeroPad);
    if (padded > length)
        std::memset(m_pRing.get() + start + length, 0, padded - length);
    QUEUED_SAMPLE &item = m_Items[(m_nFirst + m_nCount) % kItems];
    item = QUEUED_SAMPLE{m_pRing.get() + start, padded, length, 0, time, duration, word1, word2};
    ++m_nCount;
    m_nWrite = start + padded > m_nRingBytes ? m_nRingBytes : start + padded;
    return true;
}

bool SampleQueue::Peek(QUEUED_SAMPLE *sample)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_nCount == 0)
        return false;
    *sample = m_Items[m_nFirst];
    return true;
}

void SampleQueue::Release(uint32_t unconsumedTail)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_nCount == 0)
        return;
    QUEUED_SAMPLE &item = m_Items[m_nFirst];
    if (unconsumedTail > 0 && unconsumedTail < item.nLength) {
        item.pData += item.nLength - unconsumedTail;
        item.nPadded -= item.nLength - unconsumedTail;
        item.nLength = unconsumedTail;
        return;
    }
    m_nFirst = (m_nFirst + 1) % kItems;
    if (--m_nCount == 0)
        m_nWrite = 0;
}

void SampleQueue::PutBack(const uint8_t *data, uint32_t length)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_nCount == 0)
        return;
    QUEUED_SAMPLE &item = m_Items[m_nFirst];
    const uint8_t *begin = item.pData;
    const uint8_t *end = item.pData + item.nLength;
    // Only a part of the sample itself can be put back; anything else is a caller's fault.
    if (data < begin || data > end || length > static_cast<uint32_t>(end - data))
        return;
    item.nPadded -= static_cast<uint32_t>(data - begin);
    item.pData = const_cast<uint8_t *>(data);
    item.nLength = length;
}

uint32_t SampleQueue::Count()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_nCount;
}

void SampleQueue::Flush()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_nFirst = m_nCount = m_nWrite = m_nPendingWrite = m_nPendingCapacity = 0;
}
