#include "settings/setup_file.h"

#include <array>
#include <climits>
#include <cstring>

#include "platform/file_exists.h"
#include "platform/file_open.h"
#include "settings/safe_replace.h"

SETUP_CFG g_SetupFileImage{};
SETUP_CFG g_SetupWork{};
int32_t g_nFwVersionMajor = 0;
int32_t g_nFwVersionMinor = 0;
int32_t g_nFwVersionBuild = 0;

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

} // namespace

std::string SettingFolderPath(const std::string &root)
{
    return root + "setting";
}

std::string SetupFilePath(const std::string &root)
{
    return root + "setting/setup.cfg";
}

std::string TimeSettingPath(const std::string &root)
{
    return root + "setting/data_Time.cfg";
}

CardCheck IsRecorderCard(const std::string &root)
{
    if (!PathExists(SettingFolderPath(root)))
        return CardCheck::NoSettingFolder;
    if (!PathExists(SetupFilePath(root)))
        return CardCheck::NoSetupFile;
    return CardCheck::RecorderCard;
}

bool LoadSetupFile(const std::string &path, bool *whole)
{
    std::memset(&g_SetupFileImage, 0, sizeof g_SetupFileImage);
    if (whole)
        *whole = false;
    CExclusiveFile file;
    if (!file.Open(path, CExclusiveFile::Mode::Read))
        return false;
    if (file.Size() < 0)
        return false;
    SETUP_CFG record{};
    const int64_t read = file.Read(&record, sizeof record);
    if (read < 0)
        return false;
    g_SetupFileImage = record;
    if (whole)
        *whole = read == static_cast<int64_t>(sizeof record);
    return true;
}

bool SaveSetupFile(const std::string &path)
{
    uint8_t bytes[kSetupFileSize];
    std::memcpy(bytes, &g_SetupFileImage, kSetupRecordSize);
    const uint32_t crc = SetupCrc32(&g_SetupFileImage, kSetupRecordSize);
    for (int i = 0; i < 4; ++i)
        bytes[kSetupRecordSize + i] = static_cast<uint8_t>(crc >> (8 * i));
    return ReplaceFileContents(path, bytes, sizeof bytes);
}

uint32_t SetupCrc32(const void *bytes, size_t size)
{
    const auto *p = static_cast<const uint8_t *>(bytes);
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i)
        crc = kCrcTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

int32_t LeadingNumber(const char *text, size_t length)
{
    size_t i = 0;
    while (i < length && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < length && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT32_MAX)
            return negative ? INT32_MIN : INT32_MAX;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

void ParseFwVersion(const char *text, size_t maxLength)
{
    int32_t parts[3] = {0, 0, 0};
    size_t pos = 0;
    for (int32_t &part : parts) {
        const size_t start = pos;
        while (pos < maxLength && text[pos] != '\0' && text[pos] != '.')
            ++pos;
        part = LeadingNumber(text + start, pos - start);
        if (pos >= maxLength || text[pos] == '\0')
            break; // the text ended: the components still to come stay 0
        ++pos;     // past the '.'
    }
    g_nFwVersionMajor = parts[0];
    g_nFwVersionMinor = parts[1];
    g_nFwVersionBuild = parts[2];
}
