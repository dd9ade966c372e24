#pragma once

// Pictures as roadlog-probe decodes them and as the ffmpeg program decodes the same file, both
// as "time md5" lists (md5 of the I420 planes cropped to the picture: Y rows, then U, then V).

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/run_command.h"

struct Hashed
{
    std::vector<std::string> md5;
    std::vector<int64_t> times; // ms
};

inline std::string Quoted(const std::string &path)
{
    return "'" + path + "'";
}

// "time_ms md5" lines of `probe decode PATH`.
inline Hashed ProbeDecode(const std::string &probe, const std::string &path, int *exitCode)
{
    const CommandRun run = RunCommand(probe + " decode " + Quoted(path) + " 2>&1");
    *exitCode = run.exitCode;
    Hashed hashed;
    std::istringstream lines(run.out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        int64_t ms = 0;
        std::string md5;
        if (fields >> ms >> md5) {
            hashed.times.push_back(ms);
            hashed.md5.push_back(md5);
        }
    }
    return hashed;
}

// How the engine's decoders hand out pictures of other layouts, as ffmpeg's own conversion: the
// range kept as it is, 4:2:2 chroma rows averaged in pairs (the "area" scaler), deeper samples
// cut to 8 bits without dithering.
constexpr const char *kEngineI420 = "-sws_flags area -sws_dither none "
                                    "-vf scale=in_range=full:out_range=full,format=yuv420p";

// framemd5 lines "stream, dts, pts, duration, size, md5" after '#' comments; pts in 1/fps.
// conversion: ffmpeg's output options that make the I420 pictures.
inline Hashed FfmpegFrameMd5(const std::string &path, int fps,
                             const std::string &conversion = "-pix_fmt yuv420p")
{
    const CommandRun run = RunCommand("ffmpeg -nostdin -v error -threads 1 -i " + Quoted(path) +
                                      " -an -f framemd5 " + conversion + " - 2>/dev/null");
    Hashed hashed;
    std::istringstream lines(run.out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> fields;
        std::istringstream split(line);
        std::string field;
        while (std::getline(split, field, ','))
            fields.push_back(field.substr(field.find_first_not_of(' ')));
        if (fields.size() == 6) {
            hashed.times.push_back(std::stoll(fields[2]) * 1000 / fps);
            hashed.md5.push_back(fields[5]);
        }
    }
    return hashed;
}
