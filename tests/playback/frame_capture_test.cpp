// Frame capture against the real engine and wrapper on demo clips: the file it writes, which
// output it takes, the pause and resume around it, the quick capture into Snaplet, and the
// real dialog and launcher.
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/core/player_state.h"
#include "engine/output/memory_surface.h"
#include "engine/output/picture_convert.h"
#include "platform/wide_text.h"
#include "playback/cm_player.h"
#include "playback/frame_capture.h"
#include "playback/video_widget.h"
#include "tests/playback/player_test_support.h"
#include "tests/support/demo_card.h"
#include "tests/support/environment_value.h"
#include "tests/support/jpeg_file.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait_until.h"
#include "tools/mkcard/demo_clip.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kDemoWidth = 640, kDemoHeight = 360;
// The two-camera fixture: one picture for each size class of output.
constexpr int kLargeWidth = 672, kLargeHeight = 384;
constexpr int kSmallWidth = 320, kSmallHeight = 176;

int64_t MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// One demo card for the whole program.
const CTempFolder &DemoCard()
{
    static CTempFolder card;
    static const bool made = [] {
        EXPECT_TRUE(WriteDemoCard(card.Path()));
        return true;
    }();
    (void)made;
    return card;
}

std::string DemoClip()
{
    return DemoCard() / "RECORD/20101011/R_20101011_134500.avi";
}

// Front camera wider than 640 pixels, rear camera narrower, in one AVI clip.
const std::string &TwoCameraClip()
{
    static const std::string path = [] {
        DemoClipSpec spec;
        spec.path = DemoCard() / "two_cameras.avi";
        spec.container = ClipContainer::Avi;
        spec.startUtc = 1286805000;
        spec.durationMs = 4000;
        spec.width = kLargeWidth;
        spec.height = kLargeHeight;
        spec.secondWidth = kSmallWidth;
        spec.secondHeight = kSmallHeight;
        spec.tintU = 90;
        spec.tintV = 170;
        std::string error;
        EXPECT_TRUE(WriteDemoClip(spec, &error)) << error;
        return spec.path;
    }();
    return path;
}

// A picture as 24-bit pixels in the byte order blue, green, red.
struct Bgr24
{
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
};

// The picture last written into an I420 surface, converted as the capture converts it.
Bgr24 PresentedPicture(const MemorySurface &surface, int width, int height)
{
    const MemorySurface::Record record = surface.Snapshot();
    Bgr24 picture;
    const int32_t pitch = record.nFramePitch;
    if (record.dwFrameLayout != FOURCC_I420 ||
        record.frame.size() < SurfaceFrameBytes(FOURCC_I420, pitch, height))
        return picture;
    const uint8_t *y = record.frame.data();
    const uint8_t *u = y + static_cast<size_t>(pitch) * height;
    const uint8_t *v = u + static_cast<size_t>(pitch / 2) * (height / 2);
    picture.width = width;
    picture.height = height;
    picture.pixels.resize(static_cast<size_t>(width) * height * 3);
    YuvToBgr24(picture.pixels.data(), width, height, width * 3, y, u, v, pitch);
    return picture;
}

// Once the engine is paused it presents the same picture again and again; that one is what a
// capture gets. Empty when the picture kept changing for a second.
Bgr24 StillPicture(const MemorySurface &surface, int width, int height)
{
    const auto end = Clock::now() + 1s;
    while (Clock::now() < end) {
        const std::vector<uint8_t> before = surface.Snapshot().frame;
        std::this_thread::sleep_for(80ms);
        if (!before.empty() && surface.Snapshot().frame == before)
            return PresentedPicture(surface, width, height);
    }
    return Bgr24{};
}

