#pragma once

#include <memory>

#include <QStringList>

#include "playback/frame_player.h"

class CTavloFrame;

// The application object: checks that the web map can be hosted, creates and shows the main
// window, and frees what it made at the end. The main window's Exit command does the orderly
// shutdown itself.
class CTavloPlayerApp
{
public:
    explicit CTavloPlayerApp(FramePlayerFactory playerFactory = {});
    ~CTavloPlayerApp();

    // True to run the event loop, false to end the program at once. arguments are the
    // program's; "--card PATH" opens that folder as the card once the window shows.
    bool InitInstance(const QStringList &arguments);
    // The exit code of the program.
    int ExitInstance(int nLoopResult);

    CTavloFrame *MainWindow() const { return m_pMainWnd.get(); }

private:
    FramePlayerFactory m_playerFactory;
    std::unique_ptr<CTavloFrame> m_pMainWnd;
};

// The web engine's version decides whether the map can be hosted: a major version below 7
// fails. No version, or one without a leading number, cannot be judged and passes.
bool WebBrowserVersionAccepted(const char *pszVersion);

inline constexpr char WEB_BROWSER_TOO_OLD[] = "Program needs I.E 7.0 or higher version";
