#pragma once

#include <string>

// The system's texts are wide; Linux paths and the terminal are UTF-8. Invalid sequences are
// replaced, never dropped silently into a different path.
std::string WideToUtf8(const std::wstring &text);
std::wstring Utf8ToWide(const std::string &text);
