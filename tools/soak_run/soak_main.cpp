// roadlog-soak: the real main window and player on a card, played with auto-advance for a set
// time while pauses and seeks are thrown in at random; samples resident memory and the A/V
// offset (the picture presented against the sound heard then) and writes a report. Run it
// through tools/soak, which makes the card and the X server.
//
//   roadlog-soak --card ROOT [--minutes N] [--report FILE] [--audio-file FILE] [--seed N]
//
// Exit code 0 when the run went the whole time, 1 for bad arguments or a card without RECORD
// clips, 3 when playback stalled (no clip started for a minute).

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <unistd.h>

#include "app/tavlo_frame.h"
#include "playback/cm_player.h"
#include "playback/play_messages.h"
#include "recordings/html_list_ctrl.h"
#include "recordings/play_infor.h"
#include "widgets/window_message.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The player the window made: the soak reads the engine's sync record through it.
CCMPlayer *g_pPlayer = nullptr;

// Resident memory in KiB from /proc/self/statm; 0 when unreadable.
uint64_t ResidentKiB()
{
    std::ifstream statm("/proc/self/statm");
    uint64_t size = 0, resident = 0;
    if (!(statm >> size >> resident))
        return 0;
    return resident * uint64_t(sysconf(_SC_PAGESIZE)) / 1024;
}

class CSoakFrame : public CTavloFrame
{
public:
    CSoakFrame()
        : CTavloFrame([](QObject *notify, VideoSurface *slot0, VideoSurface *slot1) {
              auto player = std::make_unique<CCMPlayer>(notify, slot0, slot1);
              g_pPlayer = player.get();
              return player;
          })
    {
    }

    int nStarted = 0, nEnded = 0, nWarnings = 0;
    Clock::time_point lastStart{};
    std::string strLastWarning;

protected:
    bool ChooseDrive() override { return false; }
    void ShowWarning(const QString &text) override
    {
        // A box would wait for a person; the run counts it and goes on.
        ++nWarnings;
        strLastWarning = text.toStdString();
    }
    bool event(QEvent *e) override
    {
        if (e->type() == WM_PLAY_ENDED)
            ++nEnded;
        const bool bHandled = CTavloFrame::event(e);
        if (e->type() == WM_PLAY_STARTED) {
            ++nStarted;
            lastStart = Clock::now();
        }
        return bHandled;
    }
};

struct MEMORY_SAMPLE
{
    double dMinutes;
    uint64_t nKiB;
};

// Nearest-rank percentile of sorted values.
int32_t Percentile(const std::vector<int32_t> &sorted, double p)
{
    size_t rank = size_t(std::ceil(p / 100.0 * double(sorted.size())));
    rank = std::clamp<size_t>(rank, 1, sorted.size());
    return sorted[rank - 1];
}

// count, median, 5th and 95th percentile, min and max of values; with the share within 40 ms.
std::string Distribution(const char *title, std::vector<int32_t> values, bool bWithin)
{
    if (values.empty())
        return std::string(title) + ": no sample\n";
    std::sort(values.begin(), values.end());
    char line[256];
    int n =
        std::snprintf(line, sizeof line, "%s: count %zu, median %d, p5 %d, p95 %d, min %d, max %d",
                      title, values.size(), Percentile(values, 50), Percentile(values, 5),
                      Percentile(values, 95), values.front(), values.back());
    if (bWithin) {
        const auto within = std::count_if(values.begin(), values.end(),
                                          [](int32_t v) { return v >= -40 && v <= 40; });
        std::snprintf(line + n, sizeof line - size_t(n), "; within +-40 ms %.1f%%",
                      100.0 * double(within) / double(values.size()));
    }
    return std::string(line) + "\n";
}

class CSoak
{
public:
    CSoak(CSoakFrame &frame, double dMinutes, std::string audioFile, std::string reportFile,
          uint32_t nSeed)
        : m_frame(frame), m_dMinutes(dMinutes), m_strAudioFile(std::move(audioFile)),
          m_strReportFile(std::move(reportFile)), m_random(nSeed)
    {
    }

    void Start()
    {
        m_begin = Clock::now();
        m_nextAction = m_begin + 3s;
        m_nextMemory = m_begin + 1min;
        StartFirstClip();
        m_timer.setInterval(50);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
        m_timer.start();
    }

    int ExitCode() const { return m_nExitCode; }
    std::string Report() const;
    // The report so far, or the final one; false when the file cannot be written.
    bool WriteReport() const;

private:
    void StartFirstClip()
    {
        NM_HTMLLIST notify;
        notify.code = HTMLLIST_SELCHANGED;
        notify.nItemNo = 0;
        m_frame.OnListNotify(notify);
        m_frame.OnCommand(ID_PLAY);
        m_transient = Clock::now();
    }
    double Minutes(Clock::time_point t) const
    {
        return std::chrono::duration<double, std::ratio<60>>(t - m_begin).count();
    }
    int64_t Uniform(int64_t low, int64_t high)
    {
        return std::uniform_int_distribution<int64_t>(low, high)(m_random);
    }
    void Tick();
    void Act(Clock::time_point now);
    void SampleOffset(Clock::time_point now);
    void Finish();

