#include <algorithm>

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/recordings/card_fixture.h"

namespace {

// The names of a folder in the order the file system lists them.
std::vector<std::string> ListingOrder(const std::string &folder)
{
    std::vector<std::string> names;
    DIR *dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return names;
    while (const dirent *d = ::readdir(dir)) {
        const std::string name = d->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

} // namespace

TEST(ClipRule, NameSizeAndKindDecide)
{
    struct Case
    {
        const char *name;
        size_t size;
        bool listed;
    };
    const Case cases[] = {
        {"CLIP.AVI", 1025, true},   {"clip.avi", 5000, true},      {"Clip.Avi", 5000, true},
        {"x.aVI", 5000, true},      {"clip.avi.bak", 5000, false}, {"clip.av", 5000, false},
        {"avi", 5000, false},       {".avi", 5000, false},         {"clipavi", 5000, false},
        {"clip.avi ", 5000, false}, {"clip1024.avi", 1024, false}, {"clip1025.avi", 1025, true},
        {"empty.avi", 0, false},    {".hidden.avi", 5000, false},
    };
    CCardFixture card;
    for (const Case &c : cases)
        card.File(std::string("EVENT/") + c.name, c.size);
    card.Folder("EVENT/folder.avi");
    ASSERT_EQ(::mkfifo((card.Root() + "EVENT/pipe.avi").c_str(), 0644), 0);
    card.OpenCard();

    std::vector<std::string> listed = card.Names(LIST_EVENT);
    std::sort(listed.begin(), listed.end());
    std::vector<std::string> expected;
    for (const Case &c : cases) {
        if (c.listed)
            expected.push_back(c.name);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
}

TEST(ClipRule, ClipsSitOneLevelBelowRecordAndDirectlyInTheOthers)
{
    CCardFixture card;
    card.File("RECORD/direct.avi");
    card.File("RECORD/day1/a.avi");
    card.File("RECORD/day1/deeper/too-deep.avi");
    card.File("RECORD/.hidden-day/hidden.avi");
    card.File("RECORD/not-a-folder", 5000);
    card.File("EVENT/e.avi");
    card.File("EVENT/sub/in-sub.avi");
    card.File("MANUAL/m.avi");
    card.File("MANUAL/sub/in-sub.avi");
    card.File("setting/setup.cfg", 116);
    // MOTION is missing altogether.
    card.OpenCard();

    EXPECT_EQ(card.Names(LIST_RECORD), std::vector<std::string>{"a.avi"});
    EXPECT_EQ(card.Names(LIST_EVENT), std::vector<std::string>{"e.avi"});
    EXPECT_EQ(card.Names(LIST_MANUAL), std::vector<std::string>{"m.avi"});
    EXPECT_TRUE(card.Names(LIST_MOTION).empty());

    struct Path
    {
        int32_t category;
        const char *relative;
    };
    for (const Path &p : {Path{LIST_RECORD, "RECORD/day1/a.avi"}, Path{LIST_EVENT, "EVENT/e.avi"},
                          Path{LIST_MANUAL, "MANUAL/m.avi"}}) {
        const TROVA_ITEM *item = card.m_Catalog.GetCatalogEntry(p.category, 0);
        ASSERT_NE(item, nullptr) << p.relative;
        EXPECT_EQ(item->strFullPath, card.Root() + p.relative);
        EXPECT_EQ(item->nIndex, 0);
        EXPECT_EQ(item->dwFileSize, 2000u);
    }
}

TEST(ClipRule, RecordOnlyInItsFolderShowsAnEmptyCategory)
{
    CCardFixture card;
    card.File("RECORD/a.avi");
    card.File("RECORD/b.avi");
    card.OpenCard();
    EXPECT_TRUE(card.Names(LIST_RECORD).empty());
    EXPECT_TRUE(card.m_List.rows.empty());
}

TEST(ClipRule, AFileAnotherProgramHoldsIsLeftOut)
{
    CCardFixture card;
    card.File("EVENT/free.avi");
    card.File("EVENT/held.avi");
    CForeignLock writer(card.Root() + "EVENT/held.avi", LOCK_EX);
    ASSERT_TRUE(writer.Held());
    card.OpenCard();
    EXPECT_EQ(card.Names(LIST_EVENT), std::vector<std::string>{"free.avi"});
}

TEST(ClipRule, SizePastFourGigabytesSaturatesInsteadOfWrapping)
{
    CCardFixture card;
    card.Folder("EVENT");
    // Sparse: 4 GiB + 100 bytes, whose low 32 bits alone would say 100 bytes.
    const std::string path = card.Root() + "EVENT/big.avi";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    const bool sized = ::ftruncate(fd, (int64_t{1} << 32) + 100) == 0;
    ::close(fd);
    if (!sized)
        GTEST_SKIP() << "this file system cannot hold a 4 GiB file";
    card.OpenCard();
    const TROVA_ITEM *item = card.m_Catalog.GetCatalogEntry(LIST_EVENT, 0);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->dwFileSize, 0xFFFFFFFFu);
}

TEST(CatalogOrder, ClipsAndDayFoldersAreInNameOrderWhateverTheListingOrder)
{
    CCardFixture card;
    // Created out of time order, so no file system's listing (creation order, its reverse,
    // hash order) gives name order by chance. Letters differ in case between clips.
    const std::vector<std::string> created = {
        "R_20101011_134700.avi", "r_20101011_134500.AVI", "R_20101011_135900.avi",
        "R_20101011_134400.avi", "r_20101011_135000.avi", "R_20101011_134600.AVI",
        "R_20101011_134800.avi"};
    for (const std::string &name : created) {
        card.File("EVENT/" + name);
        card.File("RECORD/20101012/" + name);
        card.File("RECORD/20101011/" + name);
    }
    card.File("RECORD/20101013/only.avi");
    card.File("RECORD/20101010/first.avi");
    card.OpenCard();

    const std::vector<std::string> inTime = {
        "R_20101011_134400.avi", "r_20101011_134500.AVI", "R_20101011_134600.AVI",
        "R_20101011_134700.avi", "R_20101011_134800.avi", "r_20101011_135000.avi",
        "R_20101011_135900.avi"};
    ASSERT_NE(ListingOrder(card.Root() + "EVENT"), inTime) << "the listing is in time already";
    EXPECT_EQ(card.Names(LIST_EVENT), inTime);
    std::vector<std::string> record = {"first.avi"};
    record.insert(record.end(), inTime.begin(), inTime.end()); // 20101011
    record.insert(record.end(), inTime.begin(), inTime.end()); // 20101012
    record.push_back("only.avi");
    EXPECT_EQ(card.Names(LIST_RECORD), record);
    EXPECT_EQ(card.m_Catalog.GetCatalogEntry(LIST_RECORD, 1)->strFullPath,
              card.Root() + "RECORD/20101011/R_20101011_134400.avi");
    for (int32_t category : {LIST_RECORD, LIST_EVENT}) {
        const TROVA_CATEGORY &state = card.m_Catalog.Category(category);
        ASSERT_EQ(state.nCount, static_cast<int32_t>(state.items.size()));
        for (size_t i = 0; i < state.items.size(); ++i)
            EXPECT_EQ(state.items[i].nIndex, static_cast<int32_t>(i));
    }
    // The list shows them in the same order.
    ASSERT_EQ(card.m_List.rows.size(), record.size());
    EXPECT_EQ(card.m_List.rows[1].text, "R_20101011_134400.avi");
}

TEST(CatalogOrder, NamesCompareWithoutCaseThenByTheirBytes)
{
    CCardFixture card;
    for (const char *name : {"b.avi", "A.avi", "a.avi", "B1.avi", "a0.avi", "_x.avi", "Z.avi"})
        card.File(std::string("MANUAL/") + name);
    card.OpenCard();
    // '_' (0x5F) sorts before the letters once they are lower-cased, '.' before the digits;
    // "A" before "a" by their bytes.
    EXPECT_EQ(card.Names(LIST_MANUAL), (std::vector<std::string>{"_x.avi", "A.avi", "a.avi",
                                                                 "a0.avi", "b.avi", "B1.avi",
                                                                 "Z.avi"}));
}

TEST(CatalogRows, TheShownCategoryIsHandedToTheListRowByRow)
{
    CCardFixture card;
    card.File("RECORD/day/one.avi", 1025);
    card.File("RECORD/day/two.avi", 1500 * 1024 + 1023);
    card.File("EVENT/e.avi");
    // 2010-05-17 13:45:09 UTC; the row carries it unconverted.
    const timespec times[2] = {{1274103909, 0}, {1274103909, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (card.Root() + "RECORD/day/one.avi").c_str(), times, 0), 0);
    card.OpenCard();

    ASSERT_EQ(card.m_List.rows.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const TROVA_ITEM *item =
            card.m_Catalog.GetCatalogEntry(LIST_RECORD, static_cast<int32_t>(i));
        ASSERT_NE(item, nullptr);
        const CFakeRecordingList::ROW &row = card.m_List.rows[i];
        EXPECT_EQ(row.nStyle, 3);
        EXPECT_EQ(row.nImage, 0);
        EXPECT_EQ(row.nHeight, 30);
        EXPECT_EQ(row.text, item->strFileName);
        EXPECT_EQ(row.path, item->strFullPath);
        EXPECT_EQ(row.sizeText, item->strFileName == "one.avi" ? "        1" : "    1,500");
        if (item->strFileName == "one.avi") {
            EXPECT_EQ(row.time.wYear, 2010);
            EXPECT_EQ(row.time.wMonth, 5);
            EXPECT_EQ(row.time.wDay, 17);
            EXPECT_EQ(row.time.wHour, 13);
        }
    }
}

TEST(FormatSizeKB, GroupsThousandsAndRightAlignsInNine)
{
    struct Case
    {
        uint64_t value;
        const char *text;
    };
    const Case cases[] = {
        {0, "        0"},           {1, "        1"},
        {999, "      999"},         {1000, "    1,000"},
        {1500, "    1,500"},        {999999, "  999,999"},
        {1000000, "1,000,000"},     {4194303, "4,194,303"},
        {123456789, "123,456,789"}, {UINT64_MAX, "18,446,744,073,709,551,615"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(FormatSizeKB(c.value), c.text) << c.value;
}
