#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "playback/text_sample.h"
#include "telemetry/navi_info.h"

// The GPS track of the playing clip: the valid fixes in sample order and their times. Rebuilt
// at every play start, kept after playback stops. Window thread only.
class CTavloNaviTrack
{
public:
    // Rebuilds the track from the wrapper's text samples; a sample is kept when its first
    // comma-separated token is "G$GPRMC", its third non-empty token is "A" and its position
    // lies on the globe (HasPlausiblePosition).
    void BuildTrack(uint32_t count, const TEXT_SAMPLE *samples);

    // The index of the last fix at or before the position (the first fix before it), stored in
    // m_nNaviIndex; -1 when the track is empty.
    int32_t FindNaviIndex(int32_t positionMs);

    bool IsEmpty() const { return m_listNavi.empty(); }
    size_t Count() const { return m_listNavi.size(); }
    const CTavloNaviInfo &At(size_t index) const { return *m_listNavi[index]; }
    const std::vector<uint32_t> &Times() const { return m_arrNaviTime; }
    int32_t CurrentIndex() const { return m_nNaviIndex; }

private:
    std::vector<std::unique_ptr<CTavloNaviInfo>> m_listNavi;
    std::vector<uint32_t> m_arrNaviTime;
    int32_t m_nNaviIndex = 0;
};

// True when the sentence passes the track's selection test (tag and status).
bool IsValidFixSentence(const wchar_t *text);
