#include "telemetry/navi_track.h"

#include <cstring>
#include <string>
#include <string_view>

namespace {

// The clip's bytes are single-byte text; each byte is one character.
std::wstring WidenSample(const TEXT_SAMPLE &sample)
{
    std::wstring text;
    const size_t length = strnlen(sample.szText, sizeof sample.szText);
    text.reserve(length);
    for (size_t i = 0; i < length; ++i)
        text += static_cast<wchar_t>(static_cast<unsigned char>(sample.szText[i]));
    return text;
}

} // namespace

bool IsValidFixSentence(const wchar_t *text)
{
    // Runs of commas count as one separator here, unlike in the field parser: a sentence
    // with an empty time field therefore fails, as its third token is the latitude.
    const wchar_t *tokens[3] = {};
    size_t lengths[3] = {};
    int found = 0;
    const wchar_t *p = text;
    while (found < 3) {
        while (*p == L',')
            ++p;
        if (*p == L'\0')
            break;
        tokens[found] = p;
        while (*p != L'\0' && *p != L',')
            ++p;
        lengths[found] = static_cast<size_t>(p - tokens[found]);
        ++found;
    }
    if (found < 3)
        return false;
    return std::wstring_view(tokens[0], lengths[0]) == L"G$GPRMC" &&
           std::wstring_view(tokens[2], lengths[2]) == L"A";
}

void CTavloNaviTrack::BuildTrack(uint32_t count, const TEXT_SAMPLE *samples)
{
    m_listNavi.clear();
    if (count > kMaxTextSamples)
        count = kMaxTextSamples;
    for (uint32_t i = 0; i < count; ++i) {
        const std::wstring text = WidenSample(samples[i]);
        if (!IsValidFixSentence(text.c_str()))
            continue;
        auto fix = std::make_unique<CTavloNaviInfo>(
            ParseNaviSentence(text.c_str(), static_cast<uint32_t>(samples[i].nTime)));
        if (HasPlausiblePosition(*fix))
            m_listNavi.push_back(std::move(fix));
    }
    m_arrNaviTime.resize(m_listNavi.size());
    for (size_t i = 0; i < m_listNavi.size(); ++i)
        m_arrNaviTime[i] = m_listNavi[i]->dwTime;
}

int32_t CTavloNaviTrack::FindNaviIndex(int32_t positionMs)
{
    if (m_arrNaviTime.empty())
        return -1;
    const auto position = static_cast<uint32_t>(positionMs);
    int32_t index = static_cast<int32_t>(m_arrNaviTime.size()) - 1;
    for (size_t i = 0; i < m_arrNaviTime.size(); ++i) {
        if (m_arrNaviTime[i] > position) {
            index = i == 0 ? 0 : static_cast<int32_t>(i) - 1;
            break;
        }
    }
    m_nNaviIndex = index;
    return index;
}
