// roadlog-play: plays one clip at 1x through the viewer's own player wrapper and video window,
// from start to end, then quits. What tools/cpu-compare measures against ffplay.
//
//   roadlog-play [--size WxH] [--sync] FILE
//
// Prints "painted N" (pictures the video window painted, each once), "given up N" (pictures it
// never painted because its thread fell behind) and "duration MS" on exit; exit code
// 0 when the clip played to its end, 1 when the player refused it or reported an error.
// --sync also prints the engine's own sync record, sampled every 100 ms: the picture presented
// against the sound heard and against the clock it was presented by (median, 5th and 95th
// percentile, ms; positive = picture late).

#include <algorithm>
#include <cstdio>
#include <vector>

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <QWidget>

#include "platform/wide_text.h"
#include "playback/cm_player.h"
#include "playback/play_messages.h"
#include "playback/video_widget.h"

namespace {

class CPlayWindow : public QWidget
{
public:
    explicit CPlayWindow(QSize size)
    {
        setWindowTitle(QStringLiteral("roadlog-play"));
        resize(size);
        m_pVideo = CreateVideoWidget(this, &m_pSurface);
        m_pVideo->setGeometry(rect());
        m_pPlayer = std::make_unique<CCMPlayer>(this, m_pSurface, nullptr);
    }

    CCMPlayer &Player() { return *m_pPlayer; }
    // Samples the engine's sync record every 100 ms while the clip plays.
    void RecordSync()
    {
        connect(&m_syncTimer, &QTimer::timeout, this, [this] {
            VantorAvSync sync{};
            if (!m_pPlayer->m_pEngine || !VantorGetAvSync(m_pPlayer->m_pEngine, &sync) ||
                sync.nCount == 0 || sync.nCount == m_nLastSync)
                return;
            m_nLastSync = sync.nCount;
            // Late pictures are positive: the sound or the clock is past the picture's time.
            m_heard.push_back(sync.nHeardMs - sync.nPictureMs);
            m_clock.push_back(sync.nClockMs - sync.nPictureMs);
        });
        m_syncTimer.start(100);
    }
    void PrintSync() const
    {
        Print("picture - heard", m_heard);
        Print("picture - clock", m_clock);
    }
    int Painted() const { return PaintedPictures(m_pVideo); }
    int GivenUp() const { return GivenUpPictures(m_pVideo); }
    uintptr_t Duration() const { return m_nDuration; }
    bool Failed() const { return m_bFailed; }

protected:
    bool event(QEvent *e) override
    {
        if (e->type() == WM_PLAY_STARTED) {
            m_nDuration = static_cast<CPlayMessage *>(e)->WParam();
            return true;
        }
        if (e->type() == WM_PLAY_STATUS)
            return true;
        if (e->type() == WM_PLAY_ENDED) {
            if (const char *error = m_pPlayer->TakeLastError()) {
                std::fprintf(stderr, "roadlog-play: %s\n", error);
                m_bFailed = true;
            }
            QCoreApplication::quit();
            return true;
        }
        return QWidget::event(e);
    }

private:
    static void Print(const char *label, std::vector<int> values)
    {
        if (values.empty()) {
            std::printf("%s: no pictures compared\n", label);
            return;
        }
        std::sort(values.begin(), values.end());
        const auto at = [&](size_t percent) { return values[(values.size() - 1) * percent / 100]; };
        std::printf("%s: %zu pictures, median %+d, p5 %+d, p95 %+d ms\n", label, values.size(),
                    at(50), at(5), at(95));
    }

    QTimer m_syncTimer;
    uint32_t m_nLastSync = 0;
    std::vector<int> m_heard, m_clock;
    QWidget *m_pVideo = nullptr;
    VideoSurface *m_pSurface = nullptr;
    std::unique_ptr<CCMPlayer> m_pPlayer;
    uintptr_t m_nDuration = 0;
    bool m_bFailed = false;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption sizeOption(QStringLiteral("size"), QStringLiteral("window size"),
                                        QStringLiteral("WxH"), QStringLiteral("640x360"));
    parser.addOption(sizeOption);
    const QCommandLineOption syncOption(QStringLiteral("sync"),
                                        QStringLiteral("print the engine's sync record"));
    parser.addOption(syncOption);
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("clip to play"));
    parser.process(application);
    const QStringList size = parser.value(sizeOption).split(QLatin1Char('x'));
    const int width = size.size() == 2 ? size[0].toInt() : 0;
    const int height = size.size() == 2 ? size[1].toInt() : 0;
    if (parser.positionalArguments().size() != 1 || width <= 0 || height <= 0) {
        std::fprintf(stderr, "usage: roadlog-play [--size WxH] [--sync] FILE\n");
        return 2;
    }

    CPlayWindow window(QSize(width, height));
    window.show();
    const std::string path = parser.positionalArguments().first().toStdString();
    if (window.Player().Play(Utf8ToWide(path).c_str()) != 1) {
        const char *error = window.Player().TakeLastError();
        std::fprintf(stderr, "roadlog-play: cannot play %s: %s\n", path.c_str(),
                     error ? error : "refused");
        return 1;
    }
    if (parser.isSet(syncOption))
        window.RecordSync();
    application.exec();
    window.Player().Stop();
    if (parser.isSet(syncOption))
        window.PrintSync();
    std::printf("painted %d\ngiven up %d\nduration %lu\n", window.Painted(), window.GivenUp(),
                static_cast<unsigned long>(window.Duration()));
    return window.Failed() ? 1 : 0;
}
