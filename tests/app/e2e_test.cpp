// The viewer used from end to end as a person would, with the mouse on its real windows: no card
// at start, the drive dialog, categories, a double click, the map, the playback buttons, the
// seek thumb, Change Screen, full screen, both captures (Snaplet as its own process), the
// settings sheet writing setup.cfg, a category played to its end, Exit. The screen is saved at
// every step into ROADLOG_E2E_SHOTS.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <gtest/gtest.h>
#include <sys/types.h>

#include "app/tavlo_drive_select_dlg.h"
#include "app/tavlo_frame.h"
#include "app/tavlo_player_app.h"
#include "playback/cm_player.h"
#include "playback/frame_capture.h"
#include "recordings/play_infor.h"
#include "settings/page1.h"
#include "settings/player_setting.h"
#include "settings/setup_file.h"
#include "telemetry/tavlo_browser.h"
#include "telemetry/web_browser2.h"
#include "tests/support/demo_card.h"
#include "tests/support/disk_audio.h"
#include "tests/support/pump_events.h"
#include "tests/support/temp_folder.h"
#include "tests/telemetry/web_test_main.h"
#include "widgets/tavlo_button.h"
#include "widgets/tavlo_slider.h"

namespace {

using namespace std::chrono_literals;

void Shot(const char *name)
{
    QApplication::processEvents();
    const std::string folder = ROADLOG_E2E_SHOTS;
    std::filesystem::create_directories(folder);
    QGuiApplication::primaryScreen()->grabWindow(0).save(
        QString::fromStdString(folder + "/" + name + ".png"));
}

void ClickCentre(QWidget *w)
{
    ASSERT_NE(w, nullptr);
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(w->width() / 2, w->height() / 2));
}

// Runs action on the first modal window of type T that opens, from inside its own event loop.
template <typename T> void WhenModal(std::function<void(T *)> action)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            action(dialog);
        }
    });
    timer->start(50);
}

void DoubleClickRow(QWidget *list, int row)
{
    list->grab(); // rows know where they are once painted
    const QPoint pt(100, row * 30 + 15);
    QTest::mouseClick(list, Qt::LeftButton, {}, pt);
    QMouseEvent e(QEvent::MouseButtonDblClick, pt, list->mapToGlobal(pt), Qt::LeftButton,
                  Qt::LeftButton, {});
    QApplication::sendEvent(list, &e);
    QTest::mouseRelease(list, Qt::LeftButton, {}, pt);
}

