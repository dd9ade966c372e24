#pragma once

#include <QString>

class QWebEngineView;

// The page's external object: window.external answers a property whose name starts with
// "xxy" (full-width letters count as their plain forms) with the text "Wibble"; every other
// name is unknown (undefined). One object serves the whole program.
class CImpIDispatch
{
public:
    static const CImpIDispatch &Instance();

    // The script that defines window.external in every page before the page's own scripts run.
    QString PageScript() const;

    static constexpr const char *kNamePrefix = "xxy"; // the first three of "xxyyzz"
    static constexpr const char *kValue = "Wibble";
};

// How the viewer hosts web pages: no context menu, no scroll bars, no frame around the page,
// and the external object above. Applied to every browser the viewer creates.
class CCustomControlSite
{
public:
    static void Attach(QWebEngineView *pView);
};
