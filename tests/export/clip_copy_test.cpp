#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "export/clip_copy.h"
#include "tests/support/temp_folder.h"

namespace {

std::vector<uint8_t> Pattern(size_t size, uint8_t seed)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = uint8_t(seed + i * 7 + (i >> 11));
    return bytes;
}

TEST(ClipCopy, CopiesEachClipAndChecksIt)
{
    CTempFolder card, computer;
    MakeFolders(card / "EVENT");
    const std::vector<std::string> clips = {card / "EVENT/a.avi", card / "EVENT/b.avi",
                                            card / "EVENT/empty.avi"};
    WriteBytes(clips[0], Pattern(3 << 20, 1)); // over several copy chunks
    WriteBytes(clips[1], Pattern(5000, 2));
    WriteBytes(clips[2], {});
    std::vector<uint64_t> seen;
    const COPY_RUN_RESULT run =
        CopyClipsVerified(clips, computer / "out", [&](uint64_t d, uint64_t t) {
            EXPECT_EQ(t, uint64_t((3 << 20) + 5000));
            seen.push_back(d);
            return true;
        });
    EXPECT_FALSE(run.bCancelled);
    // The target folder did not exist: nothing was copied, and each clip says why.
    EXPECT_EQ(run.nFailed, 3);
    for (const COPY_FILE_RESULT &file : run.files)
        EXPECT_FALSE(file.error.empty());

    MakeFolders(computer / "out");
    seen.clear();
    const COPY_RUN_RESULT done =
        CopyClipsVerified(clips, computer / "out", [&](uint64_t d, uint64_t) {
            seen.push_back(d);
            return true;
        });
    ASSERT_EQ(done.files.size(), 3u);
    EXPECT_EQ(done.nFailed, 0);
    for (size_t i = 0; i < clips.size(); ++i) {
        SCOPED_TRACE(clips[i]);
        const COPY_FILE_RESULT &file = done.files[i];
        EXPECT_TRUE(file.bOk) << file.error;
        EXPECT_EQ(ReadBytes(file.target), ReadBytes(clips[i]));
        EXPECT_EQ(file.sha256, FileSha256(clips[i]));
        EXPECT_EQ(file.sha256.size(), 64u);
        EXPECT_FALSE(std::filesystem::exists(file.target + ".part"));
    }
    EXPECT_EQ(FileSha256(clips[2]),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), uint64_t((3 << 20) + 5000));
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    // The card's files are as they were.
    EXPECT_EQ(ReadBytes(clips[0]), Pattern(3 << 20, 1));
}

TEST(ClipCopy, FailuresLeaveTheOldCopyAndNoPartFile)
{
    CTempFolder card, computer;
    const std::string clip = card / "a.avi";
    WriteBytes(clip, Pattern(2 << 20, 3));
    // An earlier copy of the same name stays until a new copy has checked out.
    WriteText(computer / "a.avi", "earlier copy");
    struct Case
    {
        const char *name;
        std::string source;
        bool cancel;
    };
    const Case cases[] = {
        {"cancelled mid-copy", clip, true},
        {"missing clip", card / "gone.avi", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const COPY_FILE_RESULT result = CopyFileVerified(
            c.source, computer.Path(), 0, 2 << 20, [&](uint64_t, uint64_t) { return !c.cancel; });
        EXPECT_FALSE(result.bOk);
        EXPECT_FALSE(result.error.empty());
        EXPECT_FALSE(std::filesystem::exists(computer / "a.avi.part"));
        EXPECT_FALSE(std::filesystem::exists(computer / "gone.avi"));
        const std::vector<uint8_t> kept = ReadBytes(computer / "a.avi");
        EXPECT_EQ(std::string(kept.begin(), kept.end()), "earlier copy");
    }
    const COPY_RUN_RESULT run =
        CopyClipsVerified({clip, clip}, computer.Path(), [](uint64_t, uint64_t) { return false; });
    EXPECT_TRUE(run.bCancelled);
    EXPECT_TRUE(run.files.empty());
}

} // namespace
