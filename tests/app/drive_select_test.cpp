// The drive choice dialog and the start-up's web engine check.
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/tavlo_drive_select_dlg.h"
#include "app/tavlo_player_app.h"
#include "recordings/play_infor.h"
#include "tests/support/temp_folder.h"

namespace {

TEST(DriveSelect, GeometryAndTexts)
{
    CTavloDriveSelectDlg dialog({}, nullptr);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Select a Drive"));
    EXPECT_EQ(dialog.size(), QSize(337, 113)); // 225 x 70 dialog units
    EXPECT_EQ(dialog.OkButton()->geometry(), QRect(130, 78, 75, 22));
    EXPECT_TRUE(dialog.OkButton()->isDefault());
    EXPECT_EQ(dialog.DriveList()->geometry().topLeft(), QPoint(91, 11));
    EXPECT_EQ(dialog.DriveList()->count(), 0);
    EXPECT_EQ(dialog.DriveList()->currentIndex(), -1);
    EXPECT_EQ(dialog.FolderButton()->text(), QStringLiteral("Folder…"));
}

struct OkCase
{
    const char *name;
    bool bOffered;   // any volume in the list
    bool bExists;    // the chosen one is mounted there
    bool bRootTaken; // the card root becomes the chosen one
};

const OkCase kOk[] = {
    {"a mounted volume becomes the root", true, true, true},
    {"a volume that is gone keeps the old root", true, false, false},
    {"an empty list keeps the old root", false, false, false},
};

TEST(DriveSelect, OkTakesTheFirstVolumeWhenItExists)
{
    CTempFolder mounted;
    for (const OkCase &c : kOk) {
        SCOPED_TRACE(c.name);
        std::vector<REMOVABLE_VOLUME> volumes;
        if (c.bOffered) {
            volumes.push_back({"CARD", c.bExists ? mounted.Path() : "/no/such/mount/"});
            volumes.push_back({"", "/media/other"});
        }
        CTavloDriveSelectDlg dialog(volumes, nullptr);
        if (c.bOffered) {
            EXPECT_EQ(dialog.DriveList()->currentIndex(), 0);
            EXPECT_EQ(dialog.DriveList()->itemText(1), QStringLiteral("/media/other"));
        }
        g_PlayInfor.strRootPath = "/old/root/";
        dialog.OkButton()->click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(g_PlayInfor.strRootPath, c.bRootTaken ? mounted.Path() : "/old/root/");
    }
    g_PlayInfor.strRootPath.clear();
}

TEST(DriveSelect, ListTextAndFolderRoot)
{
    EXPECT_EQ(DriveListText({"CARD", "/media/u/CARD/"}), QStringLiteral("CARD (/media/u/CARD)"));
    EXPECT_EQ(DriveListText({"", "/mnt/sd/"}), QStringLiteral("/mnt/sd"));
    CTempFolder folder;
    std::string path = folder.Path();
    path.pop_back(); // the picker gives folders without the slash
    CTavloDriveSelectDlg dialog({{"CARD", "/no/such/mount/"}}, nullptr);
    dialog.AddFolder(QString::fromStdString(path));
    EXPECT_EQ(dialog.DriveList()->currentIndex(), 1);
    dialog.OkButton()->click();
    EXPECT_EQ(dialog.m_strDrive, folder.Path());
    EXPECT_EQ(g_PlayInfor.strRootPath, folder.Path());
    g_PlayInfor.strRootPath.clear();
}

TEST(DriveSelect, EscapeCancels)
{
    CTempFolder mounted;
    CTavloDriveSelectDlg dialog({{"CARD", mounted.Path()}}, nullptr);
    QTimer::singleShot(50, &dialog, [&dialog] {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &escape);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_TRUE(g_PlayInfor.strRootPath.empty());
}

TEST(WebBrowserVersion, WholeMajorNumberCounts)
{
    struct Case
    {
        const char *version;
        bool accepted;
    } const cases[] = {
        {"6.0.2900", false},
        {"7.0", true},
        {"9.0.8112", true},
        {"10.0", true}, // a first-character comparison would refuse it
        {"118.0.5993.220", true},
        {"1.5", false},
        {"06", false},
        {"99999999999999999999999999", true},
        {"", true}, // nothing to judge
        {"abc", true},
        {nullptr, true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(WebBrowserVersionAccepted(c.version), c.accepted)
            << (c.version ? c.version : "null");
}

} // namespace
