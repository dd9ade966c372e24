#pragma once

// A demo card written by roadlog-mkcard, whose path the test target defines as ROADLOG_MKCARD.

#include <cstdlib>
#include <string>

#ifndef ROADLOG_MKCARD
#error "the test target defines ROADLOG_MKCARD, the path of roadlog-mkcard"
#endif

// Short clips unless the full-length ones are asked for; with bTwoCameras every clip is an AVI
// with a second camera. True when the card was written.
inline bool WriteDemoCard(const std::string &folder, bool bShort = true, bool bTwoCameras = false)
{
    const std::string command = std::string(ROADLOG_MKCARD) + (bShort ? " --short" : "") +
                                (bTwoCameras ? " --two-cameras" : "") + " '" + folder +
                                "' >/dev/null";
    return std::system(command.c_str()) == 0;
}
