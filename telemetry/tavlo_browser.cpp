#include "telemetry/tavlo_browser.h"

#include <QCloseEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QNetworkInformation>
#include <QPaintEvent>
#include <QPointer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWindow>

#include "telemetry/clip_track.h"
#include "telemetry/net_state.h"
#include "telemetry/script_error.h"
#include "telemetry/web_browser2.h"
#include "widgets/memory_dc.h"
#include "widgets/skin_ids.h"
#include "widgets/warning_box.h"

#ifndef ROADLOG_MAP_PAGE_URL
#define ROADLOG_MAP_PAGE_URL "qrc:/map/googlemap.html"
#endif

namespace {
const QRect kBrowserRect(QPoint(11, 31), QPoint(334, 304)); // (11, 31)-(335, 305), exclusive

// The call runs inside the page and answers {hr, value}: hr 0 for success, otherwise the
// code the failure box explains. The name and arguments travel as JSON, so no text of theirs
// can break out of the string literals.
QString ScriptCallSource(const QString &function, const QStringList &args)
{
    QJsonArray call{function};
    for (const QString &arg : args)
        call.append(arg);
    const QString json = QString::fromUtf8(QJsonDocument(call).toJson(QJsonDocument::Compact));
    return QStringLiteral(R"JS((function (call) {
  var name = call[0];
  if (!(name in window)) return { hr: %1 };
  var f = window[name];
  if (typeof f !== 'function') return { hr: %2 };
  try {
    var r = f.apply(window, call.slice(1));
    if (r === undefined || r === null) r = null;
    else if (typeof r === 'object' || typeof r === 'function') r = String(r);
    return { hr: 0, value: r };
  } catch (e) {
    return { hr: %3 };
  }
})(%4))JS")
        .arg(DISP_E_UNKNOWNNAME)
        .arg(DISP_E_MEMBERNOTFOUND)
        .arg(DISP_E_EXCEPTION)
        .arg(json);
}

bool IsWebAddress(const QString &url)
{
    const QString scheme = QUrl(url).scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}
} // namespace

// The bundled page lives in this static library's resources; referencing them keeps the
// linker from dropping them.
static void InitMapResources()
{
    Q_INIT_RESOURCE(map);
}

QString CTavloBrowser::DefaultPageUrl()
{
    return QStringLiteral(ROADLOG_MAP_PAGE_URL);
}

CTavloBrowser::CTavloBrowser(QWidget *parent, MAP_WINDOW_OPTIONS options)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_failureBox(options.failureBox)
{
    InitMapResources();
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFixedSize(WINDOW_WIDTH, WINDOW_HEIGHT);
    setWindowTitle(QString::fromLatin1(APP_TITLE));

    m_wndBrowser = new CWebBrowser2(this);
    m_wndBrowser->setGeometry(kBrowserRect);
    connect(m_wndBrowser, &CWebBrowser2::DocumentComplete, this,
            &CTavloBrowser::OnDocumentComplete);

    const QString page = options.strPageUrl.isEmpty() ? DefaultPageUrl() : options.strPageUrl;
    const bool offline =
        IsWebAddress(page) && (options.isOffline ? options.isOffline() : InetIsOffline());
    if (options.bMapAllowed == 1 && !offline) {
        m_wndBrowser->Navigate(page);
        m_bPageRequested = true;
    }

    // Street tiles when the network comes back, not only if it was there at the page's load.
    (void)InetIsOffline(); // loads the reachability backend where there is one
    if (const QNetworkInformation *network = QNetworkInformation::instance())
        connect(network, &QNetworkInformation::reachabilityChanged, this,
                &CTavloBrowser::SendReachability);

    m_background.Load(IDB_MAP_BACKGROUND);
    if (m_btnMinimize.LoadStrip(IDB_BTN_MINIMIZE))
        m_btnMinimize.CreateAt(282, 3, this, IDC_MINIMIZE);
    if (m_btnClose.LoadStrip(IDB_BTN_EXIT))
        m_btnClose.CreateAt(310, 3, this, IDC_CLOSE);
}

CTavloBrowser::~CTavloBrowser()
{
    m_bClosing = true;
    delete m_wndBrowser; // before the members its pending answers would reach
    m_wndBrowser = nullptr;
}

void CTavloBrowser::SetRoute(const std::vector<TRACK_POINT> &route)
{
    QString text = QStringLiteral("[");
    for (const TRACK_POINT &point : route) {
        if (text.size() > 1)
            text += QLatin1Char(',');
        text += QString::asprintf("[%0.6f,%0.6f]", point.dLatitude, point.dLongitude);
    }
    text += QLatin1Char(']');
    if (text == m_strRoute && m_bRouteSent)
        return;
    m_strRoute = text;
    m_bRouteSent = false;
    if (m_bDocumentComplete) {
        CallOptionalScript(QStringLiteral("showRoute"), m_strRoute);
        m_bRouteSent = true;
    }
}

void CTavloBrowser::CallOptionalScript(const QString &function, const QString &arg)
{
    QWebEnginePage *document = m_wndBrowser ? m_wndBrowser->Document() : nullptr;
    if (!document)
        return;
    const QString call =
        QString::fromUtf8(QJsonDocument(QJsonArray{function, arg}).toJson(QJsonDocument::Compact));
    document->runJavaScript(
        QStringLiteral(
            "(function (c) { if (typeof window[c[0]] === 'function') window[c[0]](c[1]); })(%1)")
            .arg(call));
}