// Mean absolute difference per sample between a decoded file and a converted picture; 255
// when their sizes differ.
double MeanDifference(const DecodedJpeg &file, const Bgr24 &picture)
{
    if (file.width != picture.width || file.height != picture.height || picture.pixels.empty())
        return 255;
    uint64_t sum = 0;
    for (size_t i = 0; i < picture.pixels.size(); i += 3)
        for (size_t c = 0; c < 3; ++c)
            sum += uint64_t(std::abs(int(file.rgb[i + c]) - int(picture.pixels[i + 2 - c])));
    return double(sum) / double(picture.pixels.size());
}

// Waits until the wrapper reports playing past the position.
void WaitPast(CCMPlayer &player, uint32_t positionMs)
{
    ASSERT_TRUE(PumpUntil([&] {
        return player.GetState() == CMP_PLAYING && player.PlayPosition() >= positionMs;
    })) << "state "
        << player.GetState() << " at " << player.PlayPosition();
}

void PlayPast(CCMPlayer &player, const std::string &clip, uint32_t positionMs)
{
    ASSERT_EQ(player.Play(Utf8ToWide(clip).c_str()), 1);
    WaitPast(player, positionMs);
}

// True when the position moves on by 300 ms within two seconds.
bool PlaysOn(CCMPlayer &player)
{
    const uint32_t from = player.PlayPosition();
    return PumpUntil([&] { return player.PlayPosition() >= from + 300; }, 2s);
}

// The main window's place for the player's messages; nothing here needs them.
class CQuietWindow : public QObject
{
};

// A wrapper on two in-memory video windows that keep what was presented.
class FrameCaptureTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pPlayer = std::make_unique<CCMPlayer>(&m_notify, &m_surface0, &m_surface1);
        ASSERT_NE(m_pPlayer->m_pEngine, nullptr);
    }
    void TearDown() override
    {
        SetCaptureSaveDialog({});
        SetSnapletLauncher({});
        m_pPlayer.reset();
        QCoreApplication::processEvents();
    }

    void PauseAndWait()
    {
        m_pPlayer->Pause();
        ASSERT_TRUE(PumpUntil([&] { return m_pPlayer->Status().nState == VS_PAUSED; }));
    }

    // True when the position stays put for a second and a half.
    bool StaysPaused()
    {
        const uint32_t from = m_pPlayer->PlayPosition();
        Pump(1500ms);
        return m_pPlayer->PlayPosition() <= from + 50 && m_pPlayer->GetState() == CMP_PAUSED;
    }

    CWatchdog m_watchdog{60s};
    CTempFolder m_folder;
    MemorySurface m_surface0{320, 180, {FOURCC_I420}};
    MemorySurface m_surface1{160, 90, {FOURCC_I420}};
    CQuietWindow m_notify;
    std::unique_ptr<CCMPlayer> m_pPlayer;
};

// What the dialog saw when it ran.
struct DialogVisit
{
    bool bRan = false;
    int32_t nState = 0;
    uint32_t nPosition = 0;
    Bgr24 presented;
};

