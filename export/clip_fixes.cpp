#include "export/clip_fixes.h"

#include <cstring>
#include <memory>

#include "engine/core/vantor_errors.h"
#include "engine/source/source_object.h"
#include "playback/text_sample.h"
#include "telemetry/navi_track.h"

namespace {

struct SourceCloser
{
    void operator()(SourceObject *source) const { SourceClose(source); }
};

} // namespace

bool ReadClipFixes(const std::string &path, std::vector<FIX_POINT> *points, std::string *error)
{
    points->clear();
    SourceObject *opened = nullptr;
    MediaInfo info{};
    if (const int32_t result = SourceOpenPath(path, &opened, &info); result < 0) {
        if (error)
            *error = VantorErrorText(result);
        return false;
    }
    std::unique_ptr<SourceObject, SourceCloser> source(opened);
    if (info.nTextCount == 0)
        return true;
    // The sample as the player wrapper keeps it: at most this many bytes, zero-terminated.
    uint8_t buffer[kMaxTextSampleBytes];
    std::wstring text;
    for (;;) {
        std::memset(buffer, 0, sizeof buffer);
        SampleRequest request{};
        request.pBuffer = buffer;
        request.nBufferSize = sizeof buffer - 1;
        request.nKind = SAMPLE_KIND_TEXT;
        if (SourceRead(source.get(), &request) != VANTOR_OK)
            break;
        const size_t length = strnlen(reinterpret_cast<const char *>(buffer), request.nLength);
        text.assign(length, L'\0');
        for (size_t i = 0; i < length; ++i)
            text[i] = static_cast<wchar_t>(buffer[i]);
        if (!IsValidFixSentence(text.c_str()))
            continue;
        const CTavloNaviInfo fix = ParseNaviSentence(text.c_str(), request.nTime);
        if (HasPlausiblePosition(fix))
            points->push_back(FixPointFromFix(fix));
    }
    return true;
}
