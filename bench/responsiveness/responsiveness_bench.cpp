// How soon the viewer answers: from Next Movie (stop the playing clip, play the next) to the
// next clip's first picture painted, and from a precise seek to the picture at the target
// painted, through the player wrapper into a software video window, with the sound through
// SDL's disk driver into /dev/null unless SDL_AUDIODRIVER says otherwise. The clip: 10 s of 1080p30
// H.264 with a key frame every second and AAC sound, written by ffmpeg at start-up; the seek goes
// to 6.5 s, half a second past a key frame.
//
//   bench_responsiveness [benchmark options]
//
// Times are wall clock (the user waits for them), so a loaded machine shows in them.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <QApplication>
#include <QWidget>
#include <benchmark/benchmark.h>

#include "engine/core/vantor_player_internal.h"
#include "platform/wide_text.h"
#include "playback/cm_player.h"
#include "playback/video_widget.h"
#include "tests/support/pump_events.h"
#include "tests/support/temp_folder.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int32_t kSeekTargetMs = 6500;

std::string g_clipA, g_clipB;

bool WriteClip(const std::string &path)
{
    const std::string command =
        "ffmpeg -hide_banner -loglevel error -y -f lavfi -i "
        "testsrc2=size=1920x1080:rate=30:duration=10 -f lavfi -i "
        "sine=frequency=440:sample_rate=48000:duration=10 -c:v libx264 -preset veryfast -bf 0 "
        "-g 30 -pix_fmt yuv420p -c:a aac -b:a 128k -ac 2 '" +
        path + "'";
    return std::system(command.c_str()) == 0;
}

// The wrapper and its window; counts every picture the engine presents, and remembers the
// number of the first one at or past a time asked for.
class Viewer
{
public:
    Viewer()
    {
        m_pWindow = CreateVideoWidget(nullptr, &m_pSurface);
        m_pWindow->resize(640, 360);
        m_pWindow->show();
        m_pPlayer = std::make_unique<CCMPlayer>(&m_Notify, m_pSurface, nullptr);
        Playback *pb = VantorPlayback(m_pPlayer->m_pEngine);
        pb->pPresentedContext = this;
        pb->pfnPresented = [](void *context, int32_t, int32_t pictureMs, bool) {
            auto *self = static_cast<Viewer *>(context);
            const int number = ++self->m_nPresented;
            if (self->m_nAwaitedMs >= 0 && pictureMs >= self->m_nAwaitedMs &&
                self->m_nAwaitedNumber.load() == 0)
                self->m_nAwaitedNumber = number;
        };
    }
    ~Viewer()
    {
        m_pPlayer->Stop();
        m_pPlayer.reset();
        delete m_pWindow;
    }

    CCMPlayer &Player() { return *m_pPlayer; }
    int Presented() const { return m_nPresented.load(); }
    // Every presented picture is painted once or given up.
    int Shown() const { return PaintedPictures(m_pWindow) + GivenUpPictures(m_pWindow); }

    // Runs the window thread until picture number `number` has been painted; false after 5 s.
    bool PaintedUpTo(int number)
    {
        return PumpUntil([&] { return Shown() >= number; }, std::chrono::seconds(5));
    }
    // Plays the clip until its position passes ms.
    bool PlayTo(const std::string &clip, uint32_t ms)
    {
        return m_pPlayer->Play(Utf8ToWide(clip).c_str()) == 1 && PumpUntil([&] {
                   return m_pPlayer->GetState() == CMP_PLAYING && m_pPlayer->StatusPosition() >= ms;
               });
    }
    // The next picture presented at or past ms is awaited.
    void Await(int32_t ms)
    {
        m_nAwaitedNumber = 0;
        m_nAwaitedMs = ms;
    }
    // Runs the window thread until the awaited picture was presented and painted.
    bool AwaitedPainted()
    {
        const bool bPresented =
            PumpUntil([&] { return m_nAwaitedNumber.load() != 0; }, std::chrono::seconds(5));
        m_nAwaitedMs = -1;
        return bPresented && PaintedUpTo(m_nAwaitedNumber.load());
    }

private:
    QObject m_Notify; // the wrapper's messages go here and are dropped
    QWidget *m_pWindow = nullptr;
    VideoSurface *m_pSurface = nullptr;
    std::unique_ptr<CCMPlayer> m_pPlayer;
    std::atomic<int> m_nPresented{0};
    std::atomic<int32_t> m_nAwaitedMs{-1};
    std::atomic<int> m_nAwaitedNumber{0};
};

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_NextMovieToFirstPicture(benchmark::State &state)
{
    Viewer viewer;
    for (auto _ : state) {
        if (!viewer.PlayTo(g_clipA, 1500)) {
            state.SkipWithError("the first clip did not play");
            return;
        }
        // What Next Movie does through the wrapper: stop, then play the next clip.
        const auto start = Clock::now();
        viewer.Player().Stop();
        const int before = viewer.Presented();
        viewer.Player().Play(Utf8ToWide(g_clipB).c_str());
        if (!viewer.PaintedUpTo(before + 1)) {
            state.SkipWithError("the next clip showed no picture");
            return;
        }
        state.SetIterationTime(SecondsSince(start));
        viewer.Player().Stop();
    }
}

void BM_PreciseSeekToPicture(benchmark::State &state)
{
    Viewer viewer;
    for (auto _ : state) {
        if (!viewer.PlayTo(g_clipA, 1500)) {
            state.SkipWithError("the clip did not play");
            return;
        }
        viewer.Await(kSeekTargetMs);
        const auto start = Clock::now();
        viewer.Player().SeekTo(kSeekTargetMs);
        if (!viewer.AwaitedPainted()) {
            state.SkipWithError("the picture at the seek target was not shown");
            return;
        }
        state.SetIterationTime(SecondsSince(start));
        viewer.Player().Stop();
    }
}

BENCHMARK(BM_NextMovieToFirstPicture)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreciseSeekToPicture)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("ROADLOG_VIDEO", "software");
    if (!std::getenv("SDL_AUDIODRIVER")) {
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", "/dev/null");
    }
    QApplication application(argc, argv);
    CTempFolder folder;
    g_clipA = folder / "R_A.avi";
    g_clipB = folder / "R_B.avi";
    std::fprintf(stderr, "writing a 10 s 1080p H.264 + AAC clip\n");
    if (!WriteClip(g_clipA) || !std::filesystem::copy_file(g_clipA, g_clipB)) {
        std::fprintf(stderr, "bench_responsiveness: ffmpeg could not write the clip\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