void CTavloBrowser::SendReachability()
{
    if (m_bDocumentComplete)
        CallOptionalScript(QStringLiteral("setStreetTiles"),
                           InetIsOffline() ? QStringLiteral("0") : QStringLiteral("1"));
}

void CTavloBrowser::SetNaviInfo(double dLatitude, double dLongitude, const SYSTEMTIME &stTime,
                                int32_t nSpeed, int32_t nCourse)
{
    m_panel.SetNaviInfo(dLatitude, dLongitude, stTime, nSpeed, nCourse);
    update(kNaviPanelRect);
}

bool CTavloBrowser::CallScript(const QString &function, const QStringList &args,
                               ScriptResult onResult)
{
    if (!m_bDocumentComplete)
        return false;
    QWebEnginePage *document = m_wndBrowser ? m_wndBrowser->Document() : nullptr;
    if (!document) {
        ReportScriptFailure(QStringLiteral("Cannot GetScript"));
        return false;
    }
    QPointer<CTavloBrowser> self(this);
    document->runJavaScript(ScriptCallSource(function, args),
                            [self, onResult = std::move(onResult)](const QVariant &answer) {
                                if (self && !self->m_bClosing)
                                    self->OnScriptAnswer(answer, onResult);
                            });
    return true;
}

void CTavloBrowser::OnScriptAnswer(const QVariant &answer, const ScriptResult &onResult)
{
    // No answer at all: the page had no script context to run in.
    const QVariantMap fields = answer.toMap();
    if (!answer.isValid() || !fields.contains(QStringLiteral("hr"))) {
        ReportScriptFailure(QStringLiteral("Cannot GetScript"));
        return;
    }
    const uint32_t hr = static_cast<uint32_t>(fields.value(QStringLiteral("hr")).toLongLong());
    if (hr != 0) {
        ReportScriptFailure(ScriptErrorText(hr));
        return;
    }
    m_bFailureShown = false;
    if (onResult)
        onResult(fields.value(QStringLiteral("value")));
}

void CTavloBrowser::ReportScriptFailure(const QString &text)
{
    if (m_bFailureShown)
        return;
    m_bFailureShown = true; // before the modal box: ticks keep coming while it is open
    if (m_failureBox)
        m_failureBox(this, text);
    else
        ShowWarningBox(this, text);
}

void CTavloBrowser::OnDocumentComplete()
{
    if (QWebEnginePage *document = m_wndBrowser->Document()) {
        document->runJavaScript(
            QStringLiteral("if (document.body) { document.body.setAttribute('scroll', 'no');"
                           " document.body.style.overflow = 'hidden'; }"));
    }
    m_bDocumentComplete = true;
    m_bFailureShown = false;
    SendReachability();
    if (!m_strRoute.isEmpty()) {
        CallOptionalScript(QStringLiteral("showRoute"), m_strRoute);
        m_bRouteSent = true;
    }
}

void CTavloBrowser::ShowWindow()
{
    showNormal();
    raise();
    m_bShown = true;
}

void CTavloBrowser::HideWindow()
{
    hide();
    m_bShown = false;
}

void CTavloBrowser::OnCommand(int nId)
{
    switch (nId) {
    case IDC_CLOSE:
        HideWindow();
        break;
    case IDC_MINIMIZE:
        showMinimized();
        break;
    default:
        break;
    }
}

void CTavloBrowser::paintEvent(QPaintEvent *e)
{
    CMemoryDC dc(this, e->rect(), Qt::black);
    m_background.Draw(dc, 0, 0);
    m_panel.Paint(dc);
}

void CTavloBrowser::keyPressEvent(QKeyEvent *e)
{
    switch (e->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        HideWindow();
        e->accept();
        return;
    default:
        QWidget::keyPressEvent(e);
    }
}

void CTavloBrowser::closeEvent(QCloseEvent *e)
{
    e->ignore();
    HideWindow();
}

void CTavloBrowser::changeEvent(QEvent *e)
{
    // A minimised window is one the user cannot see: the next map command shows it again.
    if (e->type() == QEvent::WindowStateChange && isMinimized())
        m_bShown = false;
    QWidget::changeEvent(e);
}

void CTavloBrowser::mousePressEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton && e->position().y() < int(MOVE_BAND_HEIGHT) &&
        windowHandle()) {
        windowHandle()->startSystemMove();
        e->accept();
        return;
    }
    QWidget::mousePressEvent(e);
}

void FollowNaviOnMap(CTavloBrowser &map, const CTavloNaviInfo &info, int32_t bMapAllowed,
                     const TRACK_POINT *onRoute)
{
    const NAVI_SHOWN shown = NaviShownValues(info);
    if (bMapAllowed == 1)
        map.CallScript(QStringLiteral("codeLatLng"),
                       {onRoute ? FormatLatLng(onRoute->dLatitude, onRoute->dLongitude)
                                : FormatLatLng(shown.dLatitude, shown.dLongitude)});
    map.SetNaviInfo(shown.dLatitude, shown.dLongitude, shown.stTime, shown.nSpeed, shown.nCourse);
}

void ToggleMapWindow(std::unique_ptr<CTavloBrowser> &pMap, QWidget *parent,
                     const MAP_WINDOW_OPTIONS &options)
{
    if (!pMap) {
        pMap = std::make_unique<CTavloBrowser>(parent, options);
        pMap->ShowWindow();
    } else if (pMap->IsShownFlag()) {
        pMap->HideWindow();
    } else {
        pMap->ShowWindow();
    }
}