// A single-camera demo clip 640 pixels wide, with the large area showing slot 0: no output of
// the large class exists, so the capture takes the one picture there is.
TEST_F(FrameCaptureTest, CaptureWhilePlayingSavesThePresentedPictureAndResumesASecondLater)
{
    ASSERT_NO_FATAL_FAILURE(PlayPast(*m_pPlayer, DemoClip(), 200));
    const Bgr24 earlier = PresentedPicture(m_surface0, kDemoWidth, kDemoHeight);
    ASSERT_NO_FATAL_FAILURE(WaitPast(*m_pPlayer, 700));

    DialogVisit visit;
    const std::string path = m_folder / "shot.jpg";
    SetCaptureSaveDialog([&](QWidget *) {
        visit.bRan = true;
        visit.nState = m_pPlayer->GetState();
        visit.nPosition = m_pPlayer->PlayPosition();
        visit.presented = StillPicture(m_surface0, kDemoWidth, kDemoHeight);
        return QString::fromStdString(path);
    });
    const auto start = Clock::now();
    CaptureToFile(nullptr, m_pPlayer.get(), true);
    const int64_t took = MsSince(start);
    const uint32_t positionAfter = m_pPlayer->PlayPosition();

    ASSERT_TRUE(visit.bRan);
    EXPECT_EQ(visit.nState, CMP_PAUSED);
    ASSERT_FALSE(visit.presented.pixels.empty()) << "the picture did not stand still";
    const DecodedJpeg file = DecodeJpegFile(path);
    ASSERT_TRUE(file.ok);
    EXPECT_EQ(file.width, kDemoWidth);
    EXPECT_EQ(file.height, kDemoHeight);
    EXPECT_EQ(file.quantTables, LibjpegQualityTables(90));
    EXPECT_NE(file.quantTables, LibjpegQualityTables(75));
    EXPECT_TRUE(file.jfif);
    EXPECT_EQ(file.densityUnit, 1); // dots per inch
    EXPECT_EQ(file.xDensity, 96);
    EXPECT_EQ(file.yDensity, 96);
    // Quality 90 keeps the converted picture closely; half a second of playback earlier the
    // clock digits and the scrolling bars stood elsewhere.
    const double same = MeanDifference(file, visit.presented);
    const double other = MeanDifference(file, earlier);
    EXPECT_LT(same, 3.0);
    EXPECT_GT(other, 2 * same + 1.0) << "same " << same;

    // Paused through the dialog, the capture and the second after it; then playing again.
    EXPECT_GE(took, 1100);
    EXPECT_LE(positionAfter, visit.nPosition + 150);
    EXPECT_TRUE(PlaysOn(*m_pPlayer));
    EXPECT_EQ(m_pPlayer->GetState(), CMP_PLAYING);
}

enum class Answer
{
    File,   // a path with a file name
    NoName, // accepted with a folder only
    Cancel, // closed without a path
};

struct ResumeCase
{
    const char *name;
    int32_t nStartState; // CMP_PLAYING, CMP_PAUSED or CMP_STOPPED
    Answer answer;
    bool bWritten;
    bool bResumed;
};

const ResumeCase kResumeCases[] = {
    {"PausedStaysPaused", CMP_PAUSED, Answer::File, true, false},
    {"CancelledResumes", CMP_PLAYING, Answer::Cancel, false, true},
    {"NoFileNameStaysPaused", CMP_PLAYING, Answer::NoName, false, false},
    {"StoppedWritesNothing", CMP_STOPPED, Answer::File, false, false},
};

void PrintTo(const ResumeCase &c, std::ostream *out)
{
    *out << c.name;
}

class CaptureResumeTest : public FrameCaptureTest, public ::testing::WithParamInterface<ResumeCase>
{
};

