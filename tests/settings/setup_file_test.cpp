#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include <gtest/gtest.h>
#include <sys/file.h>
#include <zlib.h>

#include "settings/setup_file.h"
#include "tests/settings/setup_fixture.h"
#include "tests/support/temp_folder.h"

TEST(SetupCrc32, MatchesZlibOnRandomRecords)
{
    std::mt19937 rng(7);
    for (size_t size : {size_t{0}, size_t{1}, size_t{111}, kSetupRecordSize, size_t{4096}}) {
        std::vector<uint8_t> bytes(size);
        for (auto &b : bytes)
            b = static_cast<uint8_t>(rng());
        EXPECT_EQ(SetupCrc32(bytes.data(), bytes.size()),
                  crc32(0L, bytes.data(), static_cast<uInt>(bytes.size())))
            << "size " << size;
    }
}

TEST(IsRecorderCard, TheFirstMissingPieceDecides)
{
    struct Case
    {
        const char *what;
        bool folder;
        bool file;
        CardCheck result;
    };
    const Case cases[] = {
        {"empty card", false, false, CardCheck::NoSettingFolder},
        {"folder only", true, false, CardCheck::NoSetupFile},
        {"both", true, true, CardCheck::RecorderCard},
    };
    for (const Case &c : cases) {
        CTempFolder card;
        if (c.folder)
            MakeFolders(SettingFolderPath(card.Path()));
        if (c.file)
            WriteSized(SetupFilePath(card.Path()), 116);
        EXPECT_EQ(IsRecorderCard(card.Path()), c.result) << c.what;
    }
}

// Every byte of the record, interpreted or not, must come back from the card as it was.
TEST(LoadSetupFile, AcceptsAnyStoredCrcAndWhatFollowsTheRecord)
{
    struct Case
    {
        const char *what;
        std::vector<uint8_t> file;
    };
    const std::vector<uint8_t> record = PatternRecord(3);
    std::vector<uint8_t> wrongCrc = SetupFileBytes(record);
    wrongCrc[112] ^= 0xFF;
    std::vector<uint8_t> longer = SetupFileBytes(record);
    longer.resize(300, 0xEE);
    const Case cases[] = {
        {"right CRC", SetupFileBytes(record)},
        {"wrong CRC", wrongCrc},
        {"record only", record},
        {"longer file", longer},
    };
    for (const Case &c : cases) {
        CTempFolder card;
        MakeFolders(SettingFolderPath(card.Path()));
        WriteBytes(SetupFilePath(card.Path()), c.file);
        std::memset(&g_SetupFileImage, 0x77, sizeof g_SetupFileImage);
        EXPECT_TRUE(LoadSetupFile(SetupFilePath(card.Path()))) << c.what;
        EXPECT_EQ(ImageBytes(), record) << c.what;
    }
}

// A failed or short load must never leave another card's bytes in the image, where a later save
// would write them to this card.
TEST(LoadSetupFile, LeavesNoBytesOfAnEarlierLoad)
{
    const std::vector<uint8_t> full = PatternRecord(5);
    struct Case
    {
        const char *what;
        std::function<void(const std::string &)> prepare;
        bool lockedByWriter;
        bool ok;
        size_t kept; // bytes of `full` expected at the start of the image; the rest is 0
        bool whole;  // the record was read whole, so it may be written back
    };
    auto firstBytes = [&](size_t n) {
        return [&full, n](const std::string &p) {
            WriteBytes(p, {full.begin(), full.begin() + static_cast<long>(n)});
        };
    };
    const Case cases[] = {
        {"short file", firstBytes(50), false, true, 50, false},
        {"one byte short", firstBytes(kSetupRecordSize - 1), false, true, kSetupRecordSize - 1,
         false},
        {"the record without its CRC", firstBytes(kSetupRecordSize), false, true, kSetupRecordSize,
         true},
        {"empty file", [](const std::string &p) { WriteBytes(p, {}); }, false, true, 0, false},
        {"missing file", [](const std::string &) {}, false, false, 0, false},
        {"a folder in its place", [](const std::string &p) { MakeFolders(p); }, false, false, 0,
         false},
        {"held by a writer", [&](const std::string &p) { WriteBytes(p, SetupFileBytes(full)); },
         true, false, 0, false},
    };
    for (const Case &c : cases) {
        CTempFolder card;
        MakeFolders(SettingFolderPath(card.Path()));
        const std::string path = SetupFilePath(card.Path());
        const std::string other = card / "other.cfg";
        WriteBytes(other, SetupFileBytes(PatternRecord(9)));
        ASSERT_TRUE(LoadSetupFile(other)) << "a full record from another card first";

        c.prepare(path);
        bool loaded;
        bool whole = !c.whole;
        if (c.lockedByWriter) {
            CForeignLock writer(path, LOCK_EX);
            ASSERT_TRUE(writer.Held());
            loaded = LoadSetupFile(path, &whole);
        } else {
            loaded = LoadSetupFile(path, &whole);
        }
        EXPECT_EQ(loaded, c.ok) << c.what;
        EXPECT_EQ(whole, c.whole) << c.what;
        std::vector<uint8_t> expected(kSetupRecordSize, 0);
        std::copy(full.begin(), full.begin() + static_cast<long>(c.kept), expected.begin());
        EXPECT_EQ(ImageBytes(), expected) << c.what;
    }
}

TEST(ParseFwVersion, ThreeNumbersWithinTheFieldOnly)
{
    struct Case
    {
        const char *text; // copied into a 9-byte field followed by digits, to catch over-reads
        size_t length;
        int32_t major, minor, build;
    };
    const Case cases[] = {
        {"1.0.3", 5, 1, 0, 3},
        {"1.2", 3, 1, 2, 0},
        {"", 0, 0, 0, 0},
        {"10.04.100", 9, 10, 4, 100},
        {"123456789", 9, 123456789, 0, 0},
        {"1.2.34567", 9, 1, 2, 34567},
        {"7", 1, 7, 0, 0},
        {"1..3", 4, 1, 0, 3},
        {"v1.x2.3", 7, 0, 0, 3},
        {"1.2.3.4", 7, 1, 2, 3},
    };
    for (const Case &c : cases) {
        char field[16];
        std::memset(field, '9', sizeof field);
        std::memcpy(field, c.text, c.length);
        if (c.length < 9)
            field[c.length] = '\0';
        g_nFwVersionMajor = g_nFwVersionMinor = g_nFwVersionBuild = -5;
        ParseFwVersion(field, 9);
        EXPECT_EQ(g_nFwVersionMajor, c.major) << c.text;
        EXPECT_EQ(g_nFwVersionMinor, c.minor) << c.text;
        EXPECT_EQ(g_nFwVersionBuild, c.build) << c.text;
    }
}
