#include "trips/trip_index.h"

#include "export/clip_fixes.h"

CTripIndex::~CTripIndex()
{
    Stop();
}

void CTripIndex::Start(std::vector<std::vector<std::string>> categories,
                       std::function<void()> onReady)
{
    Stop();
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_fixes.clear();
        m_tripOf.clear();
    }
    m_bStop = false;
    m_bReady = false;
    m_nRead = 0;
    m_thread = std::thread(&CTripIndex::Read, this, std::move(categories), std::move(onReady));
}

void CTripIndex::Stop()
{
    m_bStop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void CTripIndex::Read(std::vector<std::vector<std::string>> categories,
                      std::function<void()> onReady)
{
    m_readerId = std::this_thread::get_id();
    for (const auto &clips : categories) {
        std::vector<CLIP_FIX_SPAN> spans;
        for (const std::string &clip : clips) {
            if (m_bStop)
                return;
            std::vector<FIX_POINT> points;
            ReadClipFixes(clip, &points);
            CLIP_FIX_SPAN span;
            for (const FIX_POINT &p : points) {
                if (p.nUtcMs < 0)
                    continue;
                if (span.nFirstUtcMs < 0)
                    span.nFirstUtcMs = p.nUtcMs;
                span.nLastUtcMs = p.nUtcMs;
            }
            spans.push_back(span);
            {
                std::lock_guard<std::mutex> guard(m_lock);
                m_fixes[clip] = std::move(points);
            }
            ++m_nRead;
        }
        const auto trips = GroupTrips(spans);
        std::lock_guard<std::mutex> guard(m_lock);
        for (const auto &trip : trips) {
            std::vector<std::string> paths;
            for (const size_t i : trip)
                paths.push_back(clips[i]);
            for (const std::string &path : paths)
                m_tripOf[path] = paths;
        }
    }
    m_bReady = true;
    if (onReady)
        onReady();
}

std::vector<std::string> CTripIndex::TripOf(const std::string &clip) const
{
    if (!m_bReady)
        return {};
    std::lock_guard<std::mutex> guard(m_lock);
    const auto found = m_tripOf.find(clip);
    return found == m_tripOf.end() ? std::vector<std::string>{} : found->second;
}

std::vector<FIX_POINT> CTripIndex::FixesOf(const std::string &clip) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    const auto found = m_fixes.find(clip);
    return found == m_fixes.end() ? std::vector<FIX_POINT>{} : found->second;
}
