#include "telemetry/custom_control_site.h"

#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

const CImpIDispatch &CImpIDispatch::Instance()
{
    static const CImpIDispatch instance;
    return instance;
}

QString CImpIDispatch::PageScript() const
{
    // Page scripts read the external object synchronously, so the answer is made in the page.
    // Full-width forms U+FF01..U+FF5E fold onto ASCII before the comparison, which is
    // case-sensitive.
    return QStringLiteral(R"JS((function () {
  var prefix = '%1', value = '%2';
  function head(name) {
    var out = '';
    for (var i = 0; i < name.length && i < 3; ++i) {
      var c = name.charCodeAt(i);
      out += String.fromCharCode(c >= 0xFF01 && c <= 0xFF5E ? c - 0xFEE0 : c);
    }
    return out;
  }
  function known(name) { return typeof name === 'string' && head(name) === prefix; }
  var external = new Proxy({}, {
    get: function (target, name) { return known(name) ? value : undefined; },
    has: function (target, name) { return known(name); },
    set: function () { return false; }
  });
  try {
    Object.defineProperty(window, 'external', { value: external, configurable: false });
  } catch (e) {
    window.external = external;
  }
})();)JS")
        .arg(QLatin1String(kNamePrefix), QLatin1String(kValue));
}

void CCustomControlSite::Attach(QWebEngineView *pView)
{
    pView->setContextMenuPolicy(Qt::NoContextMenu);
    QWebEnginePage *page = pView->page();
    page->settings()->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    QWebEngineScript external;
    external.setName(QStringLiteral("external-object"));
    external.setSourceCode(CImpIDispatch::Instance().PageScript());
    external.setInjectionPoint(QWebEngineScript::DocumentCreation);
    external.setWorldId(QWebEngineScript::MainWorld);
    external.setRunsOnSubFrames(false);
    page->scripts().insert(external);
}
