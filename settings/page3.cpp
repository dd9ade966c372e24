#include "settings/page3.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <cstring>

#include "app/controls/dialog_units.h"
#include "app/controls/ui_font.h"
#include "settings/setup_file.h"

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
    setWindowTitle("Version Info");
    setFont(DialogFont());
    setFixedSize(DialogUnitsX(300), DialogUnitsY(191));
    auto group = [this](const char *text, QRect rc) {
        auto *box = new QGroupBox(QString::fromLatin1(text), this);
        box->setGeometry(rc);
        box->lower();
    };
    auto centred = [this](QRect rc) {
        auto *label = new QLabel("Static", this);
        label->setGeometry(rc);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        return label;
    };
    group("Firmware Version", DialogRect(7, 7, 286, 30));
    m_staticFirmware = centred(DialogRect(20, 20, 260, 8));
    group("Viewer Version", DialogRect(7, 43, 286, 30));
    m_staticViewer = centred(DialogRect(20, 57, 260, 8));
    group("Firmware Download", DialogRect(7, 79, 286, 30));
    auto *download = new QPushButton("Firmware Download", this);
    download->setGeometry(DialogRect(84, 89, 131, 14));
    connect(download, &QPushButton::clicked, this, &CPage3::OnFirmwareDownload);
    m_pDownload = download;

    // The model name is single-byte text of at most 16 characters, NUL-padded.
    const char *model = g_SetupWork.szModelName;
    const size_t modelLength = strnlen(model, sizeof g_SetupWork.szModelName);
    const QString version = QString::asprintf("%d.%d.%d", g_nFwVersionMajor, g_nFwVersionMinor,
                                              g_nFwVersionBuild);
    m_staticFirmware->setText(
        QString("%1 : %2")
            .arg(QString::fromLatin1(model, static_cast<qsizetype>(modelLength)), version));
    m_staticViewer->setText(kViewerVersion);
}

void CPage3::OnFirmwareDownload()
{
    m_Services.openUrl(FirmwareDownloadUrl());
}
