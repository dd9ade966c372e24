// Arbitrary bytes as one sentence of the GPS text stream (each byte one character, as the text
// decoder hands them on): the parse, the fix test and the number reads never read past the
// terminator, and a parsed fix has finite numbers.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "telemetry/navi_info.h"
#include "telemetry/navi_track.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4096)
        return 0;
    std::vector<wchar_t> text(data, data + size);
    text.push_back(L'\0');
    const CTavloNaviInfo fix = ParseNaviSentence(text.data(), 1000);
    IsValidFixSentence(text.data());
    ReadNumber(text.data());
    if (!std::isfinite(NmeaToDegrees(fix.dLatitude)) && std::isfinite(fix.dLatitude))
        __builtin_trap();
    if (fix.dwTime != 1000)
        __builtin_trap();
    return 0;
}
