#pragma once

#include <QString>
#include <QWebEnginePage>
#include <QWebEngineView>

// The hosted web browser of the map window: a web view with the viewer's hosting rules
// (custom_control_site.h) and a trace of every browser event. Window thread only.
class CWebBrowser2 : public QWebEngineView
{
    Q_OBJECT
public:
    explicit CWebBrowser2(QWidget *parent = nullptr);
    ~CWebBrowser2() override;

    void Navigate(const QString &url);
    // The loaded document, through which scripts are run; null while there is none.
    QWebEnginePage *Document() const;

signals:
    // The first and every later completed document (a load that succeeded).
    void DocumentComplete(const QUrl &url);

private:
    void ConnectEvents();
};
