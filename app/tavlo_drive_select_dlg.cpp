#include "app/tavlo_drive_select_dlg.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>

#include "platform/file_exists.h"
#include "recordings/play_infor.h"
#include "widgets/dialog_units.h"
#include "widgets/ui_font.h"

namespace {
std::string WithSlash(std::string root)
{
    if (root.empty() || root.back() != '/')
        root.push_back('/');
    return root;
}
} // namespace

QString DriveListText(const REMOVABLE_VOLUME &volume)
{
    QString mount = QString::fromStdString(volume.strMountPoint);
    if (mount.size() > 1 && mount.endsWith(QLatin1Char('/')))
        mount.chop(1);
    if (volume.strLabel.empty())
        return mount;
    return QStringLiteral("%1 (%2)").arg(QString::fromStdString(volume.strLabel), mount);
}

CTavloDriveSelectDlg::CTavloDriveSelectDlg(QWidget *parent)
    : CTavloDriveSelectDlg(ListRemovableVolumes(), parent)
{
}

CTavloDriveSelectDlg::CTavloDriveSelectDlg(std::vector<REMOVABLE_VOLUME> volumes, QWidget *parent)
    : QDialog(parent)
{
    Build(volumes);
}

void CTavloDriveSelectDlg::Build(const std::vector<REMOVABLE_VOLUME> &volumes)
{
    setWindowTitle(QStringLiteral("Select a Drive"));
    setFont(DialogFont());
    setFixedSize(DialogUnitsX(225), DialogUnitsY(70));

    auto *label = new QLabel(QStringLiteral("Drive :"), this);
    label->setGeometry(DialogRect(17, 9, 41, 8));
    auto *hint = new QLabel(QStringLiteral("Select a Drive for Viewer"), this);
    hint->setGeometry(DialogRect(34, 30, 161, 8));
    hint->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    // The list's rectangle includes its drop-down part; the closed box is one line high.
    m_pComboDrive = new QComboBox(this);
    m_pComboDrive->setObjectName(QStringLiteral("drive"));
    const QRect list = DialogRect(61, 7, 157, 62);
    m_pComboDrive->setGeometry(list.x(), list.y(), list.width(), DialogUnitsY(12));
    for (const REMOVABLE_VOLUME &volume : volumes)
        m_pComboDrive->addItem(DriveListText(volume),
                               QString::fromStdString(WithSlash(volume.strMountPoint)));
    m_pComboDrive->setCurrentIndex(m_pComboDrive->count() > 0 ? 0 : -1);

    m_pOk = new QPushButton(QStringLiteral("OK"), this);
    m_pOk->setGeometry(DialogRect(87, 48, 50, 14));
    m_pOk->setDefault(true);
    connect(m_pOk, &QPushButton::clicked, this, &CTavloDriveSelectDlg::accept);

    m_pFolder = new QPushButton(QStringLiteral("Folder…"), this);
    m_pFolder->setGeometry(DialogRect(168, 48, 50, 14));
    m_pFolder->setAutoDefault(false);
    connect(m_pFolder, &QPushButton::clicked, this, &CTavloDriveSelectDlg::OnFolder);
}

void CTavloDriveSelectDlg::AddFolder(const QString &folder)
{
    std::string root = WithSlash(folder.toStdString());
    m_pComboDrive->addItem(QString::fromStdString(root), QString::fromStdString(root));
    m_pComboDrive->setCurrentIndex(m_pComboDrive->count() - 1);
}

void CTavloDriveSelectDlg::OnFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Card Folder"));
    if (folder.isEmpty())
        return;
    AddFolder(folder);
    accept();
}

void CTavloDriveSelectDlg::accept()
{
    if (m_pComboDrive->currentIndex() >= 0)
        m_strDrive = m_pComboDrive->currentData().toString().toStdString();
    if (!m_strDrive.empty() && PathExists(m_strDrive))
        g_PlayInfor.strRootPath = m_strDrive;
    QDialog::accept();
}