TEST_P(CaptureResumeTest, ResumesOnlyWhatWasPlayingAndWritesOnlyANamedFile)
{
    const ResumeCase &c = GetParam();
    if (c.nStartState != CMP_STOPPED) {
        ASSERT_NO_FATAL_FAILURE(PlayPast(*m_pPlayer, DemoClip(), 400));
    }
    if (c.nStartState == CMP_PAUSED) {
        ASSERT_NO_FATAL_FAILURE(PauseAndWait());
    }
    const std::string path = m_folder / "capture.jpg";
    SetCaptureSaveDialog([&](QWidget *) {
        switch (c.answer) {
        case Answer::File:
            return QString::fromStdString(path);
        case Answer::NoName:
            return QString::fromStdString(m_folder.Path());
        case Answer::Cancel:
            break;
        }
        return QString();
    });
    const auto start = Clock::now();
    CaptureToFile(nullptr, m_pPlayer.get(), true);
    const int64_t took = MsSince(start);

    EXPECT_EQ(DecodeJpegFile(path).ok, c.bWritten);
    EXPECT_EQ(QDir(QString::fromStdString(m_folder.Path())).entryList(QDir::Files).size(),
              c.bWritten ? 1 : 0);
    if (c.bResumed) {
        EXPECT_GE(took, 1100);
        EXPECT_TRUE(PlaysOn(*m_pPlayer));
    } else {
        EXPECT_LT(took, 1000) << "no resume, so no wait for one";
        if (c.nStartState != CMP_STOPPED)
            EXPECT_TRUE(StaysPaused());
        else
            EXPECT_EQ(m_pPlayer->GetState(), CMP_STOPPED);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CaptureResumeTest, ::testing::ValuesIn(kResumeCases),
                         [](const auto &info) { return std::string(info.param.name); });

// After Change Screen the large area shows slot 1 and the capture takes the output of
// pictures 640 wide or less; before it, the one of wider pictures.
TEST_F(FrameCaptureTest, TheSelectorTakesTheOutputOfItsSizeClass)
{
    const std::string clip = TwoCameraClip();
    ASSERT_FALSE(HasFailure());
    ASSERT_NO_FATAL_FAILURE(PlayPast(*m_pPlayer, clip, 400));
    struct Shot
    {
        bool bMainIsSlot0;
        const MemorySurface *surface;
        int width, height;
        const char *name;
    };
    const Shot shots[] = {
        {true, &m_surface0, kLargeWidth, kLargeHeight, "large.jpg"},
        {false, &m_surface1, kSmallWidth, kSmallHeight, "small.jpg"},
    };
    for (const Shot &shot : shots) {
        SCOPED_TRACE(shot.name);
        ASSERT_TRUE(PumpUntil([&] { return m_pPlayer->GetState() == CMP_PLAYING; }));
        Bgr24 presented;
        const std::string path = m_folder / shot.name;
        SetCaptureSaveDialog([&](QWidget *) {
            presented = StillPicture(*shot.surface, shot.width, shot.height);
            return QString::fromStdString(path);
        });
        CaptureToFile(nullptr, m_pPlayer.get(), shot.bMainIsSlot0);
        const DecodedJpeg file = DecodeJpegFile(path);
        ASSERT_TRUE(file.ok);
        EXPECT_EQ(file.width, shot.width);
        EXPECT_EQ(file.height, shot.height);
        EXPECT_LT(MeanDifference(file, presented), 3.0);
    }
}

// Quick captures through two real video windows of the software path.
class QuickCaptureTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        MakeFolders(m_strTemp);
        ::chmod(m_strTemp.c_str(), 0700); // a runtime folder is private

        auto *column = new QVBoxLayout(&m_window);
        column->addWidget(CreateVideoWidget(&m_window, &m_pSlot0));
        column->addWidget(CreateVideoWidget(&m_window, &m_pSlot1));
        m_window.resize(640, 720);
        m_window.show();
        m_pPlayer = std::make_unique<CCMPlayer>(&m_notify, m_pSlot0, m_pSlot1);
        ASSERT_NE(m_pPlayer->m_pEngine, nullptr);
    }
    void TearDown() override
    {
        SetSnapletLauncher({});
        m_pPlayer.reset();
        QCoreApplication::processEvents();
    }

    CWatchdog m_watchdog{60s};
    CTempFolder m_folder;
    std::string m_strTemp = m_folder / "temp with space";
    // Made (once) before TMPDIR points into this test's own folder.
    const std::string m_strClip = DemoClip();
    CEnvironmentValue m_video{"ROADLOG_VIDEO", "software"};
    CEnvironmentValue m_temp{"TMPDIR", m_strTemp};
    CEnvironmentValue m_runtime{"XDG_RUNTIME_DIR", m_strTemp};
    QWidget m_window;
    VideoSurface *m_pSlot0 = nullptr;
    VideoSurface *m_pSlot1 = nullptr;
    CQuietWindow m_notify;
    std::unique_ptr<CCMPlayer> m_pPlayer;
};

struct Launch
{
    QString path;
    QByteArray bytes; // the file as Snaplet would find it
};

