#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/source/clf_writer.h"
#include "tests/support/temp_folder.h"
#include "trips/trip_grouping.h"
#include "trips/trip_index.h"
#include "trips/trip_route.h"

namespace {

constexpr int64_t kMinute = 60 * 1000;

struct TripCase
{
    const char *name;
    std::vector<CLIP_FIX_SPAN> clips;
    std::vector<std::vector<size_t>> trips;
};

TEST(TripGrouping, ClipsFollowingWithinTwoMinutes)
{
    const TripCase cases[] = {
        {"empty", {}, {}},
        {"back to back", {{0, kMinute}, {kMinute + 1000, 2 * kMinute}}, {{0, 1}}},
        {"gap of exactly two minutes", {{0, kMinute}, {3 * kMinute, 4 * kMinute}}, {{0, 1}}},
        {"gap one second longer", {{0, kMinute}, {3 * kMinute + 1000, 4 * kMinute}}, {{0}, {1}}},
        {"listed out of time order",
         {{10 * kMinute, 11 * kMinute}, {0, kMinute}, {kMinute, 2 * kMinute}},
         {{1, 2}, {0}}},
        {"overlap ending inside the previous clip",
         {{0, 10 * kMinute}, {kMinute, 2 * kMinute}, {11 * kMinute, 12 * kMinute}},
         {{0, 1, 2}}},
        {"clip without a fix stands alone, last",
         {{-1, -1}, {0, kMinute}, {kMinute, 2 * kMinute}},
         {{1, 2}, {0}}},
        {"a day apart",
         {{0, kMinute}, {24 * 60 * kMinute, 24 * 60 * kMinute + kMinute}},
         {{0}, {1}}},
    };
    for (const TripCase &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(GroupTrips(c.clips), c.trips);
    }
}

TEST(TripRoute, JsonForThePageAndItsClickAnswer)
{
    std::vector<std::vector<FIX_POINT>> clips(3);
    for (uint32_t i = 0; i < 10; ++i) {
        FIX_POINT p;
        p.nTimeMs = i * 1000;
        p.dLatitude = -33.8 - i * 0.001;
        p.dLongitude = 151.2;
        clips[0].push_back(p);
    }
    clips[2].push_back(clips[0][0]);
    EXPECT_EQ(TripRouteJson(clips, 2, 4),
              "{\"current\":2,\"clips\":[[[-33.800000,151.200000,0],[-33.804000,151.200000,4000],"
              "[-33.809000,151.200000,9000]],[],"
              "[[-33.800000,151.200000,0]]]}");
    // Unthinned, every fix is there and the last one ends the line once.
    const std::string all = TripRouteJson({clips[0]}, 0);
    EXPECT_EQ(std::count(all.begin(), all.end(), '['), 2 + 10);

    struct Case
    {
        const char *text;
        bool ok;
        size_t clip;
        uint32_t time;
    };
    const Case cases[] = {
        {"1,5000", true, 1, 5000}, {"0,0", true, 0, 0},   {"", false, 0, 0},
        {"3,100", false, 0, 0},    {"1,", false, 0, 0},   {"a,1", false, 0, 0},
        {"1,20x", false, 0, 0},    {"-1,5", false, 0, 0},
    };
    for (const Case &c : cases) {
        size_t clip = 99;
        uint32_t time = 99;
        EXPECT_EQ(ParseTripClick(c.text, 3, &clip, &time), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(clip, c.clip) << c.text;
            EXPECT_EQ(time, c.time) << c.text;
        }
    }
}

// A CLF clip with a picture and sound record cadence like the recorder's (tiny payloads) and
// one fix a second starting at startUtc.
void WriteClip(const std::string &path, time_t startUtc, int seconds)
{
    ClfLayout layout;
    layout.video.push_back({ClfFourcc("XVID"), 320, 180, 25000, 0, {}});
    layout.audio.push_back({0xFF, 16000, 1, 16, 32000, {0x14, 0x08}});
    layout.text.push_back({ClfFourcc("TRVX"), 0, 0});
    ClfWriter writer;
    ASSERT_EQ(writer.Open(path, layout), 0);
    const std::vector<uint8_t> payload(48, 0x11);
    for (int s = 0; s < seconds; ++s) {
        const time_t at = startUtc + s;
        tm t{};
        gmtime_r(&at, &t);
        char sentence[128];
        std::snprintf(
            sentence, sizeof sentence,
            "G$GPRMC,%02d%02d%02d.000,A,3730.%04d,N,12701.5000,E,20.0,90.0,%02d%02d%02d,,,A",
            t.tm_hour, t.tm_min, t.tm_sec, s % 10000, t.tm_mday, t.tm_mon + 1, t.tm_year % 100);
        ASSERT_EQ(
            writer.WriteSample(kClfKindText, uint32_t(s * 1000), sentence, std::strlen(sentence)),
            0);
        for (int f = 0; f < 25; ++f)
            ASSERT_EQ(writer.WriteSample(kClfKindVideo, uint32_t(s * 1000 + f * 40), payload.data(),
                                         payload.size(), 40, f == 0),
                      0);
        for (int a = 0; a < 16; ++a)
            ASSERT_EQ(writer.WriteSample(kClfKindAudio, uint32_t(s * 1000 + a * 64), payload.data(),
                                         payload.size(), 64),
                      0);
    }
    ASSERT_EQ(writer.Finish(), 0);
}

TEST(TripIndex, ThousandClipCardIsReadOffTheCallingThread)
{
    CTempFolder card;
    constexpr int kClips = 1000, kSeconds = 20;
    const time_t start = 1286804700; // 2010-10-11 13:45:00 UTC
    std::vector<std::vector<std::string>> categories(2);
    // RECORD: two drives of 500 clips back to back, an hour apart; EVENT: none.
    for (int i = 0; i < kClips; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "R_%04d.avi", i);
        const time_t at =
            start + (i < 500 ? i * kSeconds : 3600 + 500 * kSeconds + (i - 500) * kSeconds);
        categories[0].push_back(card / name);
        WriteClip(categories[0].back(), at, kSeconds);
    }
    CTripIndex index;
    std::mutex lock;
    std::condition_variable done;
    bool ready = false;
    const auto began = std::chrono::steady_clock::now();
    index.Start(categories, [&] {
        std::lock_guard<std::mutex> guard(lock);
        ready = true;
        done.notify_all();
    });
    const auto startCost = std::chrono::steady_clock::now() - began;
    EXPECT_LT(startCost, std::chrono::milliseconds(100)) << "Start must not read the clips";
    EXPECT_TRUE(index.TripOf(categories[0][0]).empty()) << "nothing is known before the end";
    std::unique_lock<std::mutex> guard(lock);
    ASSERT_TRUE(done.wait_for(guard, std::chrono::seconds(120), [&] { return ready; }));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::printf("[ figure ] %d clips' tracks read in %.2f s\n", kClips, seconds);
    EXPECT_NE(index.ReaderThread(), std::this_thread::get_id());
    EXPECT_EQ(index.ClipsRead(), size_t(kClips));
    const std::vector<std::string> first = index.TripOf(categories[0][10]);
    ASSERT_EQ(first.size(), 500u);
    EXPECT_EQ(first.front(), categories[0][0]);
    EXPECT_EQ(first.back(), categories[0][499]);
    EXPECT_EQ(index.TripOf(categories[0][700]).size(), 500u);
    EXPECT_EQ(index.FixesOf(categories[0][3]).size(), size_t(kSeconds));
}

TEST(TripIndex, StopEndsTheReadingEarly)
{
    CTempFolder card;
    std::vector<std::vector<std::string>> categories(1);
    for (int i = 0; i < 50; ++i) {
        categories[0].push_back(card / ("c" + std::to_string(i) + ".avi"));
        WriteClip(categories[0].back(), 1286804700 + i * 20, 20);
    }
    bool called = false;
    CTripIndex index;
    index.Start(categories, [&] { called = true; });
    index.Stop();
    EXPECT_LE(index.ClipsRead(), 50u);
    if (index.ClipsRead() < 50u) {
        EXPECT_FALSE(index.IsReady());
        EXPECT_FALSE(called);
    }
    // Started again, it reads everything.
    index.Start(categories);
    index.Stop();
    index.Start(categories);
    for (int waited = 0; !index.IsReady() && waited < 2000; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(index.IsReady());
    EXPECT_EQ(index.TripOf(categories[0][7]).size(), 50u);
}

} // namespace
