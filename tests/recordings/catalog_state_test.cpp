#include <gtest/gtest.h>

#include "tests/recordings/card_fixture.h"

namespace {

// A card with three clips in RECORD, two in EVENT, one in MANUAL and none in MOTION.
class CatalogState : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char *path : {"RECORD/day/r0.avi", "RECORD/day/r1.avi", "RECORD/day/r2.avi",
                                 "EVENT/e0.avi", "EVENT/e1.avi", "MANUAL/m0.avi"})
            m_Card.File(path);
        m_Card.Folder("MOTION");
        m_Card.OpenCard();
        m_Card.m_List.calls.clear();
    }

    std::string Entry(int32_t category, int32_t index) const
    {
        const TROVA_ITEM *item = m_Card.m_Catalog.GetCatalogEntry(category, index);
        return item != nullptr ? item->strFileName : "";
    }
    // Names of the shown rows.
    std::vector<std::string> Shown() const { return m_Card.m_List.RowTexts(); }
    std::vector<std::string> Names(int32_t category) const { return m_Card.Names(category); }

    CCardFixture m_Card;
    CTrovaCatalog &m_Catalog = m_Card.m_Catalog;
    CFakeRecordingList &m_List = m_Card.m_List;
    PLAY_INFOR &m_Play = m_Card.m_Play;
};

} // namespace

TEST_F(CatalogState, OpeningACardShowsRecordWithNothingSelected)
{
    EXPECT_EQ(m_Play.nListType, LIST_RECORD);
    EXPECT_EQ(Shown(), Names(LIST_RECORD));
    EXPECT_EQ(m_List.selection, -1);
    for (int32_t c = 0; c < kListTypeCount; ++c)
        EXPECT_EQ(m_Catalog.Category(c).nSelect, -1);
}

TEST_F(CatalogState, SwitchingAwayAndBackRestoresSelectionAndScroll)
{
    m_List.UserSelects(2, 40);
    m_Catalog.SelectFromList(2);
    m_Catalog.ShowCategory(LIST_EVENT);
    EXPECT_EQ(m_Play.nListType, LIST_EVENT);
    EXPECT_EQ(m_Card.m_Owner.buttonUpdates, 1);
    EXPECT_EQ(Shown(), Names(LIST_EVENT));
    EXPECT_EQ(m_List.selection, -1) << "EVENT never had a selection";
    EXPECT_EQ(m_List.scrollPos, 0);

    m_List.UserSelects(1, 0);
    m_Catalog.SelectFromList(1);
    m_List.calls.clear();
    m_Catalog.ShowCategory(LIST_RECORD);
    EXPECT_EQ(Shown(), Names(LIST_RECORD));
    EXPECT_EQ(m_List.selection, 2);
    EXPECT_EQ(m_List.scrollPos, 40);
    const std::vector<std::string> tail(m_List.calls.end() - 4, m_List.calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"select 2", "show 2", "scroll 40", "repaint"}))
        << "the saved scroll position wins over bringing the row into view";

    m_Catalog.ShowCategory(LIST_EVENT);
    EXPECT_EQ(m_List.selection, 1);
    EXPECT_EQ(m_Catalog.Category(LIST_RECORD).nScrollPos, 40);
}

TEST_F(CatalogState, ThePositionTheUserLeftIsSavedEvenWithoutARowClick)
{
    // Arrow keys and scrolling change the list without a catalog call; leaving saves them.
    m_List.UserSelects(1, 25);
    m_Catalog.ShowCategory(LIST_MANUAL);
    EXPECT_EQ(m_Catalog.Category(LIST_RECORD).nSelect, 1);
    EXPECT_EQ(m_Catalog.Category(LIST_RECORD).nScrollPos, 25);
}

TEST_F(CatalogState, PressingTheShownCategoryOnlySavesItsState)
{
    m_List.UserSelects(1, 60);
    m_Catalog.ShowCategory(LIST_RECORD);
    EXPECT_TRUE(m_List.calls.empty());
    EXPECT_EQ(m_Card.m_Owner.buttonUpdates, 0);
    EXPECT_EQ(m_Catalog.Category(LIST_RECORD).nSelect, 1);
    EXPECT_EQ(m_Catalog.Category(LIST_RECORD).nScrollPos, 60);
    EXPECT_EQ(Shown(), Names(LIST_RECORD));
}