TEST(EndToEnd, AViewerSessionFromNoCardToExit)
{
    SKIP_WITHOUT_DISPLAY();
    CWatchdog watchdog(240s);
    CTempFolder work;
    const std::string card = work / "card/";
    // Clips of 20 s to use, and EVENT's of 3 s to play through to the end.
    ASSERT_TRUE(WriteDemoCard(card, false));
    ASSERT_TRUE(WriteDemoCard(work / "short"));
    std::filesystem::remove_all(card + "EVENT");
    std::filesystem::copy(work / "short/EVENT", card + "EVENT");
    // Snaplet is found on PATH, as after an install beside the viewer; captures go to work.
    qputenv("PATH", QByteArray(ROADLOG_SNAPLET_DIR) + ":" + qgetenv("PATH"));
    qputenv("TMPDIR", QByteArray::fromStdString(work.Path()));
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(work.Path()));
    // The real launcher, with the id of the Snaplet it starts kept, so that the test ends only
    // its own.
    qint64 snaplet = 0;
    SetSnapletLauncher(
        [&snaplet](const QString &picture) { return StartSnaplet(picture, &snaplet); });

    CTavloPlayerApp app(CmPlayerFactory());
    ASSERT_TRUE(app.InitInstance({QStringLiteral("RoadlogViewer")}));
    CTavloFrame &frame = *app.MainWindow();
    frame.move(0, 0);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    EXPECT_TRUE(g_PlayInfor.strRootPath.empty());
    Shot("01-no-card");

    // Open → the drive dialog → the demo card's folder.
    WhenModal<CTavloDriveSelectDlg>([&](CTavloDriveSelectDlg *dialog) {
        dialog->AddFolder(QString::fromStdString(card)); // what "Folder…" does with its pick
        Shot("02-drive-dialog");
        ClickCentre(dialog->OkButton());
    });
    ClickCentre(frame.Button(ID_OPEN));
    ASSERT_EQ(g_PlayInfor.strRootPath, card);
    ASSERT_EQ(g_PlayInfor.nListType, LIST_RECORD);
    EXPECT_TRUE(frame.Button(ID_CATEGORY_RECORD)->IsChecked());
    Shot("03-record");

    ClickCentre(frame.Button(int(ID_CATEGORY_RECORD) + int(LIST_EVENT)));
    ASSERT_EQ(g_PlayInfor.nListType, LIST_EVENT);
    EXPECT_TRUE(frame.Button(int(ID_CATEGORY_RECORD) + int(LIST_EVENT))->IsChecked());
    EXPECT_FALSE(frame.Button(ID_CATEGORY_RECORD)->IsChecked());
    ClickCentre(frame.Button(ID_CATEGORY_RECORD));
    ClickCentre(frame.Button(int(ID_CATEGORY_RECORD) + int(LIST_MOTION)));
    ASSERT_EQ(g_PlayInfor.nListType, LIST_MOTION);

    // A double click plays the clip a second later; the times and the thumb move.
    CFramePlayer &player = *frame.Player();
    DoubleClickRow(frame.RecordingList(), 0);
    ASSERT_TRUE(PumpUntil([&] { return player.GetState() == CMP_PLAYING; }));
    ASSERT_TRUE(PumpUntil([&] { return frame.SeekSlider()->GetPos() >= 500; }));
    const int thumb = frame.SeekSlider()->ThumbCentre();
    ASSERT_TRUE(PumpUntil([&] { return frame.SeekSlider()->ThumbCentre() > thumb; }));
    EXPECT_GT(player.PlayDuration(), 2000u);
    Shot("04-playing");

    // The map follows.
    ClickCentre(frame.Button(ID_GPS));
    CTavloBrowser *map = frame.MapWindow();
    ASSERT_NE(map, nullptr);
    map->move(frame.width() - map->width() - 20, 60);
    ASSERT_TRUE(PumpUntil([&] { return map->IsDocumentComplete(); }, 30s));
    QWebEnginePage *page = map->Browser()->Document();
    ASSERT_TRUE(
        PumpUntil([&] { return RunScript(page, "roadlogMap.received.length").toInt() >= 2; }));
    Shot("05-map");
    ClickCentre(frame.Button(ID_GPS));
    EXPECT_FALSE(map->isVisible());

    // Pause, step, fast play, and the seek thumb dragged.
    ClickCentre(frame.Button(ID_PAUSE));
    EXPECT_EQ(player.GetState(), CMP_PAUSED);
    Pump(300ms);
    const uint32_t paused = player.PlayPosition();
    ClickCentre(frame.Button(ID_NEXT_FRAME));
    EXPECT_TRUE(PumpUntil([&] { return player.PlayPosition() > paused; }, 3s));
    ClickCentre(frame.Button(ID_FAST_PLAY));
    EXPECT_EQ(player.GetState(), CMP_PLAYING);
    CTavloSlider *seek = frame.SeekSlider();
    const QPoint from(seek->ThumbCentre(), seek->height() / 2);
    const QPoint to(seek->width() / 5, seek->height() / 2);
    QTest::mousePress(seek, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), QPointF(seek->mapToGlobal(to)), Qt::NoButton,
                     Qt::LeftButton, {});
    QApplication::sendEvent(seek, &move);
    QTest::mouseRelease(seek, Qt::LeftButton, {}, to);
    ASSERT_TRUE(PumpUntil([&] { return player.GetState() == CMP_PAUSED; }));
    EXPECT_TRUE(
        PumpUntil([&] { return std::abs(int(player.PlayPosition()) - seek->GetPos()) <= 100; }));
    Shot("06-paused-after-seek");

    // The demo card's clips have one camera: Change Screen is disabled and a click on it
    // leaves the picture large. Then full screen and back.
    const QRect large = frame.VideoWindow(IDC_VIDEO_MAIN)->geometry();
    EXPECT_FALSE(frame.Button(ID_CHANGE_SCREEN)->isEnabled());
    ClickCentre(frame.Button(ID_CHANGE_SCREEN));
    EXPECT_EQ(frame.VideoWindow(IDC_VIDEO_MAIN)->geometry(), large);
    Shot("07-change-screen-disabled");
    ClickCentre(frame.Button(ID_FULL_SCREEN));
    EXPECT_TRUE(frame.IsFullScreen());
    Pump(300ms);
    Shot("08-full-screen");
    ClickCentre(frame.Button(ID_RESTORE));
    EXPECT_FALSE(frame.IsFullScreen());
    EXPECT_EQ(frame.size(), QSize(1020, 594));

    // Capture to a file through the save dialog, then a quick capture into Snaplet.
    const std::string shot = work / "capture.jpg";
    WhenModal<QFileDialog>([&](QFileDialog *dialog) {
        dialog->selectFile(QString::fromStdString(shot));
        Shot("09-save-dialog");
        static_cast<QDialog *>(dialog)->accept();
    });
    ClickCentre(frame.Button(ID_CAPTURE));
    ASSERT_TRUE(std::filesystem::exists(shot));
    EXPECT_GT(std::filesystem::file_size(shot), 1000u);
    EXPECT_EQ(player.GetState(), CMP_PAUSED); // it was paused and stays so
    ClickCentre(frame.VideoWindow(IDC_VIDEO_MAIN));
    EXPECT_TRUE(std::filesystem::exists(work / "tmp1.jpg"));
    ASSERT_GT(snaplet, 0);
    EXPECT_EQ(::kill(pid_t(snaplet), 0), 0) << "Snaplet runs";
    Pump(1500ms);
    Shot("10-snaplet");
    // Detached, so not our child to wait for: ended by its id, then polled until it is gone.
    ::kill(pid_t(snaplet), SIGTERM);
    EXPECT_TRUE(PumpUntil([&] { return ::kill(pid_t(snaplet), 0) != 0; }, 5s));
    SetSnapletLauncher({});

    // Settings: another time zone and the buzzer the other way, OK.
    ASSERT_TRUE(LoadSetupFile(SetupFilePath(card)));
    const SETUP_CFG before = g_SetupFileImage;
    WhenModal<CPlayerSetting>([&](CPlayerSetting *sheet) {
        CPage1 &page1 = sheet->Page1();
        page1.TimeZone()->setCurrentIndex((page1.TimeZone()->currentIndex() + 3) % 25);
        ClickCentre(
            page1.Radio(before.nBuzzerEnable ? CPage1::IDC_BUZZER_OFF : CPage1::IDC_BUZZER_ON));
        Shot("11-settings");
        ClickCentre(sheet->Buttons()->button(QDialogButtonBox::Ok));
    });
    ClickCentre(frame.Button(ID_SETTINGS));
    ASSERT_TRUE(LoadSetupFile(SetupFilePath(card)));
    EXPECT_NE(g_SetupFileImage.nTimeZone, before.nTimeZone);
    EXPECT_EQ(g_SetupFileImage.nBuzzerEnable, before.nBuzzerEnable ? 0 : 1);
    // The file on the card is the record and its CRC-32, low byte first.
    const std::vector<uint8_t> bytes = ReadBytes(SetupFilePath(card));
    ASSERT_EQ(bytes.size(), kSetupFileSize);
    const uint32_t stored =
        uint32_t(bytes[kSetupRecordSize]) | uint32_t(bytes[kSetupRecordSize + 1]) << 8 |
        uint32_t(bytes[kSetupRecordSize + 2]) << 16 | uint32_t(bytes[kSetupRecordSize + 3]) << 24;
    EXPECT_EQ(stored, SetupCrc32(bytes.data(), kSetupRecordSize));

    // A category played to its end: EVENT's two clips one after the other, then stopped.
    ClickCentre(frame.Button(int(ID_CATEGORY_RECORD) + int(LIST_EVENT)));
    DoubleClickRow(frame.RecordingList(), 0);
    ASSERT_TRUE(PumpUntil([&] { return player.GetState() == CMP_PLAYING; }));
    ASSERT_TRUE(PumpUntil(
        [&] {
            return frame.Catalog().Category(LIST_EVENT).nSelect == 1 &&
                   player.GetState() == CMP_PLAYING;
        },
        20s));
    ASSERT_TRUE(PumpUntil([&] { return player.GetState() == CMP_STOPPED; }, 20s));
    Pump(500ms);
    EXPECT_EQ(player.GetState(), CMP_STOPPED);
    EXPECT_EQ(g_PlayInfor.strPlayFile, frame.Catalog().GetCatalogEntry(LIST_EVENT, 1)->strFullPath);
    Shot("12-category-ended");

    ClickCentre(frame.Button(ID_EXIT));
    EXPECT_FALSE(frame.isVisible());
    EXPECT_EQ(frame.Player(), nullptr);
    EXPECT_EQ(app.ExitInstance(0), 0);
}

} // namespace
