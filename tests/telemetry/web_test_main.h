#pragma once

class QString;
class QVariant;
class QWebEnginePage;

// True when the program has an X display to run the web engine on.
bool HaveDisplay();

// Runs a script in the page and waits (at most 10 s, a test failure past it) for its value;
// calls made before it have answered by then, since the page answers in order.
QVariant RunScript(QWebEnginePage *page, const QString &source);

#define SKIP_WITHOUT_DISPLAY()                                                                     \
    do {                                                                                           \
        if (!HaveDisplay())                                                                        \
            GTEST_SKIP() << "no X display: the web engine tests run under xvfb-run";               \
    } while (0)
