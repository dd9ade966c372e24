// Arbitrary bytes as setting/setup.cfg: the load, the firmware version and the numbers read from
// the record; the sanitizers watch every read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/settings/fuzz_file.h"
#include "settings/setup_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4096)
        return 0;
    const std::string path = WriteFuzzFile("setup_file_fuzz", data, size);
    if (LoadSetupFile(path)) {
        ParseFwVersion(g_SetupFileImage.szFwVersion, sizeof g_SetupFileImage.szFwVersion);
        SetupCrc32(&g_SetupFileImage, sizeof g_SetupFileImage);
    }
    // The text helpers on the raw bytes, whatever their length.
    LeadingNumber(reinterpret_cast<const char *>(data), size);
    ParseFwVersion(reinterpret_cast<const char *>(data), size);
    return 0;
}
