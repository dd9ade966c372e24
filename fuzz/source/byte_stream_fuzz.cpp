// Drives the local-file back-end's cursors (with and without read-ahead) and its sequential read
// over a memory block with a sequence of operations taken from the input, and checks every
// answer against a plain model of positions over the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/core/vantor_errors.h"
#include "engine/source/byte_stream.h"
#include "fuzz/reader_drive.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

constexpr uint32_t kReadAhead[] = {0, 7, 64};
constexpr size_t kOpSize = 4;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t opCount = std::min<size_t>(data[0], (size - 1) / kOpSize);
    const uint8_t *ops = data + 1;
    const uint8_t *file = ops + opCount * kOpSize;
    const size_t fileSize = size - 1 - opCount * kOpSize;

    std::vector<uint8_t> block = MemoryBlock(nullptr, 0, file, fileSize);
    ByteStream *s = nullptr;
    Check(ByteStreamOpen(reinterpret_cast<const wchar_t *>(block.data()), block.size(), &s) ==
          VANTOR_OK);
    void *b = s->pInstance;
    const int64_t total = static_cast<int64_t>(fileSize);
    Check(ByteStreamTotalSize(s) == total);

    int32_t cursors[3];
    int64_t position[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        cursors[i] = s->pOps->NewCursor(b, kReadAhead[i]);
        Check(cursors[i] >= 0);
    }
    int64_t sequential = 0;
    std::vector<uint8_t> got(512);

    for (size_t i = 0; i < opCount; ++i) {
        const uint8_t *op = ops + i * kOpSize;
        const int which = op[1] % 3;
        const int32_t c = cursors[which];
        int64_t &pos = position[which];
        const uint16_t arg = static_cast<uint16_t>(op[2] << 8 | op[3]);
        switch (op[0] % 7) {
        case 0: { // read
            const uint32_t count = arg % 300;
            const int32_t n = s->pOps->CursorRead(b, c, got.data(), count);
            const int64_t expect = std::min<int64_t>(count, total - pos);
            if (count == 0)
                Check(n == 0);
            else if (expect == 0)
                Check(n == VANTOR_E_READ);
            else
                Check(n == expect && std::memcmp(got.data(), file + pos, n) == 0);
            pos += n > 0 ? n : 0;
            break;
        }
        case 1: { // skip either way
            const int64_t offset = static_cast<int16_t>(arg);
            const int64_t target = pos + offset;
            const int32_t r = s->pOps->Skip(b, c, offset);
            if (target < 0 || target > total) {
                Check(r == VANTOR_E_SEEK);
            } else {
                Check(r == VANTOR_OK);
                pos = target;
            }
            break;
        }
        case 2: { // seek
            const int64_t target = arg % (total + 2);
            const int32_t r = s->pOps->Seek(b, c, target);
            if (target > total) {
                Check(r == VANTOR_E_SEEK);
            } else {
                Check(r == VANTOR_OK);
                pos = target;
            }
            break;
        }
        case 3: { // seek from the end
            const int64_t back = arg % (total + 2);
            const int32_t r = s->pOps->SeekFromEnd(b, c, -back);
            if (back > total) {
                Check(r == VANTOR_E_SEEK);
            } else {
                Check(r == VANTOR_OK);
                pos = total - back;
            }
            break;
        }
        case 4: { // big-endian integer
            s->nLastError = 0;
            const uint32_t value = ByteStreamReadBE32(s, c);
            if (total - pos >= 4) {
                const uint8_t *p = file + pos;
                Check(s->nLastError == 0 && value == (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 |
                                                      uint32_t{p[2]} << 8 | p[3]));
                pos += 4;
            } else {
                Check(s->nLastError == VANTOR_E_READ && value == 0);
                pos = total; // a short read still takes what was there
            }
            break;
        }
        case 5: { // sequential read
            const uint32_t count = arg % 300;
            const int32_t n = s->pOps->SequentialRead(b, got.data(), count);
            const int64_t expect = std::min<int64_t>(count, total - sequential);
            if (count == 0)
                Check(n == 0);
            else if (expect == 0)
                Check(n == VANTOR_E_READ);
            else
                Check(n == expect && std::memcmp(got.data(), file + sequential, n) == 0);
            sequential += n > 0 ? n : 0;
            break;
        }
        default: // rewind the sequential position
            s->pOps->SequentialRewind(b);
            sequential = 0;
            break;
        }
        Check(s->pOps->Tell(b, c) == pos);
        Check(s->pOps->SequentialPosition(b) == sequential);
    }
    ByteStreamClose(s);
    return 0;
}
