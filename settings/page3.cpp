#include "settings/page3.h"

#include <cstring>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "settings/page_layout.h"
#include "settings/setup_file.h"
#include "widgets/dialog_units.h"
#include "widgets/ui_font.h"

#ifndef ROADLOG_FIRMWARE_URL
#error "the build names the firmware download page"
#endif

QUrl FirmwareDownloadUrl()
{
    return QUrl(QString::fromUtf8(ROADLOG_FIRMWARE_URL));
}

CPage3::CPage3(const SETTINGS_SERVICES &services, QWidget *parent)
    : QWidget(parent), m_Services(services)
{
    InitSettingsPage(this, "Version Info");
    auto centred = [this](int x, int y, int w, int h) {
        QLabel *label = AddPageStatic(this, "Static", x, y, w, h);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        return label;
    };
    AddPageGroup(this, "Firmware Version", 7, 7, 286, 30);
    m_staticFirmware = centred(20, 20, 260, 8);
    AddPageGroup(this, "Viewer Version", 7, 43, 286, 30);
    m_staticViewer = centred(20, 57, 260, 8);
    AddPageGroup(this, "Firmware Download", 7, 79, 286, 30);
    auto *download = new QPushButton("Firmware Download", this);
    download->setGeometry(DialogRect(84, 89, 131, 14));
    connect(download, &QPushButton::clicked, this, &CPage3::OnFirmwareDownload);
    m_pDownload = download;

    // The model name is single-byte text of at most 16 characters, NUL-padded.
    const char *model = g_SetupWork.szModelName;
    const size_t modelLength = strnlen(model, sizeof g_SetupWork.szModelName);
    const QString version =
        QString::asprintf("%d.%d.%d", g_nFwVersionMajor, g_nFwVersionMinor, g_nFwVersionBuild);
    m_staticFirmware->setText(QString("%1 : %2").arg(
        QString::fromLatin1(model, static_cast<qsizetype>(modelLength)), version));
    m_staticViewer->setText(kViewerVersion);
}

void CPage3::OnFirmwareDownload()
{
    m_Services.openUrl(FirmwareDownloadUrl());
}
