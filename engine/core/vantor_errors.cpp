#include "engine/core/vantor_errors.h"

namespace {

struct ErrorMessage
{
    uint32_t code;
    const char *text;
};

// The texts are the system's own, misspellings included: callers and users may match on them.
constexpr ErrorMessage kErrorMessages[] = {
    {0x80000001, "Memory allocation failed."},
    {0x80000002, "Thread creation failed"},
    {0x80000003, "System init failed"},
    {0x80000004, "Network system failed"},
    {0x80000010, "File not found"},
    {0x80000011, "File creation failed"},
    {0x80000016, "Unsupported function"},
    {0x80000017, "Random access failed"},
    {0x80000018, "Unsupported URL"},
    {0x80000019, "Unsupported file"},
    {0x8000001a, "Stream syntax error"},
    {0x80000030, "Unsupported audio codec"},
    {0x80000031, "Unsupported video codec"},
    {0x80000032, "Unsupported text codec"},
    {0x80000033, "Audio decoder init failed"},
    {0x80000034, "Video decoder init failed"},
    {0x80000035, "Text decoder init failed"},
    {0x80000036, "Audio encoder init failed"},
    {0x80000037, "Video encoder init failed"},
    {0x80000038, "Text encoder init failed"},
    {0x80000039, "Audio input device init failed"},
    {0x8000003a, "Video input device init failed"},
    {0x8000003b, "Audio output device init failed"},
    {0x8000003c, "Video output device init failed"},
    {0x80000040, "Socket creation failed"},
    {0x80000041, "Protocol syntax error"},
    {0x80000042, "Send error"},
    {0x80000043, "Recv error"},
    {0x80000044, "Time out is occurerd"},
    {0x80000045, "Internal server error"},
    {0x80000046, "No connection to server"},
    {0x80000047, "Disconnected from sever"},
    {0x80000048, "No response from server"},
    {0x80000049, "No data is received from server"},
    {0x8000004a, "Invalid request"},
    {0x8000004b, "Acception from client is denied"},
    {0x8000004c, "Disconnected from client"},
    {0x8000004d, "No request from client"},
    {0x8000004f, "Requested URL is moved."},
};

} // namespace

const char *VantorErrorText(int32_t code)
{
    for (const ErrorMessage &m : kErrorMessages) {
        if (static_cast<int32_t>(m.code) == code)
            return m.text;
    }
    return "Unknown error";
}
