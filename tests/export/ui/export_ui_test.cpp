// The export dialogs and the clip menu, offscreen, on a demo clip.
#include <algorithm>
#include <filesystem>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QRadioButton>
#include <QThread>
#include <QTimeEdit>
#include <gtest/gtest.h>

#include "export/clip_copy.h"
#include "export/ui/clip_menu.h"
#include "export/ui/copy_clips_dlg.h"
#include "export/ui/export_clip_dlg.h"
#include "export/ui/export_track_dlg.h"
#include "tests/support/temp_folder.h"
#include "tools/mkcard/demo_clip.h"
#include "tools/mkcard/gps_route.h"

namespace {

constexpr time_t kClipStart = 1286804700; // 2010-10-11 13:45:00 UTC

std::string WriteClip(const std::string &path, time_t start, uint32_t seconds)
{
    DemoClipSpec spec;
    spec.path = path;
    spec.startUtc = start;
    spec.durationMs = seconds * 1000;
    spec.width = 160;
    spec.height = 96;
    for (uint32_t s = 0; s < seconds; ++s)
        spec.textSamples.push_back(RmcSentence(FixAtDriveSecond(s + 60), start + s));
    std::string error;
    EXPECT_TRUE(WriteDemoClip(spec, &error)) << error;
    return path;
}

template <class Done> bool PumpUntil(Done done)
{
    for (int i = 0; i < 3000 && !done(); ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return done();
}

uint32_t MsOf(const QTimeEdit *edit)
{
    return uint32_t(QTime(0, 0).msecsTo(edit->time()));
}

TEST(ClipMenu, EntriesInOrder)
{
    QWidget parent;
    const auto menu = MakeClipMenu(&parent);
    const std::vector<std::pair<QString, CLIP_MENU_CHOICE>> expected = {
        {QString::fromUtf8("Export clip…"), CLIP_MENU_CHOICE::ExportClip},
        {QString::fromUtf8("Export track…"), CLIP_MENU_CHOICE::ExportTrack},
        {QString::fromUtf8("Copy to computer…"), CLIP_MENU_CHOICE::CopyToComputer},
        {QString::fromUtf8("Show in folder"), CLIP_MENU_CHOICE::ShowInFolder},
    };
    ASSERT_EQ(menu->actions().size(), qsizetype(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(menu->actions()[qsizetype(i)]->text(), expected[i].first);
        EXPECT_EQ(CLIP_MENU_CHOICE(menu->actions()[qsizetype(i)]->data().toInt()),
                  expected[i].second);
    }
}

TEST(ClipMenu, ExportsNeverGoOntoTheCard)
{
    CTempFolder card, home;
    MakeFolders(card / "EVENT");
    std::filesystem::create_directory_symlink(card / "EVENT", home / "link-to-card");
    struct Case
    {
        std::string path;
        bool onCard;
    };
    const Case cases[] = {
        {card / "EVENT/x.mp4", true},
        {card / "new-folder/deeper/x.mp4", true}, // not made yet, still on the card
        {home / "link-to-card/x.mp4", true},      // through a link
        {home / "x.mp4", false},
        {card.Path().substr(0, card.Path().size() - 1) + "-other/x.mp4", false}, // a sibling name
    };
    for (const Case &c : cases)
        EXPECT_EQ(IsOnCard(c.path, card.Path()), c.onCard) << c.path;
    EXPECT_FALSE(IsOnCard(home / "x.mp4", ""));
}

TEST(ExportClipDialog, DefaultsAroundThePositionAndCopiesWithProgress)
{
    CTempFolder card, home;
    MakeFolders(card / "EVENT");
    CLIP_MENU_TARGET target;
    target.clipPath = WriteClip(card / "EVENT/E_1.avi", kClipStart, 12);
    target.cardRoot = card.Path();
    target.bPlaying = true;
    target.nPositionMs = 4000;
    target.nDurationMs = 12000;
    CExportClipDlg dlg(target);
    EXPECT_EQ(MsOf(dlg.FromEdit()), 0u);
    EXPECT_EQ(MsOf(dlg.ToEdit()), 12000u);

    dlg.PathEdit()->setText(QString::fromStdString(card / "EVENT/out.mp4"));
    EXPECT_FALSE(dlg.StartExport());
    EXPECT_TRUE(dlg.Status()->text().contains("card is only read"));
    EXPECT_FALSE(std::filesystem::exists(card / "EVENT/out.mp4"));

    dlg.FromEdit()->setTime(QTime(0, 0, 6));
    dlg.ToEdit()->setTime(QTime(0, 0, 3));
    dlg.PathEdit()->setText(QString::fromStdString(home / "out"));
    EXPECT_FALSE(dlg.StartExport());

    dlg.FromEdit()->setTime(QTime(0, 0, 3));
    dlg.ToEdit()->setTime(QTime(0, 0, 9));
    ASSERT_TRUE(dlg.StartExport());
    ASSERT_TRUE(PumpUntil([&] { return !dlg.IsRunning(); }));
    EXPECT_EQ(dlg.Progress()->value(), 100);
    EXPECT_TRUE(dlg.Status()->text().contains("Saved")) << dlg.Status()->text().toStdString();
    EXPECT_TRUE(std::filesystem::exists(home / "out.mp4")) << "the extension is added";
    EXPECT_TRUE(std::filesystem::exists(home / "out.gpx"));
}

TEST(ExportClipDialog, ClipNotPlayingStartsAtItsBeginning)
{
    CTempFolder card;
    CLIP_MENU_TARGET target;
    target.clipPath = WriteClip(card / "R_1.avi", kClipStart, 3);
    CExportClipDlg dlg(target);
    EXPECT_EQ(MsOf(dlg.FromEdit()), 0u);
    EXPECT_EQ(MsOf(dlg.ToEdit()), 3000u) << "the length read from the clip";
}

TEST(ExportTrackDialog, ClipOrWholeTripInEachFormat)
{
    CTempFolder card, home;
    CLIP_MENU_TARGET target;
    target.clipPath = WriteClip(card / "R_1.avi", kClipStart, 4);
    const std::string next = WriteClip(card / "R_2.avi", kClipStart + 4, 4);
    target.cardRoot = card.Path();
    target.tripClips = [&] { return std::vector<std::string>{target.clipPath, next}; };
    CExportTrackDlg dlg(target);
    EXPECT_TRUE(dlg.WholeTrip()->isEnabled());
    dlg.PathEdit()->setText(QString::fromStdString(home / "track.gpx"));
    for (const char *ext : {"kml", "csv", "gpx"}) {
        dlg.FormatBox()->setCurrentIndex(ext[0] == 'k' ? 1 : ext[0] == 'c' ? 2 : 0);
        EXPECT_TRUE(dlg.PathEdit()->text().endsWith(ext)) << ext;
        ASSERT_TRUE(dlg.Save()) << dlg.Status()->text().toStdString();
    }
    const std::vector<uint8_t> csv = ReadBytes(home / "track.csv");
    const size_t clipLines = size_t(std::count(csv.begin(), csv.end(), '\n'));
    dlg.WholeTrip()->setChecked(true);
    dlg.FormatBox()->setCurrentIndex(2);
    ASSERT_TRUE(dlg.Save());
    const std::vector<uint8_t> trip = ReadBytes(home / "track.csv");
    EXPECT_EQ(size_t(std::count(trip.begin(), trip.end(), '\n')) - 1, 2 * (clipLines - 1));

    CLIP_MENU_TARGET lone = target;
    lone.tripClips = {};
    CExportTrackDlg alone(lone);
    EXPECT_FALSE(alone.WholeTrip()->isEnabled());
}

TEST(CopyClipsDialog, CopiesTheCategoryAndChecksIt)
{
    CTempFolder card, home;
    MakeFolders(card / "EVENT");
    const std::vector<std::string> clips = {WriteClip(card / "EVENT/E_1.avi", kClipStart, 2),
                                            WriteClip(card / "EVENT/E_2.avi", kClipStart + 2, 2)};
    CCopyClipsDlg dlg(clips[0], clips, card.Path(), "EVENT");
    dlg.CategoryChoice()->setChecked(true);
    dlg.FolderEdit()->setText(QString::fromStdString(card / "EVENT/backup"));
    EXPECT_FALSE(dlg.StartCopy()) << "never into the card";
    EXPECT_FALSE(std::filesystem::exists(card / "EVENT/backup"));
    dlg.FolderEdit()->setText(QString::fromStdString(home / "backup"));
    ASSERT_TRUE(dlg.StartCopy());
    ASSERT_TRUE(PumpUntil([&] { return !dlg.IsRunning(); }));
    EXPECT_TRUE(dlg.AllCopied()) << dlg.Status()->text().toStdString();
    EXPECT_EQ(dlg.Progress()->value(), 1000);
    for (const std::string &clip : clips)
        EXPECT_EQ(FileSha256(home / ("backup/" + std::filesystem::path(clip).filename().string())),
                  FileSha256(clip));
}

} // namespace

namespace {

TEST(CopyClipsDialog, EventClipsTheFormatOfferCopies)
{
    CTempFolder card;
    MakeFolders(card / "EVENT/sub");
    WriteSized(card / "EVENT/E_2.AVI", 2000);
    WriteSized(card / "EVENT/E_1.avi", 2000);
    WriteSized(card / "EVENT/.E_3.avi", 2000); // hidden
    WriteSized(card / "EVENT/E_4.avi", 1024);  // too small to be a clip
    WriteSized(card / "EVENT/E_5.avi.bak", 2000);
    WriteSized(card / "EVENT/sub/E_6.avi", 2000); // below EVENT: not listed
    EXPECT_EQ(EventClipsOnCard(card.Path()),
              (std::vector<std::string>{card / "EVENT/E_1.avi", card / "EVENT/E_2.AVI"}));
    CTempFolder empty;
    EXPECT_TRUE(EventClipsOnCard(empty.Path()).empty());
    EXPECT_TRUE(OfferEventCopyBeforeFormat(nullptr, empty.Path())) << "nothing to offer";
}

} // namespace
