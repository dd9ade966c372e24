#include "engine/source/media_info_json.h"

#include <algorithm>
#include <cstdio>

#include "engine/core/fourcc.h"

namespace {

class JsonObject
{
public:
    explicit JsonObject(std::string *out) : m_pOut(out) { *m_pOut += '{'; }
    ~JsonObject() { *m_pOut += '}'; }

    void Number(const char *name, uint32_t value)
    {
        Key(name);
        *m_pOut += std::to_string(value);
    }

    void Text(const char *name, const std::string &value)
    {
        Key(name);
        *m_pOut += '"';
        for (unsigned char c : value) {
            if (c == '"' || c == '\\') {
                *m_pOut += '\\';
                *m_pOut += static_cast<char>(c);
            } else if (c < 0x20 || c >= 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                *m_pOut += escaped;
            } else {
                *m_pOut += static_cast<char>(c);
            }
        }
        *m_pOut += '"';
    }

    void Key(const char *name)
    {
        if (!m_bFirst)
            *m_pOut += ',';
        m_bFirst = false;
        *m_pOut += '"';
        *m_pOut += name;
        *m_pOut += "\":";
    }

private:
    std::string *m_pOut;
    bool m_bFirst = true;
};

std::string Hex(const uint8_t *data, uint32_t length)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (uint32_t i = 0; i < std::min(length, kMaxExtraData); ++i) {
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 0xF];
    }
    return text;
}

template <class Stream, class Write>
void Array(std::string *out, const char *name, const Stream *streams, uint32_t count,
           uint32_t limit, Write write)
{
    *out += ",\"";
    *out += name;
    *out += "\":[";
    for (uint32_t i = 0; i < std::min(count, limit); ++i) {
        if (i)
            *out += ',';
        JsonObject object(out);
        write(object, streams[i]);
    }
    *out += ']';
}

} // namespace

std::string MediaInfoToJson(const MediaInfo &info)
{
    std::string out;
    {
        JsonObject top(&out);
        top.Number("media_type", info.nMediaType);
        top.Number("media_flags", info.nMediaFlags);
        top.Number("duration_ms", info.nDuration);
        top.Number("buffering_ms", info.nBufferingTime);
        Array(&out, "video", info.video, info.nVideoCount, kMaxVideoStreams,
              [](JsonObject &o, const VIDEO_STREAM_INFO &v) {
                  o.Number("fourcc", v.nFourcc);
                  o.Text("fourcc_text", FourccText(v.nFourcc));
                  o.Number("width", v.nWidth);
                  o.Number("height", v.nHeight);
                  o.Number("frame_rate_milli", v.nFrameRate);
                  o.Number("extra_value", v.nExtraValue);
                  o.Number("max_sample_size", v.nMaxSampleSize);
                  o.Number("duration_ms", v.nDuration);
                  o.Text("extra_data", Hex(v.byExtraData, v.nExtraDataLength));
              });
        Array(&out, "audio", info.audio, info.nAudioCount, kMaxAudioStreams,
              [](JsonObject &o, const AUDIO_STREAM_INFO &a) {
                  o.Number("format", a.nFormat);
                  o.Number("sample_rate", a.nSampleRate);
                  o.Number("channels", a.nChannels);
                  o.Number("bits_per_sample", a.nBitsPerSample);
                  o.Number("bit_rate", a.nBitRate);
                  o.Number("max_sample_size", a.nMaxSampleSize);
                  o.Number("duration_ms", a.nDuration);
                  o.Text("extra_data", Hex(a.byExtraData, a.nExtraDataLength));
              });
        Array(&out, "text", info.text, info.nTextCount, kMaxTextStreams,
              [](JsonObject &o, const TEXT_STREAM_INFO &t) {
                  o.Number("codec", t.nCodec);
                  o.Text("codec_text", FourccText(t.nCodec));
                  o.Number("param1", t.nParam1);
                  o.Number("param2", t.nParam2);
                  o.Number("max_sample_size", t.nMaxSampleSize);
                  o.Number("duration_ms", t.nDuration);
              });
    }
    return out;
}