    CSoakFrame &m_frame;
    double m_dMinutes;
    std::string m_strAudioFile;
    std::string m_strReportFile;
    std::mt19937 m_random;
    QTimer m_timer;
    bool m_bBusy = false; // the window's waits run events: no tick inside a tick
    Clock::time_point m_begin, m_nextAction, m_nextMemory, m_nextSample, m_transient;
    Clock::time_point m_stoppedSince{}, m_resumeAt{};
    bool m_bResumePending = false;
    bool m_bMemoryStarted = false;
    bool m_bFinished = false;
    int m_nSeenStarts = 0;
    uint32_t m_nLastSyncCount = 0;
    std::vector<MEMORY_SAMPLE> m_memory;
    std::vector<int32_t> m_offsets;
    // Its two parts: how early the picture was against the clock, how far the clock was ahead
    // of the sound.
    std::vector<int32_t> m_early, m_clockAhead;
    int m_nPauses = 0, m_nSeeks = 0, m_nRestarts = 0, m_nRefusedSeeks = 0;
    int m_nExitCode = 0;
};

void CSoak::Tick()
{
    if (m_bBusy)
        return;
    m_bBusy = true;
    const Clock::time_point now = Clock::now();
    if (m_frame.nStarted != m_nSeenStarts) {
        m_nSeenStarts = m_frame.nStarted;
        m_transient = m_frame.lastStart;
    }
    // Memory from the point the first clip runs, then once a minute.
    if (!m_bMemoryStarted && m_frame.nStarted > 0 && now - m_frame.lastStart >= 1s) {
        m_bMemoryStarted = true;
        m_memory.push_back({Minutes(now), ResidentKiB()});
    }
    if (now >= m_nextMemory) {
        m_nextMemory += 1min;
        if (m_bMemoryStarted)
            m_memory.push_back({Minutes(now), ResidentKiB()});
        // The disk sound driver writes on and on; keep the file small.
        if (!m_strAudioFile.empty())
            (void)truncate(m_strAudioFile.c_str(), 0);
        // A run that dies later still leaves its numbers so far.
        WriteReport();
    }
    if (Minutes(now) >= m_dMinutes) {
        Finish();
        return;
    }
    if (now - std::max(m_frame.lastStart, m_begin) > 60s) {
        std::fprintf(stderr, "roadlog-soak: no clip started for a minute, state %d\n",
                     g_pPlayer ? g_pPlayer->GetState() : -1);
        m_nExitCode = 3;
        Finish();
        return;
    }
    Act(now);
    SampleOffset(now);
    m_bBusy = false;
}

void CSoak::Act(Clock::time_point now)
{
    const int32_t state = m_frame.Player()->GetState();
    // The end of the category: auto-advance has nothing left, so start at the first clip again.
    if (state == CMP_STOPPED && !m_frame.IsPlayPending()) {
        if (m_stoppedSince == Clock::time_point{})
            m_stoppedSince = now;
        else if (now - m_stoppedSince > 1500ms) {
            ++m_nRestarts;
            m_stoppedSince = {};
            m_bResumePending = false;
            StartFirstClip();
            m_nextAction = now + std::chrono::milliseconds(Uniform(2000, 6000));
        }
        return;
    }
    m_stoppedSince = {};
    if (m_bResumePending) {
        if (now >= m_resumeAt) {
            m_bResumePending = false;
            // Play resumes a paused clip, as after a seek by dragging.
            m_frame.OnCommand(ID_PLAY);
            m_transient = Clock::now();
            m_nextAction = m_transient + std::chrono::milliseconds(Uniform(2000, 6000));
        }
        return;
    }
    if (now < m_nextAction || state != CMP_PLAYING)
        return;
    if (Uniform(0, 1) == 0) {
        ++m_nPauses;
        m_frame.OnCommand(ID_PAUSE);
        m_resumeAt = Clock::now() + std::chrono::milliseconds(Uniform(200, 2000));
    } else {
        const int64_t duration = m_frame.Player()->PlayDuration();
        if (duration < 1000) {
            ++m_nRefusedSeeks;
            m_nextAction = now + 1s;
            return;
        }
        ++m_nSeeks;
        // The thumb is dragged to a point (the window pauses and seeks there) and let go; the
        // clip goes on with Play a moment later.
        const int64_t target = Uniform(0, duration * 8 / 10);
        QCoreApplication::postEvent(&m_frame,
                                    new CWindowMessage(WM_SLIDER_MOVING, IDC_SEEK, target));
        m_resumeAt = Clock::now() + std::chrono::milliseconds(Uniform(200, 600));
    }
    m_bResumePending = true;
    m_transient = Clock::now();
}

void CSoak::SampleOffset(Clock::time_point now)
{
    if (now < m_nextSample)
        return;
    m_nextSample = now + 250ms;
    if (!g_pPlayer || m_bResumePending || g_pPlayer->GetState() != CMP_PLAYING ||
        now - m_transient < 500ms)
        return;
    VantorAvSync sync{};
    if (!VantorGetAvSync(g_pPlayer->m_pEngine, &sync) || sync.nCount == 0 ||
        sync.nCount == m_nLastSyncCount)
        return;
    m_nLastSyncCount = sync.nCount;
    m_offsets.push_back(sync.nPictureMs - sync.nHeardMs);
    m_early.push_back(sync.nPictureMs - sync.nClockMs);
    m_clockAhead.push_back(sync.nClockMs - sync.nHeardMs);
}

