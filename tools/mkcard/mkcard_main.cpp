// roadlog-mkcard DIR: writes a demo recorder card: the four category folders and the recorder's
// settings files. Deterministic for the same arguments.
#include <sys/stat.h>

#include <cerrno>

#include <cstdio>
#include <cstring>
#include <string>

#include "settings/setup_file.h"
#include "settings/time_setting.h"

namespace {

bool MakeFolder(const std::string &path)
{
    if (::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST)
        return true;
    std::fprintf(stderr, "roadlog-mkcard: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
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
    setup.nTimeZone = 13;
    setup.nRecordingFrames = 2;
    setup.nSecurityLedMode = 1;
    // Bytes the viewer does not interpret still carry something, so a round trip shows them.
    for (size_t i = 0; i < sizeof setup.reserved84; ++i)
        setup.reserved84[i] = static_cast<uint8_t>(0xA0 + i);
    return setup;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: roadlog-mkcard DIR\n");
        return 2;
    }
    std::string root = argv[1];
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
    return 0;
}