TEST_F(QuickCaptureTest, WritesTmp1InThePrivateFolderAndOpensItEachTime)
{
    EXPECT_EQ(QuickCaptureName(), QString::fromStdString(m_strTemp + "/tmp1.jpg"));
    std::vector<Launch> launches;
    SetSnapletLauncher([&](const QString &path) {
        QFile file(path);
        launches.push_back({path, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray()});
        return true;
    });
    ASSERT_NO_FATAL_FAILURE(PlayPast(*m_pPlayer, m_strClip, 300));

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const uint32_t before = m_pPlayer->PlayPosition();
        const auto start = Clock::now();
        CaptureToViewer(m_pPlayer.get(), true);
        EXPECT_GE(MsSince(start), 100 + 200 + 1000);
        ASSERT_EQ(launches.size(), size_t(round + 1));
        EXPECT_EQ(launches.back().path, QuickCaptureName());
        const DecodedJpeg file = DecodeJpegFile(launches.back().path.toStdString());
        ASSERT_TRUE(file.ok);
        EXPECT_EQ(file.width, kDemoWidth);
        EXPECT_EQ(file.height, kDemoHeight);
        EXPECT_EQ(file.quantTables, LibjpegQualityTables(90));
        // Resumed: the clip goes on from where it was taken.
        EXPECT_LE(m_pPlayer->PlayPosition(), before + 150);
        EXPECT_TRUE(PlaysOn(*m_pPlayer));
    }
    // The second capture rewrote the file with a later picture; it left no other file.
    EXPECT_NE(launches[0].bytes, launches[1].bytes);
    EXPECT_EQ(QDir(QString::fromStdString(m_strTemp)).entryList(QDir::Files),
              QStringList{"tmp1.jpg"});
}

TEST_F(QuickCaptureTest, AMissingSnapletIsNoFailureOfTheCapture)
{
    MakeFolders(m_folder / "empty");
    std::optional<CEnvironmentValue> path(std::in_place, "PATH", m_folder / "empty");
    EXPECT_TRUE(FindSnaplet(QCoreApplication::applicationDirPath()).isEmpty());
    ASSERT_NO_FATAL_FAILURE(PlayPast(*m_pPlayer, m_strClip, 300));
    CaptureToViewer(m_pPlayer.get(), true);
    path.reset();
    EXPECT_TRUE(DecodeJpegFile(QuickCaptureName().toStdString()).ok);
    EXPECT_TRUE(PlaysOn(*m_pPlayer));
}

// Neither the runtime folder nor the temporary folder exists: the file cannot be written,
// nothing is opened, and the clip goes on as after any quick capture.
TEST_F(QuickCaptureTest, AMissingTemporaryFolderOpensNothing)
{
    CEnvironmentValue gone("TMPDIR", m_folder / "gone");
    CEnvironmentValue goneRuntime("XDG_RUNTIME_DIR", m_folder / "gone");
    int launches = 0;
    SetSnapletLauncher([&](const QString &) {
        ++launches;
        return true;
    });
    ASSERT_NO_FATAL_FAILURE(PlayPast(*m_pPlayer, m_strClip, 300));
    CaptureToViewer(m_pPlayer.get(), true);
    EXPECT_EQ(launches, 0);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(m_folder / "gone")));
    EXPECT_TRUE(PlaysOn(*m_pPlayer));
}

// A capture that writes nothing (no picture is presented) opens nothing, not even the
// picture an earlier quick capture left behind.
TEST_F(QuickCaptureTest, AFailedCaptureOpensNoOldPicture)
{
    const std::string old = m_strTemp + "/tmp1.jpg";
    WriteText(old, "an earlier capture");
    int launches = 0;
    SetSnapletLauncher([&](const QString &) {
        ++launches;
        return true;
    });
    CaptureToViewer(m_pPlayer.get(), true);
    EXPECT_EQ(launches, 0);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(old)));
    CaptureToViewer(nullptr, true); // no player: nothing at all
    EXPECT_EQ(launches, 0);
}

