// Text samples into lines for the renderer.
#include <cstring>
#include <string>
#include <string_view>

#include "engine/codecs/decoder_ops.h"
#include "engine/core/fourcc.h"
#include "engine/core/vantor_errors.h"

namespace {

// Plain text (T.140 is UTF-8): one line per line break, CR LF, LF or CR.
void SplitLines(std::string_view text, std::vector<std::string> *lines)
{
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != '\n' && text[i] != '\r')
            continue;
        lines->emplace_back(text.substr(start, i - start));
        if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (!lines->empty() && lines->back().empty())
        lines->pop_back();
}

bool StartsWithTag(std::string_view text, size_t at, std::string_view name)
{
    if (at + 1 + name.size() > text.size())
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        char c = text[at + 1 + i];
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        if (c != name[i])
            return false;
    }
    const size_t after = at + 1 + name.size();
    return after == text.size() || text[after] == '>' || text[after] == ' ' ||
           text[after] == '/' || text[after] == '\t';
}

struct Entity
{
    std::string_view name;
    char value;
};
constexpr Entity kEntities[] = {
    {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&nbsp;", ' '},
};

void TrimInto(std::string line, std::vector<std::string> *lines)
{
    const size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos)
        return;
    line.erase(0, first);
    line.erase(line.find_last_not_of(' ') + 1);
    lines->push_back(std::move(line));
}

// SAMI (HTML-like): markup left out, <BR> and <P> break lines, runs of white space are one
// space, the common entities become their characters; empty lines are dropped.
void SamiLines(std::string_view text, std::vector<std::string> *lines)
{
    std::string line;
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '<') {
            const bool breaks = StartsWithTag(text, i, "BR") || StartsWithTag(text, i, "P") ||
                                StartsWithTag(text, i, "/P");
            const size_t end = text.find('>', i);
            if (breaks) {
                TrimInto(std::move(line), lines);
                line.clear();
            }
            i = end == std::string_view::npos ? text.size() : end + 1;
            continue;
        }
        if (c == '&') {
            bool replaced = false;
            for (const Entity &entity : kEntities) {
                if (text.substr(i, entity.name.size()) == entity.name) {
                    line += entity.value;
                    i += entity.name.size();
                    replaced = true;
                    break;
                }
            }
            if (replaced)
                continue;
        }
        // Runs of white space show as one space, as in HTML.
        const bool space = c == ' ' || c == '\r' || c == '\n' || c == '\t';
        if (!space)
            line += c;
        else if (line.empty() || line.back() != ' ')
            line += ' ';
        ++i;
    }
    TrimInto(std::move(line), lines);
}

} // namespace

int32_t TextDecoderDecode(TextDecoder *decoder, const uint8_t *sample, uint32_t length,
                          int32_t timeMs, TEXT_LAYOUT *layout)
{
    if (!decoder || !layout || (!sample && length > 0))
        return VANTOR_E_INVALID_ARG;
    layout->nTime = timeMs;
    layout->lines.clear();
    const std::string_view text(reinterpret_cast<const char *>(sample), length);
    switch (decoder->dwCodec) {
    case MakeFourcc("TRVX"):
        // The recorder's GPS sentence, shown as it was stored.
        layout->lines.emplace_back(text);
        break;
    case MakeFourcc("SAMI"):
        SamiLines(text, &layout->lines);
        break;
    default:
        SplitLines(text, &layout->lines);
        break;
    }
    return VANTOR_OK;
}