void CSoak::Finish()
{
    m_timer.stop();
    m_bFinished = true;
    m_memory.push_back({Minutes(Clock::now()), ResidentKiB()});
    QCoreApplication::quit();
}

std::string CSoak::Report() const
{
    std::ostringstream out;
    char line[256];
    const double minutes = Minutes(Clock::now());
    if (!m_bFinished)
        std::snprintf(line, sizeof line, "soak: %.1f min so far, still running\n", minutes);
    else
        std::snprintf(line, sizeof line, "soak: %.1f min, exit %d%s\n", minutes, m_nExitCode,
                      m_nExitCode == 3 ? " (stalled)" : "");
    out << line;
    std::snprintf(line, sizeof line,
                  "clips: %d started, %d ended; category restarts %d; pauses %d, seeks %d; "
                  "warnings %d\n",
                  m_frame.nStarted, m_frame.nEnded, m_nRestarts, m_nPauses, m_nSeeks,
                  m_frame.nWarnings);
    out << line;
    if (m_frame.nWarnings)
        out << "last warning: " << m_frame.strLastWarning << "\n";
    if (!m_memory.empty()) {
        uint64_t low = m_memory.front().nKiB, high = low;
        for (const MEMORY_SAMPLE &s : m_memory) {
            low = std::min(low, s.nKiB);
            high = std::max(high, s.nKiB);
        }
        const MEMORY_SAMPLE &first = m_memory.front(), &last = m_memory.back();
        std::snprintf(line, sizeof line,
                      "memory (RSS KiB): start %llu at %.2f min, end %llu at %.2f min, "
                      "change %+lld; min %llu, max %llu over %zu samples\n",
                      (unsigned long long)first.nKiB, first.dMinutes, (unsigned long long)last.nKiB,
                      last.dMinutes, (long long)last.nKiB - (long long)first.nKiB,
                      (unsigned long long)low, (unsigned long long)high, m_memory.size());
        out << line << "memory samples:";
        for (const MEMORY_SAMPLE &s : m_memory) {
            std::snprintf(line, sizeof line, " %.1f:%llu", s.dMinutes, (unsigned long long)s.nKiB);
            out << line;
        }
        out << "\n";
    } else {
        out << "memory: no sample (no clip ran)\n";
    }
    out << Distribution("A/V offset (picture - sound, ms)", m_offsets, true);
    out << Distribution("  of which picture - clock", m_early, false);
    out << Distribution("  and clock - sound", m_clockAhead, false);
    return out.str();
}

bool CSoak::WriteReport() const
{
    if (m_strReportFile.empty())
        return true;
    std::ofstream file(m_strReportFile, std::ios::trunc);
    file << Report();
    return bool(file);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption card("card", "card root folder", "ROOT");
    const QCommandLineOption minutes("minutes", "run time (default 30)", "N", "30");
    const QCommandLineOption report("report", "also write the report here", "FILE");
    const QCommandLineOption audio("audio-file", "the disk sound file to keep small", "FILE");
    const QCommandLineOption seed("seed", "random seed (default 1)", "N", "1");
    parser.addOptions({card, minutes, report, audio, seed});
    parser.process(app);
    bool okMinutes = false, okSeed = false;
    const double dMinutes = parser.value(minutes).toDouble(&okMinutes);
    const uint32_t nSeed = parser.value(seed).toUInt(&okSeed);
    if (!parser.isSet(card) || !okMinutes || dMinutes <= 0 || !okSeed) {
        std::fprintf(stderr, "usage: roadlog-soak --card ROOT [--minutes N] [--report FILE] "
                             "[--audio-file FILE] [--seed N]\n");
        return 1;
    }
    std::string root = parser.value(card).toStdString();
    if (root.empty() || root.back() != '/')
        root += '/';

    CSoakFrame frame;
    frame.show();
    frame.OpenCardFolder(root);
    if (g_PlayInfor.nListType != LIST_RECORD || frame.Catalog().Category(LIST_RECORD).nCount == 0) {
        std::fprintf(stderr, "roadlog-soak: no RECORD clips on %s\n", root.c_str());
        return 1;
    }
    std::printf("roadlog-soak: %d RECORD clips, %.1f min\n",
                frame.Catalog().Category(LIST_RECORD).nCount, dMinutes);
    std::fflush(stdout);

    CSoak soak(frame, dMinutes, parser.value(audio).toStdString(),
               parser.value(report).toStdString(), nSeed);
    soak.Start();
    app.exec();
    frame.Player()->Stop();

    const std::string text = soak.Report();
    std::fputs(text.c_str(), stdout);
    if (!soak.WriteReport()) {
        std::fprintf(stderr, "roadlog-soak: cannot write the report\n");
        return 1;
    }
    return soak.ExitCode();
}
