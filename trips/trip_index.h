#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "export/fix_point.h"
#include "trips/trip_grouping.h"

// The fixes of every clip of a card, read on a thread of its own (text streams only), and the
// trips they form per category. The window asks; it never waits for the reading.
class CTripIndex
{
public:
    CTripIndex() = default;
    ~CTripIndex();
    CTripIndex(const CTripIndex &) = delete;
    CTripIndex &operator=(const CTripIndex &) = delete;

    // Starts reading the clips, one list per category in list order; a reading still running
    // is stopped first. onReady runs on the reading thread once every clip was read (not after
    // Stop); it should only hand over (post an event).
    void Start(std::vector<std::vector<std::string>> categories,
               std::function<void()> onReady = {});
    // Stops the reading and waits for its thread; what was read stays.
    void Stop();

    bool IsReady() const { return m_bReady; }
    size_t ClipsRead() const { return m_nRead; }
    std::thread::id ReaderThread() const { return m_readerId; }

    // The trip holding the clip, its clips in time order; empty until ready or for an unknown
    // clip.
    std::vector<std::string> TripOf(const std::string &clip) const;
    // The clip's fixes once read; empty before.
    std::vector<FIX_POINT> FixesOf(const std::string &clip) const;

private:
    void Read(std::vector<std::vector<std::string>> categories, std::function<void()> onReady);

    std::thread m_thread;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bReady{false};
    std::atomic<size_t> m_nRead{0};
    std::atomic<std::thread::id> m_readerId{};
    mutable std::mutex m_lock; // guards the two maps
    std::map<std::string, std::vector<FIX_POINT>> m_fixes;
    std::map<std::string, std::vector<std::string>> m_tripOf;
};
