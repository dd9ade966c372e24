// The main window paints every picture of a 1080p30 clip, in the normal view and full screen
// (offscreen, the video window takes the software path): pictures that come while the window
// thread is busy wait for their turn instead of being replaced by the next one.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <QApplication>
#include <gtest/gtest.h>

#include "app/tavlo_frame.h"
#include "playback/cm_player.h"
#include "playback/video_widget.h"
#include "recordings/play_infor.h"
#include "tests/support/demo_card.h"
#include "tests/support/disk_audio.h"
#include "tests/support/pump_events.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr int kPictures = 90; // 3 s at 30 per second

TEST(MainFramePaint, EveryPictureOfA1080pClipIsPaintedInTheNormalViewAndFullScreen)
{
    CTempFolder folder;
    const std::string card = folder / "card/";
    ASSERT_TRUE(WriteDemoCard(card));
    std::filesystem::remove_all(card + "RECORD");
    std::filesystem::create_directories(card + "RECORD/20101011");
    const std::string clip = card + "RECORD/20101011/R_20101011_134500.avi";
    const std::string command =
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=30:duration=3 "
        "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=3 -c:v mpeg4 -vtag XVID "
        "-q:v 4 -g 30 -c:a aac -ac 2 '" +
        clip + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    CTavloFrame frame(CmPlayerFactory());
    frame.show();
    frame.OpenCardFolder(card);
    ASSERT_EQ(g_PlayInfor.nListType, LIST_RECORD);
    const QWidget *video = frame.VideoWindow(IDC_VIDEO_MAIN);
    for (const bool bFullScreen : {false, true}) {
        SCOPED_TRACE(bFullScreen ? "full screen" : "normal view");
        const int painted = PaintedPictures(video), givenUp = GivenUpPictures(video);
        ASSERT_EQ(frame.StartClip(clip), 1);
        if (bFullScreen) {
            ASSERT_TRUE(PumpUntil([&] { return frame.Player()->GetState() == CMP_PLAYING; }));
            frame.EnterFullScreen();
            ASSERT_TRUE(frame.IsFullScreen());
        }
        EXPECT_TRUE(PumpUntil([&] { return PaintedPictures(video) - painted >= kPictures; },
                              std::chrono::seconds(30)))
            << PaintedPictures(video) - painted << " of " << kPictures << " painted";
        EXPECT_EQ(GivenUpPictures(video) - givenUp, 0);
        frame.Player()->Stop();
        if (bFullScreen)
            frame.LeaveFullScreen();
        QCoreApplication::processEvents();
    }
}

} // namespace
