#include "app/tavlo_player_app.h"

#include <cctype>
#include <cstdlib>

#include <QCommandLineParser>
#include <QtWebEngineCore/qtwebenginecoreglobal.h>

#include "app/tavlo_frame.h"
#include "recordings/play_infor.h"
#include "widgets/warning_box.h"

bool WebBrowserVersionAccepted(const char *pszVersion)
{
    if (pszVersion == nullptr || !std::isdigit(static_cast<unsigned char>(pszVersion[0])))
        return true;
    // The whole major number counts: "10.0" is newer than "7.0".
    long major = 0;
    for (const char *p = pszVersion; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
        major = major * 10 + (*p - '0');
        if (major >= 7)
            return true; // also keeps an absurdly long number from overflowing
    }
    return major >= 7;
}

CTavloPlayerApp::CTavloPlayerApp(FramePlayerFactory playerFactory)
    : m_playerFactory(std::move(playerFactory))
{
}

CTavloPlayerApp::~CTavloPlayerApp() = default;

bool CTavloPlayerApp::InitInstance(const QStringList &arguments)
{
    g_PlayInfor.bMapAllowed = 1;
    if (!WebBrowserVersionAccepted(qWebEngineChromiumVersion())) {
        ShowWarningBox(nullptr, QString::fromLatin1(WEB_BROWSER_TOO_OLD));
        g_PlayInfor.bMapAllowed = 0;
        return false;
    }

    m_pMainWnd = std::make_unique<CTavloFrame>(m_playerFactory);
    m_pMainWnd->resize(FRAME_WIDTH, FRAME_HEIGHT);
    m_pMainWnd->show();
    m_pMainWnd->repaint();

    QCommandLineParser parser;
    const QCommandLineOption card(QStringLiteral("card"), QStringLiteral("card folder"),
                                  QStringLiteral("PATH"));
    parser.addOption(card);
    if (parser.parse(arguments) && parser.isSet(card))
        m_pMainWnd->OpenCardFolder(parser.value(card).toStdString());
    return true;
}

int CTavloPlayerApp::ExitInstance(int nLoopResult)
{
    m_pMainWnd.reset();
    return nLoopResult;
}
