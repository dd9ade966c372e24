#include "telemetry/script_error.h"

namespace {
struct ERROR_TEXT
{
    uint32_t code;
    const char *text;
};

// The system message table's texts for the codes a script call can end with.
constexpr ERROR_TEXT kErrorTexts[] = {
    {DISP_E_MEMBERNOTFOUND, "Member not found."},
    {DISP_E_UNKNOWNNAME, "Unknown name."},
    {DISP_E_EXCEPTION, "Exception occurred."},
    {0x80004005u, "Unspecified error"},
};
} // namespace

QString ScriptErrorText(uint32_t code)
{
    for (const ERROR_TEXT &entry : kErrorTexts) {
        if (entry.code == code)
            return QString::fromLatin1(entry.text);
    }
    return QStringLiteral("FormatMessage Netive Error");
}
