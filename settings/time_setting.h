#pragma once

#include <string>

#include "platform/system_time.h"

// setting/data_Time.cfg: the time the user wants the recorder's clock set to, as the 19
// characters "YYYY MM DD hh mm ss" with no terminator and no zone.

// The stored time, or the current local time when the file is missing, unreadable, shorter
// than 16 bytes or holds no real date and time (month 13, 30 February, letters). Day of week and
// milliseconds are always the current local time's. A file of 16 to 18 bytes gives the seconds
// from the digits it holds (0 when none).
SYSTEMTIME ReadTimeSetting(const std::string &path);

// Writes the file whole or leaves the old one; false on failure.
bool WriteTimeSetting(const std::string &path, const SYSTEMTIME &time);
