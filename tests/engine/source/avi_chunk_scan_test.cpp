// The chunk search over one span of bytes: what it accepts as a header, what it steps over,
// and where it tells the next span to start.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/source/avi_chunk_scan.h"

namespace {

// Text with "~" for a zero byte and "#" for a 0xFF byte; sizes as four raw characters.
std::vector<uint8_t> Bytes(const std::string &text, size_t zerosBefore = 0)
{
    std::vector<uint8_t> bytes(zerosBefore, 0);
    for (char c : text)
        bytes.push_back(c == '~' ? 0 : c == '#' ? 0xFF : static_cast<uint8_t>(c));
    return bytes;
}

struct ScanCase
{
    const char *name;
    std::vector<uint8_t> span;
    bool bAtEnd;
    AviScanHit::Kind kind;
    int64_t nPosition; // Chunk, MoviList
    int64_t nResume;   // None, MoviList
    uint32_t nSize;    // Chunk, MoviList
};

const int64_t kBase = 5000000000; // spans past 4 GiB keep their positions

TEST(AviChunkScan, FindsStepsOverAndResumes)
{
    const ScanCase cases[] = {
        {"a stream chunk at the start", Bytes("00dc\x0a~~~data"), false, AviScanHit::Chunk, 0, 0,
         10},
        {"after a long zero run", Bytes("01wb\x04~~~abcd", 100003), false, AviScanHit::Chunk,
         100003, 0, 4},
        {"RIFF and LIST are stepped over with their type",
         Bytes("RIFF####AVI LIST####hdrl00db\x01~~~x"), false, AviScanHit::Chunk, 24, 0, 1},
        {"a movi list is reported", Bytes("##LIST\x10~~~movi00dc"), false, AviScanHit::MoviList, 2,
         14, 16},
        {"an unknown id slides by one byte", Bytes("abcd00dc\x02~~~xy"), false, AviScanHit::Chunk,
         4, 0, 2},
        {"digits in the type are no stream chunk", Bytes("0012~~~~"), true, AviScanHit::None, 0, 8,
         0},
        {"idx1, JUNK and standard indexes are headers", Bytes("##JUNK\x08~~~"), false,
         AviScanHit::Chunk, 2, 0, 8},
        {"standard index", Bytes("~ix01\x20~~~"), false, AviScanHit::Chunk, 1, 0, 32},
        {"a header cut by the span is looked at again", Bytes("~~~~~~~~~~00dc\x01~"), false,
         AviScanHit::None, 0, 10, 0},
        {"unless the span is the end", Bytes("~~~~~~~~~~00dc\x01~"), true, AviScanHit::None, 0, 16,
         0},
        {"an id cut by the span is looked at again", Bytes("##########00d"), false,
         AviScanHit::None, 0, 10, 0},
        {"nothing but zeros", Bytes("", 4096), false, AviScanHit::None, 0, 4096, 0},
    };
    for (const ScanCase &c : cases) {
        SCOPED_TRACE(c.name);
        const AviScanHit hit = AviFindChunkHeader(c.span.data(), c.span.size(), kBase, c.bAtEnd);
        ASSERT_EQ(hit.kind, c.kind);
        if (c.kind != AviScanHit::None) {
            EXPECT_EQ(hit.nPosition, kBase + c.nPosition);
            EXPECT_EQ(hit.nSize, c.nSize);
        }
        if (c.kind != AviScanHit::Chunk) {
            EXPECT_EQ(hit.nResume, kBase + c.nResume);
        }
        // Every span makes progress or is the end: the search cannot stand still.
        if (c.kind == AviScanHit::None) {
            EXPECT_GT(hit.nResume, kBase);
        }
    }
}

} // namespace
