#pragma once

// True when the program has an X display to run the web engine on.
bool HaveDisplay();

#define SKIP_WITHOUT_DISPLAY()                                                                     \
    do {                                                                                           \
        if (!HaveDisplay())                                                                        \
            GTEST_SKIP() << "no X display: the web engine tests run under xvfb-run";               \
    } while (0)
