#pragma once

// Developer traces. They carry no behaviour: written to stderr only when ROADLOG_TRACE=1.
// printf-style; the wide form takes the system's own wide texts, such as L"OnBtnControl\r\n".
void Trace(const wchar_t *format, ...);
void TraceA(const char *format, ...) __attribute__((format(printf, 1, 2)));

// True when traces are written; read once.
bool TraceEnabled();
