#pragma once

#include <QWidget>

#include "settings/settings_services.h"

class QLabel;

// The version page: the recorder's model and firmware version, the viewer's version, and the
// firmware download page.
class CPage3 : public QWidget
{
    Q_OBJECT
public:
    enum
    {
        IDD = 442,
        IDC_FIRMWARE = 1020,
        IDC_VIEWER = 1021,
        IDC_DOWNLOAD = 1005
    };
    static constexpr char kViewerVersion[] = "Viewer(DA2DA):0.0.3";

    CPage3(const SETTINGS_SERVICES &services, QWidget *parent = nullptr);

    void OnFirmwareDownload();
    QLabel *Firmware() const { return m_staticFirmware; }
    QLabel *Viewer() const { return m_staticViewer; }
    QWidget *DownloadButton() const { return m_pDownload; }

private:
    const SETTINGS_SERVICES &m_Services;
    QLabel *m_staticFirmware;
    QLabel *m_staticViewer;
    QWidget *m_pDownload;
};

// The firmware download page's address.
QUrl FirmwareDownloadUrl();