TEST(CaptureNames, TempFileNamesAreFormedAsTheSystemDoes)
{
    EXPECT_EQ(TempFileName("/tmp", "tmp", 1), QStringLiteral("/tmp/tmp1.tmp"));
    EXPECT_EQ(TempFileName("/var/tmp/", "capture", 0x2A), QStringLiteral("/var/tmp/cap2A.tmp"));
    EXPECT_EQ(TempFileName("", "tmp", 1), QString());
}

// In a shared temporary folder another user's tmp1.jpg could not be replaced and would be
// opened instead: the quick capture goes to a folder of this user only.
TEST(CaptureNames, QuickCaptureGoesToAFolderOfThisUserOnly)
{
    CTempFolder folder;
    const std::string shared = folder / "tmp";
    const std::string runtime = folder / "run";
    MakeFolders(shared);
    ::chmod(shared.c_str(), 01777);
    WriteText(shared + "/tmp1.jpg", "another user's picture");
    MakeFolders(runtime);
    CEnvironmentValue temp("TMPDIR", shared);
    CEnvironmentValue keep("XDG_RUNTIME_DIR", ""); // put back at the end
    const struct
    {
        const char *name;
        const char *runtimeDir; // XDG_RUNTIME_DIR; null: unset
        mode_t mode;
        bool usesRuntime;
    } cases[] = {
        {"private runtime folder", "run", 0700, true},
        {"runtime folder open to others", "run", 0755, false},
        {"runtime folder missing", "gone", 0700, false},
        {"no runtime folder", nullptr, 0700, false},
    };
    QString fallback;
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.name);
        ::chmod(runtime.c_str(), tc.mode);
        std::optional<CEnvironmentValue> run;
        if (tc.runtimeDir)
            run.emplace("XDG_RUNTIME_DIR", folder / tc.runtimeDir);
        else
            qunsetenv("XDG_RUNTIME_DIR");
        const QFileInfo name(QuickCaptureName());
        EXPECT_EQ(name.fileName(), "tmp1.jpg");
        if (tc.usesRuntime) {
            EXPECT_EQ(name.absolutePath().toStdString(), runtime);
            continue;
        }
        // A fresh folder in the temporary folder, made once and then kept.
        EXPECT_EQ(name.dir().absolutePath().toStdString().rfind(shared + "/roadlog-", 0), 0u)
            << name.absoluteFilePath().toStdString();
        struct stat st
        {
        };
        ASSERT_EQ(::stat(name.absolutePath().toLocal8Bit().constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        EXPECT_EQ(st.st_uid, ::geteuid());
        if (fallback.isEmpty())
            fallback = name.absolutePath();
        EXPECT_EQ(name.absolutePath(), fallback);
    }
}

// A program that writes what it was started with (arguments, session, open descriptors) to a
// file, standing in for Snaplet.
class FakeSnaplet
{
public:
    explicit FakeSnaplet(const std::string &folder)
        : m_strFolder(folder), m_strRecord(folder + "/started.txt")
    {
        MakeFolders(folder);
        WriteText(folder + "/Snaplet",
                  "#!/bin/sh\n"
                  "{ echo \"$#\"; echo \"$1\"; cut -d' ' -f6 /proc/$$/stat; ls /proc/$$/fd; } > '" +
                      m_strRecord +
                      ".part'\n"
                      "mv '" +
                      m_strRecord + ".part' '" + m_strRecord + "'\n");
        ::chmod((folder + "/Snaplet").c_str(), 0755);
    }
    const std::string &Folder() const { return m_strFolder; }
    // The lines it wrote, once it has run; empty after five seconds without.
    std::vector<std::string> Record() const
    {
        WaitUntil([&] { return QFileInfo::exists(QString::fromStdString(m_strRecord)); }, 5000);
        std::vector<std::string> lines;
        const std::vector<uint8_t> bytes = ReadBytes(m_strRecord);
        std::string line;
        for (uint8_t b : bytes) {
            if (b == '\n') {
                lines.push_back(line);
                line.clear();
            } else {
                line += char(b);
            }
        }
        return lines;
    }

private:
    std::string m_strFolder;
    std::string m_strRecord;
};

