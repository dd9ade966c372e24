#include "settings/player_setting.h"

#include <cmath>

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <unistd.h>

#include "platform/trace.h"
#include "settings/card_format.h"
#include "settings/page1.h"
#include "settings/page2.h"
#include "settings/page3.h"
#include "settings/setup_file.h"
#include "settings/udisks_format.h"
#include "widgets/tavlo_msg_dlg.h"
#include "widgets/ui_font.h"
#include "widgets/warning_box.h"

SETTINGS_SERVICES DefaultSettingsServices()
{
    SETTINGS_SERVICES services;
    services.notify = ShowNotification;
    services.warn = ShowWarningBox;
    services.askFormat = AskFormatChoice;
    services.diskSpace = DiskSpace;
    services.openUrl = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    if (!UDisksAvailable(QDBusConnection::systemBus()) && ::geteuid() == 0)
        services.formatter = std::make_shared<CMkfsFormatter>();
    else
        services.formatter = std::make_shared<CUDisksFormatter>();
    return services;
}

QIcon SettingsIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath gear;
    constexpr int kTeeth = 8;
    for (int i = 0; i < kTeeth * 2; ++i) {
        const double angle = i * M_PI / kTeeth;
        const double r = (i % 2 == 0) ? 15.0 : 11.5;
        const QPointF p(16 + r * std::cos(angle), 16 + r * std::sin(angle));
        if (i == 0)
            gear.moveTo(p);
        else
            gear.lineTo(p);
    }
    gear.closeSubpath();
    gear.addEllipse(QPointF(16, 16), 5, 5);
    painter.setPen(QPen(QColor(60, 60, 60), 1));
    painter.setBrush(QColor(240, 140, 30));
    painter.drawPath(gear);
    return QIcon(pixmap);
}

CPlayerSetting::CPlayerSetting(const std::string &root, SETTINGS_SERVICES services, QWidget *parent)
    : QDialog(parent), m_Services(std::move(services))
{
    setWindowTitle("Settings");
    setModal(true);
    setFont(DialogFont());
    m_hIcon = SettingsIcon();
    setWindowIcon(m_hIcon);

    m_pList = new QListWidget(this);
    m_pList->setFixedWidth(kPageListWidth);
    m_pStack = new QStackedWidget(this);
    m_pPage1 = new CPage1(root, m_Services);
    m_pPage2 = new CPage2(root, m_Services);
    m_pPage3 = new CPage3(m_Services);
    for (QWidget *page : {static_cast<QWidget *>(m_pPage1), static_cast<QWidget *>(m_pPage2),
                          static_cast<QWidget *>(m_pPage3)}) {
        m_pList->addItem(page->windowTitle());
        m_pStack->addWidget(page);
    }
    connect(m_pPage2, &CPage2::CardMoved, this,
            [this](const QString &moved) { m_pPage1->SetRoot(moved.toStdString()); });
    connect(m_pList, &QListWidget::currentRowChanged, m_pStack, &QStackedWidget::setCurrentIndex);
    m_pList->setCurrentRow(0);

    m_pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(m_pButtons, &QDialogButtonBox::accepted, this, &CPlayerSetting::accept);
    connect(m_pButtons, &QDialogButtonBox::rejected, this, &CPlayerSetting::reject);

    auto *pages = new QHBoxLayout;
    pages->addWidget(m_pList);
    pages->addWidget(m_pStack);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(pages);
    layout->addWidget(m_pButtons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

CPlayerSetting::~CPlayerSetting() = default;

void CPlayerSetting::SelectPage(int nIndex)
{
    m_pList->setCurrentRow(nIndex);
}

std::string CPlayerSetting::Root() const
{
    return m_pPage2->Root();
}

void CPlayerSetting::accept()
{
    m_pPage1->OnOK();
    QDialog::accept();
}

SETTINGS_OUTCOME ShowPlayerSettings(QWidget *parent, const std::string &root,
                                    SETTINGS_SERVICES services,
                                    const std::function<int(CPlayerSetting &)> &run)
{
    SETTINGS_OUTCOME outcome;
    outcome.strRoot = root;
    if (IsRecorderCard(root) != CardCheck::RecorderCard) {
        outcome.end = SettingsEnd::NotRecorderCard;
        return outcome;
    }
    // A record not read from this card must never be written to it.
    bool whole = false;
    if (!LoadSetupFile(SetupFilePath(root), &whole)) {
        services.warn(parent, "The card's settings file (setting/setup.cfg) cannot be read: "
                              "another program may be using it.");
        outcome.end = SettingsEnd::Unreadable;
        return outcome;
    }
    g_SetupWork = g_SetupFileImage;
    ParseFwVersion(g_SetupWork.szFwVersion, sizeof g_SetupWork.szFwVersion);
    g_bFormattedCompleted = 0;

    const auto warn = services.warn;
    CPlayerSetting sheet(root, std::move(services), parent);
    const int result = run ? run(sheet) : sheet.exec();
    outcome.strRoot = sheet.Root();
    outcome.bFormatted = g_bFormattedCompleted != 0;
    if (result == QDialog::Accepted) {
        Trace(L"CPropertySheet IDOK\r\n");
        outcome.end = SettingsEnd::Ok;
        if (whole) {
            g_SetupFileImage = g_SetupWork;
            outcome.bSaved = SaveSetupFile(SetupFilePath(outcome.strRoot));
        } else {
            // The missing bytes would go back as zeros, and the recorder would take them.
            outcome.bDamaged = true;
            warn(parent, "The card's settings file (setting/setup.cfg) is damaged: it is shorter "
                         "than a whole settings record. It was left as it is and the changes "
                         "were not saved.");
        }
    } else {
        outcome.end = SettingsEnd::Cancel;
    }
    return outcome;
}
