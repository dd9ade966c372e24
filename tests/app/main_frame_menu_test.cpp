// The recording list's context menu from the main window: a right click on a row offers the
// clip's menu with what the window knows of the clip; the left button keeps its meaning.
#include <filesystem>

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <gtest/gtest.h>

#include "app/tavlo_frame.h"
#include "recordings/play_infor.h"
#include "tests/support/demo_card.h"
#include "tests/support/temp_folder.h"

namespace {

class CMenuFrame : public CTavloFrame
{
public:
    using CTavloFrame::CTavloFrame;
    CLIP_MENU_CHOICE answer = CLIP_MENU_CHOICE::None;
    std::vector<QString> offered; // the entries of each menu shown
    std::vector<CLIP_MENU_TARGET> runs;

protected:
    bool ChooseDrive() override { return false; }
    CLIP_MENU_CHOICE ChooseFromClipMenu(QMenu &menu) override
    {
        QString entries;
        for (const QAction *action : menu.actions())
            entries += action->text() + "|";
        offered.push_back(entries);
        return answer;
    }
    void RunClipChoice(CLIP_MENU_CHOICE, const CLIP_MENU_TARGET &target) override
    {
        runs.push_back(target);
    }
};

void Press(QWidget *list, int32_t row, Qt::MouseButton button)
{
    list->grab(); // rows know where they are once painted
    const QPoint pt(100, row * 30 + 15);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent e(type, pt, list->mapToGlobal(pt), button,
                      type == QEvent::MouseButtonPress ? button : Qt::NoButton, {});
        QApplication::sendEvent(list, &e);
    }
}

TEST(MainFrameClipMenu, RightClickOffersTheClipsMenu)
{
    CTempFolder folder;
    ASSERT_TRUE(WriteDemoCard(folder.Path()));
    CMenuFrame frame;
    frame.show();
    frame.OpenCardFolder(folder.Path());
    ASSERT_EQ(g_PlayInfor.nListType, LIST_RECORD);
    const auto &record = frame.Catalog().Category(LIST_RECORD);
    ASSERT_GE(record.nCount, 3);

    Press(frame.RecordingList(), 1, Qt::LeftButton);
    EXPECT_EQ(record.nSelect, 1);
    EXPECT_TRUE(frame.offered.empty()) << "a left click shows no menu";

    // Dismissed: nothing runs, and the catalog keeps the row the left click chose.
    Press(frame.RecordingList(), 2, Qt::RightButton);
    ASSERT_EQ(frame.offered.size(), 1u);
    EXPECT_EQ(frame.offered[0],
              QString::fromUtf8("Export clip…|Export track…|Copy to computer…|Show in folder|"));
    EXPECT_TRUE(frame.runs.empty());
    EXPECT_EQ(record.nSelect, 1);

    frame.answer = CLIP_MENU_CHOICE::ExportClip;
    Press(frame.RecordingList(), 2, Qt::RightButton);
    ASSERT_EQ(frame.runs.size(), 1u);
    const CLIP_MENU_TARGET &target = frame.runs[0];
    EXPECT_EQ(target.clipPath, record.items[2].strFullPath);
    EXPECT_EQ(target.cardRoot, folder.Path());
    EXPECT_FALSE(target.bPlaying);
    EXPECT_GT(target.nFileEndUtcMs, 0);
    ASSERT_EQ(target.categoryClips.size(), record.items.size());
    EXPECT_EQ(target.categoryClips[0], record.items[0].strFullPath);
    EXPECT_FALSE(frame.IsPlayPending()) << "a right click starts no clip";

    // A right click below the rows hits no clip: no menu.
    Press(frame.RecordingList(), 40, Qt::RightButton);
    EXPECT_EQ(frame.offered.size(), 2u);
}

} // namespace