TEST(SnapletLauncher, FindsTheProgramBesideTheViewerElseOnPath)
{
    CTempFolder folder;
    const FakeSnaplet beside(folder / "beside");
    const FakeSnaplet onPath(folder / "bin");
    MakeFolders(folder / "plain");
    WriteText(folder / "plain/Snaplet", "not a program"); // not executable
    std::optional<CEnvironmentValue> path(std::in_place, "PATH", onPath.Folder());
    const QString found = QString::fromStdString(onPath.Folder() + "/Snaplet");
    EXPECT_EQ(FindSnaplet(QString::fromStdString(beside.Folder())),
              QString::fromStdString(beside.Folder() + "/Snaplet"));
    EXPECT_EQ(FindSnaplet(QString::fromStdString(folder / "plain")), found);
    EXPECT_EQ(FindSnaplet(QString::fromStdString(folder / "missing")), found);
    path.emplace("PATH", folder / "missing");
    EXPECT_TRUE(FindSnaplet(QString::fromStdString(folder / "plain")).isEmpty());
}

// The path is one argument whatever it holds, the program runs in a session of its own, and
// none of the viewer's open files reach it.
TEST(SnapletLauncher, StartsDetachedWithThePathAsItsOneArgument)
{
    CTempFolder folder;
    const FakeSnaplet snaplet(folder / "bin");
    const std::string picture = folder / "my captures/tmp1 (2).jpg";
    const int leaked = ::open((folder / "open.txt").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(leaked, 0);
    std::optional<CEnvironmentValue> path(std::in_place, "PATH",
                                          snaplet.Folder() + ":" + qgetenv("PATH").toStdString());
    const bool started = StartSnaplet(QString::fromStdString(picture));
    path.reset();
    ASSERT_TRUE(started);
    const std::vector<std::string> record = snaplet.Record();
    ::close(leaked);
    ASSERT_GE(record.size(), 3u);
    EXPECT_EQ(record[0], "1");
    EXPECT_EQ(record[1], picture);
    EXPECT_NE(record[2], std::to_string(::getsid(0)));
    for (size_t i = 3; i < record.size(); ++i)
        EXPECT_NE(record[i], std::to_string(leaked)) << "an open file of the viewer was inherited";
}

// Qt's own save dialog: one filter, and a new name typed without its extension comes back as
// a .jpg path; the dialog itself writes nothing.
TEST(CaptureSaveDialog, AcceptsANewFileNameAndAddsTheExtension)
{
    CTempFolder folder;
    QString filters, suffix;
    bool bSaveMode = false;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        filters = dialog->nameFilters().join("|");
        suffix = dialog->defaultSuffix();
        bSaveMode = dialog->acceptMode() == QFileDialog::AcceptSave;
        dialog->setDirectory(QString::fromStdString(folder.Path()));
        auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
        if (!name) {
            dialog->reject();
            return;
        }
        name->setText("new shot");
        QTest::keyClick(name, Qt::Key_Return);
    });
    const QString chosen = RunCaptureSaveDialog(nullptr);
    EXPECT_EQ(filters, QStringLiteral("Jpeg Files (*.jpg)"));
    EXPECT_EQ(suffix, QStringLiteral("jpg"));
    EXPECT_TRUE(bSaveMode);
    EXPECT_EQ(QFileInfo(chosen).absoluteFilePath(),
              QFileInfo(QString::fromStdString(folder / "new shot.jpg")).absoluteFilePath());
    EXPECT_FALSE(QFileInfo::exists(chosen));
}

TEST(CaptureNullPlayer, DoesNothing)
{
    bool bAsked = false;
    SetCaptureSaveDialog([&](QWidget *) {
        bAsked = true;
        return QString();
    });
    const auto start = Clock::now();
    CaptureToFile(nullptr, nullptr, true);
    SetCaptureSaveDialog({});
    EXPECT_FALSE(bAsked);
    EXPECT_LT(MsSince(start), 50);
}

} // namespace
