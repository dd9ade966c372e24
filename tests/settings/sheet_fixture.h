#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <QString>
#include <QStringList>

#include "settings/settings_services.h"
#include "settings/setup_file.h"
#include "setup_fixture.h"
#include "tests/support/temp_folder.h"

// A card folder with setting/setup.cfg and services that record what the sheet would show.
struct SheetCard
{
    CTempFolder folder;
    QStringList notes;    // notifications shown
    QStringList warnings; // warning boxes shown
    std::vector<QUrl> urls;

    std::string Root() const { return folder.Path(); }

    void WriteSetup(const std::vector<uint8_t> &bytes) const
    {
        std::filesystem::create_directories(folder / "setting");
        std::ofstream out(SetupFilePath(Root()), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }

    static std::vector<uint8_t> ReadFile(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    SETTINGS_SERVICES Services()
    {
        SETTINGS_SERVICES services;
        services.notify = [this](QWidget *, const QString &text) { notes << text; };
        services.warn = [this](QWidget *, const QString &text) { warnings << text; };
        services.askFormat = [](QWidget *, FORMAT_CHOICE *) { return false; };
        services.diskSpace = [](const std::string &, uint64_t *, uint64_t *) { return false; };
        services.openUrl = [this](const QUrl &url) {
            urls.push_back(url);
            return true;
        };
        services.nAfterFormatWaitMs = 0;
        services.nAfterRestoreWaitMs = 0;
        return services;
    }
};

// A record every field of which the pages can show: saved unchanged it must come back as is.
inline SETUP_CFG ShowableRecord()
{
    SETUP_CFG cfg;
    const std::vector<uint8_t> pattern = PatternRecord(3);
    std::memcpy(&cfg, pattern.data(), sizeof cfg);
    std::memcpy(cfg.szModelName, "DR-500\0\0\0\0\0\0\0\0\0\0", 16);
    std::memcpy(cfg.szFwVersion, "1.0.3\0\0\0\0", 9);
    cfg.nGSensorSensX = cfg.nGSensorSensY = cfg.nGSensorSensZ = 4;
    cfg.nRecVidBitrate = 6000000;
    cfg.nAudioRecEnable = 1;
    cfg.nSecurityLedEnable = 1;
    cfg.nBuzzerEnable = 0;
    cfg.nTimeZone = 13;
    cfg.nRecordingFrames = 1;
    cfg.nSecurityLedMode = 2;
    return cfg;
}

inline std::vector<uint8_t> RecordBytes(const SETUP_CFG &cfg)
{
    const auto *p = reinterpret_cast<const uint8_t *>(&cfg);
    return {p, p + sizeof cfg};
}
