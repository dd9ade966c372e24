#include "playback/text_reading.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "platform/wide_text.h"

uint32_t ReadStartedClipText(VantorPlayer *player, const VantorOpenParams &params,
                             VantorMediaInfo *mediaInfo, void *tagRecord, TEXT_SAMPLE *table,
                             uint32_t capacity)
{
    VantorProbe(params.szLocator, params.szAlternativeLocator, params.nStreamArgument, mediaInfo,
                tagRecord);
    uint32_t count = 0;
    uint8_t buffer[kMaxTextSampleBytes];
    while (count < capacity) {
        std::memset(buffer, 0, sizeof buffer);
        int32_t length = int32_t(sizeof buffer);
        uint32_t timeMs = 0;
        if (VantorReadText(player, buffer, &length, &timeMs) < 0)
            break;
        TEXT_SAMPLE &sample = table[count];
        sample.nTime = int32_t(timeMs);
        std::memcpy(sample.szText, buffer, size_t(std::clamp<int32_t>(length, 0, sizeof buffer)));
        ++count;
    }
    return count;
}

namespace {

// The probe's stand-in for the wrapper: reads in the started callback, then lets the caller
// stop the playback (a callback must not stop it itself).
struct TextReader
{
    VantorPlayer *pPlayer = nullptr;
    VantorOpenParams params{};
    std::vector<TEXT_SAMPLE> *pSamples = nullptr;
    std::mutex lock;
    std::condition_variable changed;
    bool bDone = false;
    bool bStarted = false;

    void Finish()
    {
        std::lock_guard<std::mutex> guard(lock);
        bDone = true;
        changed.notify_all();
    }

    static void OnStarted(void *user)
    {
        auto *self = static_cast<TextReader *>(user);
        VantorMediaInfo info{};
        uint8_t tag[104]{};
        self->pSamples->assign(kMaxTextSamples, TEXT_SAMPLE{});
        const uint32_t count = ReadStartedClipText(self->pPlayer, self->params, &info, tag,
                                                   self->pSamples->data(), kMaxTextSamples);
        self->pSamples->resize(count);
        self->bStarted = true;
        self->Finish();
    }
    static void OnEnded(void *user) { static_cast<TextReader *>(user)->Finish(); }
};

} // namespace

int32_t ReadClipText(const std::string &path, std::vector<TEXT_SAMPLE> *samples)
{
    samples->clear();
    TextReader reader;
    reader.pSamples = samples;
    const VantorCallbacks callbacks{&TextReader::OnStarted, &TextReader::OnEnded, nullptr, nullptr,
                                    &reader};
    reader.pPlayer = VantorCreate(&callbacks);
    if (!reader.pPlayer)
        return VANTOR_E_OUT_OF_MEMORY;
    const std::wstring locator = Utf8ToWide(path);
    reader.params.szLocator = locator.c_str();
    int32_t result = VANTOR_OK;
    if (!VantorPlay(reader.pPlayer, &reader.params)) {
        result = VANTOR_E_INVALID_ARG;
    } else {
        std::unique_lock<std::mutex> guard(reader.lock);
        reader.changed.wait(guard, [&] { return reader.bDone; });
        guard.unlock();
        // Ended without starting: the open failed, and the status tells why.
        if (!reader.bStarted) {
            VantorStatus status{};
            VantorGetStatus(reader.pPlayer, &status);
            result = status.nLastError < 0 ? status.nLastError : VANTOR_E_UNSUPPORTED_FILE;
        }
    }
    VantorStop(reader.pPlayer);
    VantorDestroy(reader.pPlayer);
    return result;
}
