#pragma once

#include <cstdint>

#include <QString>

// Result codes of a failed page script call, as the window's failure box reports them.
inline constexpr uint32_t DISP_E_MEMBERNOTFOUND = 0x80020003u; // the name is not a function
inline constexpr uint32_t DISP_E_UNKNOWNNAME = 0x80020006u;    // the page has no such name
inline constexpr uint32_t DISP_E_EXCEPTION = 0x80020009u;      // the function threw

// The system's message text for a result code; "FormatMessage Netive Error" for a code
// without one.
QString ScriptErrorText(uint32_t code);
