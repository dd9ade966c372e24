#include "telemetry/web_browser2.h"

#include <QAction>
#include <QUrl>

#include "platform/trace.h"
#include "telemetry/custom_control_site.h"

namespace {
// The page that reports each navigation before it starts; navigation always proceeds.
class CBrowserPage : public QWebEnginePage
{
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool) override
    {
        TraceA("BeforeNavigate2: \r\n%s", qUtf8Printable(url.toString()));
        return true;
    }
};

// The command numbers the navigation buttons' state changes are reported with.
constexpr long CSC_NAVIGATEFORWARD = 1;
constexpr long CSC_NAVIGATEBACK = 2;
} // namespace

CWebBrowser2::CWebBrowser2(QWidget *parent) : QWebEngineView(parent)
{
    setObjectName(QStringLiteral("Browser"));
    setPage(new CBrowserPage(this));
    CCustomControlSite::Attach(this);
    ConnectEvents();
}

CWebBrowser2::~CWebBrowser2() = default;

void CWebBrowser2::Navigate(const QString &url)
{
    load(QUrl(url));
}

QWebEnginePage *CWebBrowser2::Document() const
{
    return page();
}

void CWebBrowser2::ConnectEvents()
{
    QWebEnginePage *p = page();
    connect(p, &QWebEnginePage::urlChanged, this, [](const QUrl &url) {
        TraceA("NavigateComplete2: \r\n%s", qUtf8Printable(url.toString()));
    });
    connect(p, &QWebEnginePage::loadProgress, this, [](int progress) {
        TraceA("ProgressChange: Progress = %ld  ProgressMax = %ld \r\n", long(progress), 100L);
    });
    connect(p, &QWebEnginePage::linkHovered, this,
            [](const QString &text) { TraceA("StatusTextChange: \r\n%s", qUtf8Printable(text)); });
    connect(p, &QWebEnginePage::titleChanged, this,
            [](const QString &text) { TraceA("TitleChange: \r\n%s", qUtf8Printable(text)); });
    connect(p, &QWebEnginePage::windowCloseRequested, this, [] { TraceA("Quit: \r\n"); });
    connect(p, &QWebEnginePage::loadFinished, this, [this, p](bool ok) {
        TraceA("OnDownloadComplete\r\n");
        if (!ok)
            return;
        TraceA("DocumentComplete: \r\n%s", qUtf8Printable(p->url().toString()));
        emit DocumentComplete(p->url());
    });
    const struct
    {
        QWebEnginePage::WebAction action;
        long command;
    } navigation[] = {{QWebEnginePage::Forward, CSC_NAVIGATEFORWARD},
                      {QWebEnginePage::Back, CSC_NAVIGATEBACK}};
    for (const auto &entry : navigation) {
        QAction *action = p->action(entry.action);
        const long command = entry.command;
        connect(action, &QAction::changed, this, [action, command] {
            TraceA("CommandStateChange: Command = %ld  Enable = %d\r\n", command,
                   action->isEnabled() ? 1 : 0);
        });
    }
}