TEST_F(CatalogState, AnEmptyCategoryShowsNoRows)
{
    m_Catalog.ShowCategory(LIST_MOTION);
    EXPECT_TRUE(Shown().empty());
    EXPECT_EQ(m_List.selection, -1);
    EXPECT_EQ(m_Catalog.GetCatalogEntry(LIST_MOTION, 0), nullptr);
}

TEST_F(CatalogState, CardRootGoneStartsTheDriveChoiceInstead)
{
    for (const std::string &root : {m_Card.Root(), std::string()}) {
        if (!root.empty())
            std::filesystem::remove_all(root);
        m_Play.strRootPath = root;
        const int before = m_Card.m_Owner.driveChoices;
        m_List.UserSelects(2, 30);
        m_Catalog.ShowCategory(LIST_EVENT);
        EXPECT_EQ(m_Card.m_Owner.driveChoices, before + 1) << "root '" << root << "'";
        EXPECT_EQ(m_Play.nListType, LIST_RECORD);
        EXPECT_TRUE(m_List.calls.empty());
        EXPECT_EQ(m_Catalog.Category(LIST_RECORD).nSelect, -1) << "nothing is saved";
    }
}

TEST_F(CatalogState, ResetEmptiesEverything)
{
    m_List.UserSelects(1, 30);
    m_Catalog.SelectFromList(1);
    ASSERT_NE(m_Catalog.PlaySelected(), nullptr);
    m_Catalog.ShowCategory(LIST_EVENT);
    m_List.calls.clear();

    m_Catalog.TrovaListInitial();
    EXPECT_EQ(m_List.calls,
              (std::vector<std::string>{"delete-all", "scroll 0", "repaint", "select -1"}));
    EXPECT_TRUE(m_List.rows.empty());
    EXPECT_EQ(m_Play.nListType, LIST_NONE);
    EXPECT_EQ(m_Play.nPlayListType, LIST_NONE);
    for (int32_t c = 0; c < kListTypeCount; ++c) {
        const TROVA_CATEGORY &state = m_Catalog.Category(c);
        EXPECT_EQ(state.nSelect, -1);
        EXPECT_EQ(state.nScrollPos, 0);
        EXPECT_EQ(state.nCount, 0);
        EXPECT_TRUE(state.items.empty());
        EXPECT_EQ(m_Catalog.GetCatalogEntry(c, 0), nullptr);
    }
}

// After a reset (a format, say) the card is still there and no category is shown; a category
// button must then show that category, with no state to save for "none".
TEST_F(CatalogState, CategoryButtonAfterAResetWithTheCardStillThere)
{
    m_Catalog.TrovaListInitial();
    m_Catalog.RebuildCatalog(m_Card.Root());
    EXPECT_TRUE(Shown().empty());
    m_Catalog.ShowCategory(LIST_EVENT);
    EXPECT_EQ(m_Play.nListType, LIST_EVENT);
    EXPECT_EQ(Shown(), Names(LIST_EVENT));
}

TEST_F(CatalogState, RebuildWithoutResetNumbersEntriesFromZero)
{
    m_Catalog.RebuildCatalog(m_Card.Root());
    const TROVA_CATEGORY &record = m_Catalog.Category(LIST_RECORD);
    EXPECT_EQ(record.nCount, 3);
    EXPECT_EQ(record.items.back().nIndex, 2);
    EXPECT_EQ(Shown(), Names(LIST_RECORD)) << "the list is not filled twice";
}

TEST_F(CatalogState, SelectionFollowsRowClicksButNotClicksBelowTheRows)
{
    m_Catalog.SelectFromList(2);
    m_Catalog.SelectFromList(-1);
    EXPECT_EQ(m_Catalog.Category(LIST_RECORD).nSelect, 2);
    EXPECT_EQ(m_Catalog.Category(LIST_EVENT).nSelect, -1);
}

