#include "engine/source/avi_index.h"

#include <new>

#include "engine/core/vantor_errors.h"

namespace {
constexpr uint32_t kNodeBlock = 4096;
} // namespace

int32_t AviAppendNode(AviIndexList *list, uint32_t flags, int64_t position, uint32_t size)
{
    if (position < 0)
        return VANTOR_OK;
    if (list->pTail && position <= list->pTail->nPosition)
        return VANTOR_OK;
    if (list->blocks.empty() || list->nBlockUsed == kNodeBlock) {
        std::unique_ptr<AviIndexNode[]> block(new (std::nothrow) AviIndexNode[kNodeBlock]);
        if (!block)
            return VANTOR_E_OUT_OF_MEMORY;
        try {
            list->blocks.push_back(std::move(block));
        } catch (const std::bad_alloc &) {
            return VANTOR_E_OUT_OF_MEMORY;
        }
        list->nBlockUsed = 0;
    }
    AviIndexNode *node = &list->blocks.back()[list->nBlockUsed++];
    node->nFlags = flags;
    node->nPosition = position;
    node->nSize = size;
    node->pNext.store(nullptr, std::memory_order_relaxed);
    if (list->pTail)
        list->pTail->pNext.store(node, std::memory_order_release);
    else
        list->pHead.store(node, std::memory_order_release);
    list->pTail = node;
    list->nTotalBytes.store(list->nTotalBytes.load(std::memory_order_relaxed) + size,
                            std::memory_order_relaxed);
    list->nCount.store(list->nCount.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    return VANTOR_OK;
}
