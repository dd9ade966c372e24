#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

// The published index of one AVI stream: its chunks in file order, appended by one thread at a
// time (get info, then the index thread) while the reads on other threads walk only what is
// already linked.

// Flag of an index entry that starts a key frame.
constexpr uint32_t kAviKeyFrame = 0x10;

// One chunk of a stream.
struct AviIndexNode
{
    uint32_t nFlags; // kAviKeyFrame
    uint32_t nSize;
    int64_t nPosition; // of the chunk header; OpenDML files reach past 4 GiB
    // Written once by the appender with release order, after the node is complete; readers
    // follow it with acquire order. Null at the tail.
    std::atomic<AviIndexNode *> pNext;
};

struct AviIndexList
{
    std::atomic<AviIndexNode *> pHead{nullptr};          // release-stored once, by the appender
    AviIndexNode *pTail = nullptr;                       // appender's own
    std::atomic<uint32_t> nCount{0};                     // stored after the node is linked
    std::atomic<uint64_t> nTotalBytes{0};                // sum of the sizes; single word
    std::vector<std::unique_ptr<AviIndexNode[]>> blocks; // appender's own storage
    uint32_t nBlockUsed = 0;
};

// Appends at the tail; a position not after the tail's is dropped, which keeps the list in
// file order whatever an index claims. The node is complete before it is linked. 0, or
// 0x80000001 when no memory is left.
int32_t AviAppendNode(AviIndexList *list, uint32_t flags, int64_t position, uint32_t size);
