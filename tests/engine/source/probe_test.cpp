#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "engine/source/clf_writer.h"
#include "source_test_util.h"
#include "tests/support/run_command.h"

namespace {

struct ProbeRun
{
    int exitCode;
    std::string out;
    std::string err;
};

ProbeRun Probe(const TempFolder &folder, const std::string &arguments)
{
    const std::string errPath = folder.Path("stderr.txt");
    const CommandRun command =
        RunCommand(std::string(ROADLOG_PROBE) + " " + arguments + " 2>" + errPath);
    ProbeRun run{command.exitCode, command.out, ""};
    if (FILE *f = std::fopen(errPath.c_str(), "rb")) {
        char chunk[4096];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            run.err.append(chunk, n);
        std::fclose(f);
    }
    return run;
}

std::string WriteClip(const TempFolder &folder)
{
    const std::string path = folder.Path("clip.avi");
    ClfLayout layout;
    layout.video.push_back({ClfFourcc("XVID"), 320, 240, 25000, 0, {0x00, 0x01}});
    layout.text.push_back({ClfFourcc("TRVX"), 0, 0});
    ClfWriter writer;
    EXPECT_EQ(writer.Open(path, layout), 0);
    EXPECT_EQ(writer.WriteSample(kClfKindVideo, 0, "abc", 3, 40), 0);
    EXPECT_EQ(writer.WriteSample(kClfKindText, 0, "G$GPRMC", 7), 0);
    EXPECT_EQ(writer.WriteSample(kClfKindVideo, 40, "defgh", 5, 40), 0);
    // Larger than the largest size in the header would suggest for text: read again.
    const std::string big(3000, 'x');
    EXPECT_EQ(writer.WriteSample(kClfKindText, 1000, big.data(), big.size()), 0);
    EXPECT_EQ(writer.Finish(), 0);
    return path;
}

TEST(RoadlogProbe, InfoAndSamplesOfAClip)
{
    TempFolder folder;
    const std::string clip = WriteClip(folder);
    const ProbeRun info = Probe(folder, "info " + clip);
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_NE(info.out.find("\"media_type\":12"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("\"fourcc_text\":\"XVID\""), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("\"width\":320,\"height\":240"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("\"extra_data\":\"0001\""), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("\"audio\":[]"), std::string::npos) << info.out;

    const ProbeRun video = Probe(folder, "samples " + clip + " --kind video");
    EXPECT_EQ(video.exitCode, 0) << video.err;
    EXPECT_EQ(video.out, "0 3\n40 5\n");
    const ProbeRun text = Probe(folder, "samples " + clip + " --kind text");
    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(text.out, "0 7\n1000 3000\n");
    const ProbeRun audio = Probe(folder, "samples " + clip + " --kind audio");
    EXPECT_EQ(audio.exitCode, 1);
    EXPECT_EQ(audio.out, "");
}

TEST(RoadlogProbe, ErrorsGiveTheEngineMessage)
{
    TempFolder folder;
    const std::string mkv = folder.Write("m.mkv", {0x1A, 0x45, 0xDF, 0xA3, 0x93, 0x42, 0x82, 0x88,
                                                   'm', 'a', 't', 'r', 'o', 's', 'k', 'a'});
    const std::string broken = folder.Write("b.avi", {'C', 'L', 'F', '!', 0, 0});
    struct Case
    {
        std::string arguments;
        std::string message;
    };
    const Case cases[] = {
        {"info " + folder.Path("missing.avi"), "File not found\n"},
        {"info " + mkv, "Unsupported file\n"},
        {"samples " + mkv + " --kind video", "Unsupported file\n"},
        {"info " + broken, "Stream syntax error\n"},
    };
    for (const Case &c : cases) {
        const ProbeRun run = Probe(folder, c.arguments);
        EXPECT_EQ(run.exitCode, 1) << c.arguments;
        EXPECT_EQ(run.err, c.message) << c.arguments;
        EXPECT_EQ(run.out, "") << c.arguments;
    }
    EXPECT_EQ(Probe(folder, "frobnicate x").exitCode, 2);
    EXPECT_EQ(Probe(folder, "samples x --kind sound").exitCode, 2);
}

} // namespace
