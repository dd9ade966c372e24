#pragma once

// A small parse of CLF files of the tests' own, independent of the engine's reader, so the
// writer's and the demo card's files are checked against the layout itself.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace clf_test {

inline std::vector<uint8_t> ReadFileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct ParsedClf
{
    struct Video
    {
        uint32_t fourcc, width, height, rate1000, extraValue, durationMs, largest;
        std::vector<uint8_t> extraData;
    };
    struct Audio
    {
        uint32_t format, sampleRate, channels, bits, bitRate, durationMs, largest;
        std::vector<uint8_t> extraData;
    };
    struct Text
    {
        uint32_t codec, param1, param2, durationMs, largest;
    };
    struct Record
    {
        uint32_t tag, timeMs, size, spare;
        std::vector<uint8_t> data;
    };

    std::string error; // empty when the whole file parsed
    std::string magic;
    uint32_t durationMs = 0;
    std::vector<Video> video;
    std::vector<Audio> audio;
    std::vector<Text> text;
    size_t dataStart = 0;
    std::vector<Record> records; // the end record included, when there is one
    bool endRecordLast = false;  // a zero-size record came, and nothing after it
};

inline std::string FourccText(uint32_t v)
{
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

inline ParsedClf ParseClf(const std::vector<uint8_t> &bytes)
{
    ParsedClf out;
    size_t pos = 0;
    auto u32 = [&](uint32_t *v) {
        if (bytes.size() - pos < 4)
            return false;
        *v = uint32_t(bytes[pos]) << 24 | uint32_t(bytes[pos + 1]) << 16 |
             uint32_t(bytes[pos + 2]) << 8 | bytes[pos + 3];
        pos += 4;
        return true;
    };
    auto run = [&](uint32_t n, std::vector<uint8_t> *v) {
        if (bytes.size() - pos < n)
            return false;
        v->assign(bytes.begin() + long(pos), bytes.begin() + long(pos + n));
        pos += n;
        return true;
    };
    auto count = [&](uint32_t *n) { return u32(n) && *n <= (bytes.size() - pos) / 20; };
    auto fail = [&](const char *what) {
        out.error = std::string(what) + " at byte " + std::to_string(pos);
        return out;
    };

    uint32_t magic = 0, n = 0, length = 0;
    if (!u32(&magic) || !u32(&out.durationMs))
        return fail("short header");
    out.magic = FourccText(magic);
    if (!count(&n))
        return fail("video count");
    for (uint32_t i = 0; i < n; ++i) {
        ParsedClf::Video v{};
        if (!u32(&v.fourcc) || !u32(&v.width) || !u32(&v.height) || !u32(&v.rate1000) ||
            !u32(&v.extraValue) || !u32(&v.durationMs) || !u32(&v.largest) || !u32(&length) ||
            !run(length, &v.extraData))
            return fail("video entry");
        out.video.push_back(v);
    }
    if (!count(&n))
        return fail("audio count");
    for (uint32_t i = 0; i < n; ++i) {
        ParsedClf::Audio a{};
        if (!u32(&a.format) || !u32(&a.sampleRate) || !u32(&a.channels) || !u32(&a.bits) ||
            !u32(&a.bitRate) || !u32(&a.durationMs) || !u32(&a.largest) || !u32(&length) ||
            !run(length, &a.extraData))
            return fail("audio entry");
        out.audio.push_back(a);
    }
    if (!count(&n))
        return fail("text count");
    for (uint32_t i = 0; i < n; ++i) {
        ParsedClf::Text t{};
        if (!u32(&t.codec) || !u32(&t.param1) || !u32(&t.param2) || !u32(&t.durationMs) ||
            !u32(&t.largest))
            return fail("text entry");
        out.text.push_back(t);
    }
    uint32_t spare = 0;
    if (!u32(&spare) || !u32(&spare))
        return fail("words before the data");
    out.dataStart = pos;

    // Every record, the ones behind an early end record included, so a test sees them all.
    while (pos < bytes.size()) {
        ParsedClf::Record r{};
        if (!u32(&r.tag) || !u32(&r.timeMs) || !u32(&r.size) || !u32(&r.spare) ||
            !run(r.size, &r.data))
            return fail("record");
        out.records.push_back(r);
        out.endRecordLast = r.size == 0;
    }
    return out;
}

} // namespace clf_test
