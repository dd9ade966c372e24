#pragma once

// Tests that play sound send it to a file in a temporary folder of the run, at the device's own
// pace; set before the sound system starts.
#include <cstdlib>

#include "tests/support/temp_folder.h"

inline const bool kDiskAudio = [] {
    static CTempFolder folder;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", (folder / "audio.raw").c_str(), 1);
    return true;
}();
