#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

// The recorder's configuration record, exactly as it lies in setting/setup.cfg (little-endian).
// Bytes the viewer does not interpret are kept in the reserved arrays and written back as read.
struct SETUP_CFG
{
    char szModelName[16]; // NUL-padded, single-byte text
    uint8_t reserved16[17];
    char szFwVersion[9];    // "1.0.3"; NUL-terminated when the recorder wrote it well
    uint16_t nGSensorSensX; // 0..9, shown as 1..10
    uint16_t nGSensorSensY; // written equal to X
    uint16_t nGSensorSensZ; // written equal to X
    uint8_t reserved48[8];
    uint32_t nRecVidBitrate; // 4000000 Low, 6000000 Mid, 8000000 High
    uint8_t reserved60[10];
    uint16_t nAudioRecEnable; // 0 off, other on
    uint16_t nSecurityLedEnable;
    uint16_t nBuzzerEnable;
    uint8_t reserved76[4];
    int32_t nTimeZone; // 1..25; offset from UTC is nTimeZone - 13 hours
    uint8_t reserved84[12];
    uint16_t nRecordingFrames; // 1 variable, 0 fixed 15 fps, 2 fixed 30 fps
    uint8_t reserved98[2];
    uint16_t nSecurityLedMode; // 0 L/R scroll, 1 auto, 2 blink
    uint8_t reserved102[10];
};
static_assert(sizeof(SETUP_CFG) == 112, "the record is the recorder's own layout");
static_assert(offsetof(SETUP_CFG, szFwVersion) == 33);
static_assert(offsetof(SETUP_CFG, nGSensorSensX) == 42);
static_assert(offsetof(SETUP_CFG, nRecVidBitrate) == 56);
static_assert(offsetof(SETUP_CFG, nAudioRecEnable) == 70);
static_assert(offsetof(SETUP_CFG, nTimeZone) == 80);
static_assert(offsetof(SETUP_CFG, nRecordingFrames) == 96);
static_assert(offsetof(SETUP_CFG, nSecurityLedMode) == 100);
static_assert(std::endian::native == std::endian::little, "fields are read in place");

constexpr size_t kSetupRecordSize = sizeof(SETUP_CFG);
constexpr size_t kSetupFileSize = kSetupRecordSize + 4; // record + CRC-32

// Process-wide copies, window thread only: the record as last read from or written to the
// card, and the working copy the settings pages change.
extern SETUP_CFG g_SetupFileImage;
extern SETUP_CFG g_SetupWork;
extern int32_t g_nFwVersionMajor;
extern int32_t g_nFwVersionMinor;
extern int32_t g_nFwVersionBuild;

// Paths on a card whose root ends with '/'.
std::string SettingFolderPath(const std::string &root);
std::string SetupFilePath(const std::string &root);
std::string TimeSettingPath(const std::string &root);

enum class CardCheck
{
    NoSettingFolder,
    NoSetupFile,
    RecorderCard,
};

// A folder is a recorder card when setting/ and setting/setup.cfg both exist; the first missing
// one decides.
CardCheck IsRecorderCard(const std::string &root);

// Reads setup.cfg into g_SetupFileImage. The image is cleared first, so bytes beyond the end of a
// short file read as 0 and a failed load never leaves another card's record behind. Success when
// the file opened (no other program holding it) and all it holds, up to 112 bytes, was read;
// the stored CRC is not checked. *whole tells whether the file held the whole record: one that
// did not (empty, or cut by a power loss) must not be written back.
bool LoadSetupFile(const std::string &path, bool *whole = nullptr);

// Writes g_SetupFileImage and its CRC (116 bytes). The new file is written beside the old one,
// flushed to the medium and renamed over it, so a pulled or full card keeps the old file whole;
// false on any failure, and then the old file is untouched.
bool SaveSetupFile(const std::string &path);

// CRC-32 of IEEE 802.3 (zlib's crc32), byte by byte through the 256-entry table.
uint32_t SetupCrc32(const void *bytes, size_t size);

// Parses "major.minor.build" from at most maxLength characters into g_nFwVersion*; missing
// components are 0.
void ParseFwVersion(const char *text, size_t maxLength);

// The leading decimal number of a text the C atoi way (white space, sign, digits), saturated
// instead of overflowing; 0 when there is none.
int32_t LeadingNumber(const char *text, size_t length);
