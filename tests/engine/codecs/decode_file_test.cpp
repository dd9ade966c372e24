// The decode loop shared by roadlog-probe and the benchmark: sync skipping and the final drain.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "encode_fixture.h"
#include "engine/codecs/decode_file.h"
#include "engine/core/vantor_errors.h"
#include "engine/source/clf_writer.h"
#include "tests/support/temp_folder.h"

namespace {

// Samples [from, end) of the stream in a CLF clip, at 40 ms a sample.
std::string WriteClip(const CTempFolder &folder, const EncodedStream &stream, const char *fourcc,
                      size_t from)
{
    const std::string path = folder / "clip.avi";
    ClfLayout layout;
    char code[5] = {};
    std::copy(fourcc, fourcc + 4, code);
    layout.video.push_back(
        {ClfFourcc(code), uint32_t(stream.width), uint32_t(stream.height), 25000, 0, stream.extra});
    ClfWriter writer;
    EXPECT_EQ(writer.Open(path, layout), 0);
    for (size_t i = from; i < stream.samples.size(); ++i)
        EXPECT_EQ(writer.WriteSample(kClfKindVideo, uint32_t(i * 40), stream.samples[i].data.data(),
                                     stream.samples[i].data.size(), 40),
                  0);
    EXPECT_EQ(writer.Finish(), 0);
    return path;
}

TEST(DecodeVideoFile, StartsAtTheFirstSyncPointAndDrainsHeldPictures)
{
    // GOP 5. With B-frames the decoder holds pictures back until the drain gives them; a clip
    // cut after its first sample starts with pictures that need earlier ones, which are skipped
    // up to the next key picture (without B-frames, so no picture of the earlier group remains).
    const struct
    {
        const char *encoder, *fourcc;
        int bFrames;
        bool cut;
    } cases[] = {
        {"mpeg4", "XVID", 2, false},
        {"libx264", "H264", 2, false},
        {"mpeg4", "XVID", 0, true},
        {"libx264", "H264", 0, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.encoder) + (c.cut ? " cut" : " whole"));
        const EncodedStream stream = EncodeVideo(c.encoder, 64, 48, 15, 5, c.bFrames, true);
        ASSERT_TRUE(stream.ok);
        size_t first = 0;
        if (c.cut) {
            for (size_t i = 1; i < stream.samples.size() && !first; ++i)
                if (stream.samples[i].key)
                    first = i;
            ASSERT_GT(first, 1u);
        }
        CTempFolder folder;
        const std::string clip = WriteClip(folder, stream, c.fourcc, c.cut ? 1 : 0);
        std::vector<int32_t> times;
        const int32_t result =
            DecodeVideoFile(clip, [&](const VideoDecoder &d, const VideoPicture &p, int32_t ms) {
                EXPECT_EQ(d.nWidth, 64);
                EXPECT_NE(p.pY, nullptr);
                times.push_back(ms);
            });
        EXPECT_EQ(result, VANTOR_OK);
        EXPECT_EQ(times.size(), stream.samples.size() - first);
        ASSERT_FALSE(times.empty());
        EXPECT_EQ(*std::min_element(times.begin(), times.end()), int32_t(first * 40));
    }
}

} // namespace