TEST_F(CatalogState, OutOfRangeRequestsAreRefused)
{
    for (const auto &[category, index] :
         {std::pair{-1, 0}, std::pair{4, 0}, std::pair{0, -1}, std::pair{0, 3}, std::pair{3, 0}})
        EXPECT_EQ(m_Catalog.GetCatalogEntry(category, index), nullptr) << category << "," << index;
    m_Catalog.ShowCategory(4);
    m_Catalog.ShowCategory(-1);
    EXPECT_EQ(m_Play.nListType, LIST_RECORD);
    EXPECT_EQ(Shown(), Names(LIST_RECORD));
}

TEST_F(CatalogState, PlayTakesTheShownSelection)
{
    EXPECT_EQ(m_Catalog.PlaySelected(), nullptr) << "no selection";
    EXPECT_EQ(m_Play.nPlayListType, LIST_NONE);

    m_Catalog.ShowCategory(LIST_EVENT);
    m_Catalog.SelectFromList(1);
    const TROVA_ITEM *item = m_Catalog.PlaySelected();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->strFileName, Entry(LIST_EVENT, 1));
    EXPECT_EQ(m_Play.nPlayListType, LIST_EVENT);

    m_Catalog.ShowCategory(LIST_MOTION);
    m_Catalog.SelectFromList(0); // a stale row index in an empty category
    EXPECT_EQ(m_Catalog.PlaySelected(), nullptr);
    EXPECT_EQ(m_Play.nPlayListType, LIST_EVENT);
}

TEST_F(CatalogState, NextAndPreviousStepInsideThePlayingCategory)
{
    // A double click: its first click selected the row in the list.
    m_List.UserSelects(1, 0);
    m_Catalog.ClipStartedFromList(1);
    EXPECT_EQ(m_Play.nPlayListType, LIST_RECORD);
    EXPECT_EQ(m_Catalog.Category(LIST_RECORD).nSelect, 1);

    struct Step
    {
        bool next;
        int32_t selectAfter;
        bool plays; // false: nothing happens
    };
    const Step steps[] = {
        {true, 2, true}, {true, 2, false}, {false, 1, true}, {false, 0, true}, {false, 0, false},
    };
    for (const Step &s : steps) {
        m_List.calls.clear();
        const TROVA_ITEM *item = s.next ? m_Catalog.NextClip() : m_Catalog.PreviousClip();
        EXPECT_EQ(m_Catalog.Category(LIST_RECORD).nSelect, s.selectAfter);
        if (s.plays) {
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(item->strFileName, Entry(LIST_RECORD, s.selectAfter));
            EXPECT_EQ(m_List.selection, s.selectAfter) << "the shown list follows";
        } else {
            EXPECT_EQ(item, nullptr);
            EXPECT_TRUE(m_List.calls.empty());
        }
    }
}

TEST_F(CatalogState, NextWhileAnotherCategoryIsShownLeavesTheListAlone)
{
    m_List.UserSelects(0, 0);
    m_Catalog.ClipStartedFromList(0);
    m_Catalog.ShowCategory(LIST_EVENT);
    m_List.UserSelects(1, 0);
    m_List.calls.clear();
    const TROVA_ITEM *item = m_Catalog.NextClip();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->strFullPath, m_Card.Root() + "RECORD/day/" + Entry(LIST_RECORD, 1));
    EXPECT_EQ(m_Catalog.Category(LIST_RECORD).nSelect, 1);
    EXPECT_TRUE(m_List.calls.empty());
    EXPECT_EQ(m_List.selection, 1);
}

TEST_F(CatalogState, NextNeedsTwoEntriesAndAPlayingCategory)
{
    EXPECT_EQ(m_Catalog.NextClip(), nullptr) << "nothing played yet";
    m_Catalog.ShowCategory(LIST_MANUAL);
    m_Catalog.ClipStartedFromList(0);
    EXPECT_EQ(m_Catalog.NextClip(), nullptr) << "one entry only";
    EXPECT_EQ(m_Catalog.PreviousClip(), nullptr);
    m_Catalog.TrovaListInitial();
    EXPECT_EQ(m_Catalog.NextClip(), nullptr);
}
