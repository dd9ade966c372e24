// roadlog-mkcard: writes a demo recorder card, or one clip with given GPS sentences.
//   roadlog-mkcard [--short] [--two-cameras] DIR
//                                  the four category folders with clips, and the settings files;
//                                  with --two-cameras every clip is an AVI with a second camera
//   roadlog-mkcard --nmea FILE OUT one clip whose text samples are the lines of FILE, at 0, 1000,
//                                  2000 ... ms, over up to 10 s of picture and sound
// Output is deterministic for the same arguments: fixed times, bit-exact encoders.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

extern "C" {
#include <libavutil/log.h>
}

#include "settings/setup_file.h"
#include "settings/time_setting.h"
#include "tools/mkcard/demo_clip.h"
#include "tools/mkcard/gps_route.h"

namespace {

bool MakeFolder(const std::string &path)
{
    if (::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST)
        return true;
    std::fprintf(stderr, "roadlog-mkcard: cannot create %s: %s\n", path.c_str(),
                 std::strerror(errno));
    return false;
}

SETUP_CFG DemoSetup()
{
    SETUP_CFG setup{};
    std::strncpy(setup.szModelName, "RL-DEMO", sizeof setup.szModelName);
    std::strncpy(setup.szFwVersion, "1.0.3", sizeof setup.szFwVersion - 1);
    setup.nGSensorSensX = setup.nGSensorSensY = setup.nGSensorSensZ = 4;
    setup.nRecVidBitrate = 6000000;
    setup.nAudioRecEnable = 1;
    setup.nSecurityLedEnable = 1;
    setup.nBuzzerEnable = 1;
    setup.nTimeZone = 13; // GMT: the clips' clock and their GPS times agree
    setup.nRecordingFrames = 2;
    setup.nSecurityLedMode = 1;
    // Bytes the viewer does not interpret still carry something, so a round trip shows them.
    for (size_t i = 0; i < sizeof setup.reserved84; ++i)
        setup.reserved84[i] = static_cast<uint8_t>(0xA0 + i);
    return setup;
}

time_t UtcTime(int year, int month, int day, int hour, int minute, int second)
{
    tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return timegm(&t);
}

enum class Motion
{
    Driving,
    Parked
};

struct CardClip
{
    const char *folder; // relative to the card root
    const char *name;
    int year, month, day, hour, minute, second; // start, UTC
    uint32_t seconds;                           // length of the full demo clip
    Motion motion;
    uint8_t tintU, tintV; // picture background per category
    ClipContainer container = ClipContainer::Clf;
};

// Continuous recording in two day folders, back to back so automatic advance plays on; event
// and manual clips overlap the drive as the recorder copies them; motion clips while parked.
// Most clips are CLF, as the recorder writes them; two are RIFF AVI, which carry no GPS.
constexpr CardClip kCardClips[] = {
    {"RECORD/20101011", "R_20101011_134500.avi", 2010, 10, 11, 13, 45, 0, 25, Motion::Driving, 150,
     110},
    {"RECORD/20101011", "R_20101011_134525.avi", 2010, 10, 11, 13, 45, 25, 25, Motion::Driving, 150,
     110},
    {"RECORD/20101011", "R_20101011_134550.avi", 2010, 10, 11, 13, 45, 50, 25, Motion::Driving, 150,
     110},
    {"RECORD/20101012", "R_20101012_083000.avi", 2010, 10, 12, 8, 30, 0, 20, Motion::Driving, 150,
     110},
    {"RECORD/20101012", "R_20101012_083020.avi", 2010, 10, 12, 8, 30, 20, 20, Motion::Driving, 150,
     110},
    {"RECORD/20101012", "R_20101012_083040.avi", 2010, 10, 12, 8, 30, 40, 20, Motion::Driving, 150,
     110, ClipContainer::Avi},
    {"EVENT", "E_20101011_134610.avi", 2010, 10, 11, 13, 46, 10, 20, Motion::Driving, 110, 170},
    {"EVENT", "E_20101012_083012.avi", 2010, 10, 12, 8, 30, 12, 20, Motion::Driving, 110, 170},
    {"MANUAL", "M_20101011_134530.AVI", 2010, 10, 11, 13, 45, 30, 20, Motion::Driving, 100, 120},
    {"MOTION", "T_20101012_021500.avi", 2010, 10, 12, 2, 15, 0, 20, Motion::Parked, 140, 140},
    {"MOTION", "T_20101012_021800.avi", 2010, 10, 12, 2, 18, 0, 20, Motion::Parked, 140, 140,
     ClipContainer::Avi},
};

// The drive of a day starts with that day's first recording.
time_t DriveStart(const CardClip &clip)
{
    return UtcTime(clip.year, clip.month, clip.day, 0, 0, 0) +
           (clip.day == 11 ? 13 * 3600 + 45 * 60 : 8 * 3600 + 30 * 60);
}

std::vector<std::string> RouteSentences(const CardClip &clip, time_t start, uint32_t seconds)
{
    std::vector<std::string> lines;
    for (uint32_t s = 0; s < seconds; ++s) {
        const time_t at = start + s;
        const RouteFix fix = clip.motion == Motion::Parked
                                 ? ParkedFix()
                                 : FixAtDriveSecond(uint32_t(at - DriveStart(clip)));
        lines.push_back(RmcSentence(fix, at));
    }
    return lines;
}

// A clip's file time is when the recorder closed it.
void SetFileTime(const std::string &path, time_t when)
{
    const timespec times[2] = {{when, 0}, {when, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

int MakeCard(std::string root, bool shortClips, bool twoCameras)
{
    if (root.empty() || root.back() != '/')
        root += '/';
    for (const char *folder : {"", "RECORD", "RECORD/20101011", "RECORD/20101012", "EVENT",
                               "MANUAL", "MOTION", "setting"}) {
        if (!MakeFolder(root + folder))
            return 1;
    }
    g_SetupFileImage = DemoSetup();
    if (!SaveSetupFile(SetupFilePath(root))) {
        std::fprintf(stderr, "roadlog-mkcard: cannot write %s\n", SetupFilePath(root).c_str());
        return 1;
    }
    const SYSTEMTIME demoTime{2010, 10, 1, 11, 13, 45, 9, 0};
    if (!WriteTimeSetting(TimeSettingPath(root), demoTime)) {
        std::fprintf(stderr, "roadlog-mkcard: cannot write %s\n", TimeSettingPath(root).c_str());
        return 1;
    }
    // The settings files get the time the recorder last wrote them, like the clips.
    const time_t settingsTime = UtcTime(2010, 10, 11, 13, 45, 9);
    SetFileTime(SetupFilePath(root), settingsTime);
    SetFileTime(TimeSettingPath(root), settingsTime);
    for (const CardClip &clip : kCardClips) {
        const uint32_t seconds = shortClips ? 3 : clip.seconds;
        DemoClipSpec spec;
        spec.path = root + clip.folder + "/" + clip.name;
        spec.container = clip.container;
        if (twoCameras) {
            // A recorder with a rear camera writes AVI (a CLF file holds one video stream).
            spec.container = ClipContainer::Avi;
            spec.secondWidth = 320;
            spec.secondHeight = 240;
        }
        spec.startUtc =
            UtcTime(clip.year, clip.month, clip.day, clip.hour, clip.minute, clip.second);
        spec.durationMs = seconds * 1000;
        spec.tintU = clip.tintU;
        spec.tintV = clip.tintV;
        spec.textSamples = RouteSentences(clip, spec.startUtc, seconds);
        std::string error;
        if (!WriteDemoClip(spec, &error)) {
            std::fprintf(stderr, "roadlog-mkcard: %s: %s\n", spec.path.c_str(), error.c_str());
            return 1;
        }
        SetFileTime(spec.path, spec.startUtc + seconds);
    }
    return 0;
}

int MakeNmeaClip(const std::string &nmeaPath, const std::string &outPath)
{
    std::ifstream in(nmeaPath, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "roadlog-mkcard: cannot read %s\n", nmeaPath.c_str());
        return 1;
    }
    DemoClipSpec spec;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        spec.textSamples.push_back(line);
    }
    if (in.bad()) {
        std::fprintf(stderr, "roadlog-mkcard: cannot read %s\n", nmeaPath.c_str());
        return 1;
    }
    // A small picture and sound under the sentences: as long as they are, up to 10 seconds, so
    // a fixture of a thousand sentences stays quick to make and small.
    spec.path = outPath;
    spec.startUtc = UtcTime(2010, 5, 12, 14, 33, 0);
    spec.width = 320;
    spec.height = 180;
    spec.durationMs = uint32_t(std::clamp<size_t>(spec.textSamples.size(), 1, 10) * 1000);
    std::string error;
    if (!WriteDemoClip(spec, &error)) {
        std::fprintf(stderr, "roadlog-mkcard: %s: %s\n", outPath.c_str(), error.c_str());
        return 1;
    }
    SetFileTime(outPath, spec.startUtc + spec.durationMs / 1000);
    return 0;
}

int Usage()
{
    std::fprintf(stderr, "usage: roadlog-mkcard [--short] [--two-cameras] DIR\n"
                         "       roadlog-mkcard --nmea FILE OUT\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    av_log_set_level(AV_LOG_ERROR); // the encoders' statistics are noise here
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "--nmea")
        return MakeNmeaClip(args[1], args[2]);
    bool shortClips = false, twoCameras = false;
    size_t next = 0;
    for (; next + 1 < args.size(); ++next) {
        if (args[next] == "--short" && !shortClips)
            shortClips = true;
        else if (args[next] == "--two-cameras" && !twoCameras)
            twoCameras = true;
        else
            return Usage();
    }
    if (next + 1 == args.size() && args[next].rfind("--", 0) != 0)
        return MakeCard(args[next], shortClips, twoCameras);
    return Usage();
}
