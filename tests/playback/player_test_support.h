#pragma once

// Shared by the tests that play demo clips through the wrapper: sound to a file, a watchdog
// against hangs, running the window thread's events, and running the project's tools.
#include <cstdlib>
#include <string>

#include <QCoreApplication>
#include <gtest/gtest.h>

#include "tests/support/disk_audio.h"
#include "tests/support/pump_events.h"
#include "tests/support/temp_folder.h"

inline void RunTool(const std::string &command)
{
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}
