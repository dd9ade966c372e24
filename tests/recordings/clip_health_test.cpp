#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "recordings/clip_health.h"
#include "tests/support/temp_folder.h"
#include "tools/mkcard/demo_clip.h"

namespace {

std::string WriteClip(const CTempFolder &folder, const std::string &name, ClipContainer container)
{
    DemoClipSpec spec;
    spec.path = folder / name;
    spec.container = container;
    spec.durationMs = 2000;
    spec.width = 160;
    spec.height = 96;
    spec.textSamples = {"G$GPRMC,143300.000,A,3730.1234,N,12701.5000,E,10.5,90.0,120510,,,A"};
    std::string error;
    EXPECT_TRUE(WriteDemoClip(spec, &error)) << error;
    return spec.path;
}

// A copy of a clip with its tail cut off, as a power loss leaves it.
std::string CutCopy(const std::string &clip, const std::string &target, size_t keep)
{
    std::vector<uint8_t> bytes = ReadBytes(clip);
    bytes.resize(std::min(keep, bytes.size()));
    WriteBytes(target, bytes);
    return target;
}

size_t FindText(const std::vector<uint8_t> &bytes, const char *text)
{
    const std::string all(bytes.begin(), bytes.end());
    return all.rfind(text);
}

TEST(ClipHealth, FinishedAndCutClips)
{
    CTempFolder folder;
    const std::string clf = WriteClip(folder, "clf.avi", ClipContainer::Clf);
    const std::string avi = WriteClip(folder, "riff.avi", ClipContainer::Avi);
    const std::vector<uint8_t> aviBytes = ReadBytes(avi);
    const size_t idx1 = FindText(aviBytes, "idx1");
    ASSERT_NE(idx1, std::string::npos);
    std::vector<uint8_t> zeroDuration = ReadBytes(clf);
    zeroDuration[4] = zeroDuration[5] = zeroDuration[6] = zeroDuration[7] = 0;
    WriteBytes(folder / "clf-open-header.avi", zeroDuration);
    WriteText(folder / "text.avi", std::string(4000, 'x'));

    struct Case
    {
        const char *name;
        std::string path;
        CLIP_HEALTH health;
    };
    const size_t clfSize = ReadBytes(clf).size();
    const Case cases[] = {
        {"finished CLF", clf, CLIP_HEALTH::Sound},
        {"finished AVI", avi, CLIP_HEALTH::Sound},
        {"CLF without its end record", CutCopy(clf, folder / "clf-cut.avi", clfSize - 16),
         CLIP_HEALTH::Damaged},
        {"CLF cut inside a record", CutCopy(clf, folder / "clf-mid.avi", clfSize / 2),
         CLIP_HEALTH::Damaged},
        {"CLF header never rewritten", folder / "clf-open-header.avi", CLIP_HEALTH::Damaged},
        {"AVI without idx1", CutCopy(avi, folder / "avi-noidx.avi", idx1), CLIP_HEALTH::Damaged},
        {"AVI with a cut idx1", CutCopy(avi, folder / "avi-cutidx.avi", idx1 + 12),
         CLIP_HEALTH::Damaged},
        {"AVI cut inside movi", CutCopy(avi, folder / "avi-mid.avi", aviBytes.size() / 2),
         CLIP_HEALTH::Damaged},
        {"three bytes", CutCopy(avi, folder / "tiny.avi", 3), CLIP_HEALTH::Damaged},
        {"not a container", folder / "text.avi", CLIP_HEALTH::Unknown},
        {"missing", folder / "none.avi", CLIP_HEALTH::Unknown},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CheckClipHealth(c.path), c.health);
    }
}

} // namespace
