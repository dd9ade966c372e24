// The recording list widget: notifications, keys, scrolling and what a row looks like.
#include <string>
#include <vector>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QToolTip>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include "recordings/html_list_ctrl.h"
#include "tests/support/temp_folder.h"

namespace {

class CRecordingOwner : public QWidget, public CHTMLListOwner
{
public:
    void OnListNotify(const NM_HTMLLIST &notify) override
    {
        EXPECT_EQ(notify.idFrom, CHTMLListCtrl::kControlId);
        codes.push_back({notify.code, notify.nItemNo});
        texts.push_back(notify.sItemText);
    }
    std::vector<std::pair<int, int>> codes; // code, row
    std::vector<std::string> texts;
};

// A list of the main window's size (338 x 368) inside an owner, with rows of 30 pixels.
class ListFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pList = new CHTMLListCtrl(&m_Owner);
        m_pList->setGeometry(0, 0, 338, 368);
        m_Owner.resize(338, 368);
    }
    void AddRows(int n)
    {
        const SYSTEMTIME time{2010, 5, 3, 12, 8, 30, 0, 0};
        for (int i = 0; i < n; ++i)
            m_pList->InsertItem(HTMLLIST_STYLE_CLIP, "clip" + std::to_string(i) + ".avi",
                                "/card/EVENT/clip" + std::to_string(i) + ".avi", "    1,500", 0, 30,
                                time);
    }
    QImage Grab() { return m_pList->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    void Click(Qt::MouseButton button, QPoint pt)
    {
        Grab(); // rows know where they are once painted
        QMouseEvent press(QEvent::MouseButtonPress, pt, m_pList->mapToGlobal(pt), button, button,
                          Qt::NoModifier);
        QApplication::sendEvent(m_pList, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, pt, m_pList->mapToGlobal(pt), button,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(m_pList, &release);
    }
    void DoubleClick(QPoint pt)
    {
        Click(Qt::LeftButton, pt);
        QMouseEvent dbl(QEvent::MouseButtonDblClick, pt, m_pList->mapToGlobal(pt), Qt::LeftButton,
                        Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_pList, &dbl);
    }
    void Key(int key)
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(m_pList, &press);
    }
    void Wheel(int delta)
    {
        QWheelEvent wheel(QPointF(100, 100), QPointF(100, 100), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(m_pList, &wheel);
    }

    CRecordingOwner m_Owner;
    CHTMLListCtrl *m_pList = nullptr;
};

TEST_F(ListFixture, ClicksReportRowsAndAMissReportsNone)
{
    AddRows(3);
    m_pList->SetSelection(1);
    Click(Qt::LeftButton, {50, 75}); // row 2
    EXPECT_EQ(m_pList->GetSelection(), 2);
    Click(Qt::LeftButton, {50, 200}); // below the last row
    const std::vector<std::pair<int, int>> expected = {{HTMLLIST_LBUTTONDOWN, -1},
                                                       {HTMLLIST_SELCHANGED, 2},
                                                       {HTMLLIST_LBUTTONDOWN, -1},
                                                       {HTMLLIST_SELCHANGED, -1}};
    EXPECT_EQ(m_Owner.codes, expected);
    EXPECT_EQ(m_Owner.texts[1], "clip2.avi");
    EXPECT_EQ(m_Owner.texts[3], "");
    EXPECT_EQ(m_pList->GetSelection(), -1);
    // The highlight is gone: row 2 is drawn unselected again.
    EXPECT_EQ(QColor(Grab().pixel(5, 75)), kListEvenFill);
}

TEST_F(ListFixture, RightClickAndDoubleClick)
{
    AddRows(3);
    Click(Qt::RightButton, {50, 45});
    Click(Qt::RightButton, {50, 300}); // no row: nothing reported, selection cleared
    EXPECT_EQ(m_pList->GetSelection(), -1);
    m_Owner.codes.clear();
    DoubleClick({50, 15});
    const std::vector<std::pair<int, int>> expected = {
        {HTMLLIST_LBUTTONDOWN, -1}, {HTMLLIST_SELCHANGED, 0}, {HTMLLIST_LBUTTONDBLCLK, 0}};
    EXPECT_EQ(m_Owner.codes, expected);
    EXPECT_EQ(m_pList->GetSelection(), 0);
}

TEST(ListRightClick, ReportsOnlyRowsHit)
{
    CRecordingOwner owner;
    auto *list = new CHTMLListCtrl(&owner);
    list->setGeometry(0, 0, 338, 368);
    list->InsertItem(HTMLLIST_STYLE_CLIP, "a.avi", "/a.avi", "1", 0, 30, SYSTEMTIME{});
    list->grab();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(40, 10), QPointF(40, 10), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(list, &press);
    const std::vector<std::pair<int, int>> expected = {{HTMLLIST_RBUTTONDOWN, 0}};
    EXPECT_EQ(owner.codes, expected);
}

struct ArrowCase
{
    const char *name;
    int rows;
    int selected;
    int key;
    int expectedSelection; // -1: nothing selected
    bool notified;
};

const ArrowCase kArrows[] = {
    {"down with none selected takes the last row", 20, -1, Qt::Key_Down, 19, true},
    {"up with none selected takes row 0", 20, -1, Qt::Key_Up, 0, true},
    {"down steps one row", 20, 4, Qt::Key_Down, 5, true},
    {"up at row 0 stays and still reports", 20, 0, Qt::Key_Up, 0, true},
    {"down at the last row stays", 20, 19, Qt::Key_Down, 19, true},
    {"empty list: down sends nothing", 0, -1, Qt::Key_Down, -1, false},
    {"empty list: up sends nothing", 0, -1, Qt::Key_Up, -1, false},
};

TEST_F(ListFixture, ArrowKeys)
{
    for (const ArrowCase &c : kArrows) {
        SCOPED_TRACE(c.name);
        m_pList->DeleteAllItems();
        AddRows(c.rows);
        m_pList->SetSelection(c.selected);
        m_Owner.codes.clear();
        Key(c.key);
        EXPECT_EQ(m_pList->GetSelection(), c.expectedSelection);
        if (c.notified) {
            const std::vector<std::pair<int, int>> expected = {
                {HTMLLIST_SELCHANGED, c.expectedSelection}};
            EXPECT_EQ(m_Owner.codes, expected);
        } else {
            EXPECT_TRUE(m_Owner.codes.empty());
        }
        // The selected row is in view: 20 rows of 30 in 368 pixels.
        if (c.expectedSelection >= 0) {
            const int top = 30 * c.expectedSelection - m_pList->GetScrollPos();
            EXPECT_GE(top, 0);
            EXPECT_LE(top + 30, 368);
        }
    }
}

TEST_F(ListFixture, RowsThatFitDoNotScroll)
{
    AddRows(12); // 360 of 368 pixels
    EXPECT_EQ(m_pList->ScrollLimit(), 0);
    Wheel(-120);
    EXPECT_EQ(m_pList->GetScrollPos(), 0);
    m_pList->SetScrollPos(40);
    EXPECT_EQ(m_pList->GetScrollPos(), 0);
    EXPECT_EQ(m_pList->ClientWidth(), 338); // no scroll bar
}

TEST_F(ListFixture, WheelStepsThirtyAndBarStepsFifty)
{
    AddRows(20); // 600 pixels: limit 600 − 368 + 1 = 233
    EXPECT_EQ(m_pList->ScrollLimit(), 233);
    EXPECT_EQ(m_pList->ClientWidth(), 338 - CHTMLListCtrl::kScrollBarWidth);
    const int barX = 338 - 8;
    struct Step
    {
        const char *what;
        int expected;
    } const steps[] = {{"wheel toward the user", 30},
                       {"wheel toward the user", 60},
                       {"wheel away", 30},
                       {"wheel away", 0},
                       {"wheel away at the top", 0},
                       {"down arrow", 50},
                       {"down arrow", 100},
                       {"page below the thumb", 150},
                       {"down arrow", 200},
                       {"down arrow to the limit", 233},
                       {"down arrow at the limit", 233},
                       {"up arrow", 183},
                       {"page above the thumb", 133}};
    for (const Step &step : steps) {
        SCOPED_TRACE(step.what);
        const std::string what = step.what;
        const LIST_SCROLL_PARTS parts =
            ListScrollParts(m_pList->ScrollBarRect(), m_pList->GetScrollPos(), 600, 368);
        if (what == "wheel toward the user")
            Wheel(-120);
        else if (what.rfind("wheel away", 0) == 0)
            Wheel(120);
        else if (what.rfind("down arrow", 0) == 0)
            Click(Qt::LeftButton, {barX, 368 - 5});
        else if (what == "up arrow")
            Click(Qt::LeftButton, {barX, 5});
        else if (what == "page below the thumb")
            Click(Qt::LeftButton, {barX, parts.rcThumb.bottom() + 3});
        else
            Click(Qt::LeftButton, {barX, parts.rcThumb.top() - 3});
        EXPECT_EQ(m_pList->GetScrollPos(), step.expected);
    }
    EXPECT_TRUE(m_Owner.codes.empty()); // the bar is not the rows
}

TEST(ListScrollGeometry, ThumbFollowsPosition)
{
    const QRect bar(322, 0, 16, 368); // track 328 pixels from y 20
    struct Case
    {
        int pos, total, page;
        QRect thumb;
    } const cases[] = {
        {0, 600, 368, QRect(322, 20, 16, 200)},    // 328 × 368 / 601
        {233, 600, 368, QRect(322, 148, 16, 200)}, // at the limit the thumb ends at the track's end
        {999, 600, 368, QRect(322, 148, 16, 200)}, // beyond it is held at the limit
        {0, 100000, 368, QRect(322, 20, 16, 18)},  // never shorter than its two end pieces
        {0, 300, 368, QRect()},                    // nothing to scroll: no thumb
    };
    for (const Case &c : cases) {
        const LIST_SCROLL_PARTS parts = ListScrollParts(bar, c.pos, c.total, c.page);
        EXPECT_EQ(parts.rcThumb, c.thumb) << c.pos << " " << c.total;
        EXPECT_EQ(parts.rcUp, QRect(322, 0, 16, 20));
        EXPECT_EQ(parts.rcDown, QRect(322, 348, 16, 20));
    }
}

TEST_F(ListFixture, EnsureVisibleScrollsTheLeastAmount)
{
    AddRows(20);
    m_pList->EnsureVisible(15); // 450..480 shown in 368: 480 − 368
    EXPECT_EQ(m_pList->GetScrollPos(), 112);
    m_pList->EnsureVisible(10); // already whole in view
    EXPECT_EQ(m_pList->GetScrollPos(), 112);
    m_pList->EnsureVisible(2);
    EXPECT_EQ(m_pList->GetScrollPos(), 60);
    m_pList->EnsureVisible(25); // no such row
    EXPECT_EQ(m_pList->GetScrollPos(), 60);
}

TEST_F(ListFixture, DeleteAllKeepsSelectionAndResetsScroll)
{
    AddRows(20);
    m_pList->SetSelection(19);
    ASSERT_GT(m_pList->GetScrollPos(), 0);
    m_pList->DeleteAllItems();
    EXPECT_EQ(m_pList->GetSelection(), 19);
    EXPECT_EQ(m_pList->GetScrollPos(), 0);
    EXPECT_EQ(m_pList->TotalHeight(), 0);
    EXPECT_EQ(m_pList->GetItem(0), nullptr);
}

TEST_F(ListFixture, PaintsStripesSelectionAndGrid)
{
    AddRows(3);
    m_pList->SetSelection(1);
    const QImage image = Grab();
    EXPECT_EQ(QColor(image.pixel(5, 10)), kListEvenFill); // row 0
    EXPECT_EQ(QColor(image.pixel(5, 0)), kListGrid);      // its top edge
    EXPECT_EQ(QColor(image.pixel(0, 40)), kListSelFrame); // selected row: frame column
    EXPECT_EQ(QColor(image.pixel(5, 31)), kListSelFrame); // frame row under the grid line
    EXPECT_EQ(QColor(image.pixel(5, 45)), kListSelFill);
    EXPECT_EQ(QColor(image.pixel(337, 45)), kListSelFrame); // right frame column
    EXPECT_EQ(QColor(image.pixel(5, 59)), kListSelFrame);   // bottom frame row
    EXPECT_EQ(QColor(image.pixel(5, 70)), kListEvenFill);   // row 2
    // Below the rows the fixed stripes: 90..120 odd band, 120..150 even band.
    EXPECT_EQ(QColor(image.pixel(5, 100)), kListOddFill);
    EXPECT_EQ(QColor(image.pixel(5, 130)), kListEvenFill);
    // Row 0's name is drawn in the text colour from x 13; row 1's in the dark text colour.
    bool bText0 = false, bText1 = false;
    for (int x = 13; x < 60; ++x)
        for (int y = 5; y < 25; ++y) {
            bText0 |= QColor(image.pixel(x, y)) == kListText;
            bText1 |= QColor(image.pixel(x, y + 30)) == kListSelText;
        }
    EXPECT_TRUE(bText0);
    EXPECT_TRUE(bText1);
    for (int y = 1; y < 30; ++y)
        for (int x = 0; x < 13; ++x)
            ASSERT_EQ(QColor(image.pixel(x, y)), kListEvenFill) << x << "," << y;
}

TEST_F(ListFixture, LongNameIsShortenedInTheMiddle)
{
    const QString name =
        QStringLiteral("REC_2010_05_12_08_30_00_front_camera_channel_one_event.avi");
    const QString shown = m_pList->CompactName(name, 169);
    EXPECT_LT(shown.size(), name.size());
    EXPECT_TRUE(shown.startsWith(QStringLiteral("REC_")));
    EXPECT_TRUE(shown.endsWith(QStringLiteral(".avi")));
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_EQ(m_pList->CompactName(QStringLiteral("a.avi"), 169), QStringLiteral("a.avi"));
    // Drawn: nothing of the name runs into the date column.
    m_pList->InsertItem(HTMLLIST_STYLE_CLIP, name.toStdString(), "/x", "", 0, 30, SYSTEMTIME{});
    const QImage image = Grab();
    for (int x = 13 + 169; x < 13 + 172; ++x)
        for (int y = 1; y < 30; ++y)
            EXPECT_EQ(QColor(image.pixel(x, y)), kListEvenFill) << x << "," << y;
}

TEST_F(ListFixture, DateAndSizeColumns)
{
    AddRows(1);
    const QImage image = Grab();
    // Date centred in 182..246, size from 258: both leave ink in their columns only.
    auto inkBetween = [&](int x0, int x1) {
        for (int x = x0; x < x1; ++x)
            for (int y = 1; y < 30; ++y)
                if (QColor(image.pixel(x, y)) != kListEvenFill)
                    return true;
        return false;
    };
    EXPECT_TRUE(inkBetween(182, 246));
    EXPECT_TRUE(inkBetween(258, 322));
    EXPECT_FALSE(inkBetween(150, 180)); // a short name ends well before the date
}

// A clip the recorder closed and one it did not (its CLF header and end record say so): the
// second's size is drawn in the warning colour and its row explains why.
TEST_F(ListFixture, CutOffClipIsMarked)
{
    CTempFolder folder;
    std::vector<uint8_t> finished = {'C', 'L', 'F', ' ', 0, 0, 0x4E, 0x20};
    finished.resize(64, 0x33);
    finished.insert(finished.end(), 16, 0); // end record
    std::vector<uint8_t> cut = finished;
    cut.resize(60);
    WriteBytes(folder / "done.avi", finished);
    WriteBytes(folder / "cut.avi", cut);
    const SYSTEMTIME time{2010, 5, 3, 12, 8, 30, 0, 0};
    m_pList->InsertItem(HTMLLIST_STYLE_CLIP, "done.avi", folder / "done.avi", "    1,500", 0, 30,
                        time);
    m_pList->InsertItem(HTMLLIST_STYLE_CLIP, "cut.avi", folder / "cut.avi", "    1,500", 0, 30,
                        time);
    const QImage image = Grab();
    auto warned = [&](int row) {
        for (int x = 258; x < 322; ++x)
            for (int y = row * 30 + 1; y < row * 30 + 30; ++y)
                // Text is antialiased: look for the warning colour's red, which grey text lacks.
                if (qRed(image.pixel(x, y)) > 160 && qGreen(image.pixel(x, y)) < 110)
                    return true;
        return false;
    };
    EXPECT_FALSE(warned(0));
    EXPECT_TRUE(warned(1));
    for (const int row : {0, 1}) {
        const QPoint pt(100, row * 30 + 15);
        QHelpEvent help(QEvent::ToolTip, pt, m_pList->mapToGlobal(pt));
        QApplication::sendEvent(m_pList, &help);
        EXPECT_EQ(QToolTip::text(), row == 1 ? QString::fromUtf8(kCutOffTip) : QString()) << row;
    }
}

} // namespace
