#include "settings/page2.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <limits.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "platform/file_enum.h"
#include "platform/file_exists.h"
#include "platform/file_open.h"
#include "platform/removable_volumes.h"
#include "platform/trace.h"
#include "settings/card_format.h"
#include "settings/page_layout.h"
#include "settings/safe_replace.h"
#include "settings/setup_backup.h"
#include "settings/setup_file.h"
#include "widgets/dialog_units.h"
#include "widgets/tavlo_progress.h"
#include "widgets/ui_font.h"

int32_t g_bFormattedCompleted = 0;

namespace {

constexpr const char *kFolders[4] = {"RECORD", "EVENT", "MANUAL", "MOTION"};

std::string BaseName(const std::string &path)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

uint64_t SizeOf(const std::string &path, int depth)
{
    if (path.size() >= PATH_MAX)
        return 0;
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) != 0)
        return 0;
    if (S_ISREG(st.st_mode))
        return static_cast<uint64_t>(st.st_size);
    // A path of PATH_MAX characters cannot nest deeper than this.
    if (!S_ISDIR(st.st_mode) || BaseName(path).starts_with('.') || depth > PATH_MAX / 2)
        return 0;
    uint64_t total = 0;
    CFolderListing listing(path);
    FOLDER_ENTRY entry;
    const std::string prefix = path.back() == '/' ? path : path + "/";
    while (listing.Next(&entry)) {
        const std::string child = prefix + entry.strName;
        if (child.size() >= PATH_MAX)
            continue;
        total += SizeOf(child, depth + 1);
    }
    return total;
}

void Wait(int ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The card's volume label where the system knows it, else its mount folder's name.
std::string CardName(const std::string &root)
{
    for (const REMOVABLE_VOLUME &volume : ListRemovableVolumes())
        if (volume.strMountPoint == root && !volume.strLabel.empty())
            return volume.strLabel;
    return BaseName(root);
}

// Copies of setup.cfg outlive a reboot here, unlike in the temporary folder.
std::string SetupBackupFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return data.isEmpty() ? std::string() : data.toStdString() + "/setup-backups";
}

// Gives a mounted card its setup.cfg back unless it still holds it. True when the card's file,
// read back from the card, equals the copy; *rewritten when it had to be written.
bool PutBackSetupFile(const std::string &root, const std::vector<char> &copy, bool *rewritten)
{
    std::vector<char> onCard;
    if (ReadSmallFile(SetupFilePath(root), &onCard) && onCard == copy)
        return true;
    *rewritten = true;
    ::mkdir(SettingFolderPath(root).c_str(), 0777);
    return ReplaceFileContents(SetupFilePath(root), copy.data(), copy.size()) &&
           ReadSmallFile(SetupFilePath(root), &onCard, true) && onCard == copy;
}

QString KeptCopyText(const std::string &backup)
{
    return QString(" A copy of its settings file is kept in %1: copy it to the card as "
                   "setting/setup.cfg, or the recorder cannot record.")
        .arg(QString::fromStdString(backup));
}

} // namespace

uint64_t FolderSize(const std::string &path)
{
    return SizeOf(path, 0);
}

bool DiskSpace(const std::string &path, uint64_t *total, uint64_t *free)
{
    struct statvfs vfs
    {
    };
    if (::statvfs(path.c_str(), &vfs) != 0)
        return false;
    *total = static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize;
    *free = static_cast<uint64_t>(vfs.f_bfree) * vfs.f_frsize;
    return true;
}

CPage2::CPage2(const std::string &root, const SETTINGS_SERVICES &services, QWidget *parent)
    : QWidget(parent), m_strRoot(root), m_Services(services)
{
    InitSettingsPage(this, "Memory Info");
    AddPageGroup(this, "Memory Info", 7, 7, 286, 103);
    // Wider than the texts of a small card need, so five-digit figures fit.
    m_pTotal = AddPageStatic(this, "Total Memory : 4GB", 23, 24, 89, 8);
    m_pAvailable = AddPageStatic(this, "Available Memory : 2GB", 113, 24, 150, 8);
    AddPageGroup(this, "Used Memory", 23, 40, 255, 43);
    m_pFolders[0] = AddPageStatic(this, "RECORD :", 37, 56, 105, 8);
    m_pFolders[1] = AddPageStatic(this, "EVENT :", 160, 56, 105, 8);
    m_pFolders[2] = AddPageStatic(this, "MANUAL : ", 37, 69, 105, 8);
    m_pFolders[3] = AddPageStatic(this, "MOTION : ", 160, 69, 105, 8);
    for (int i = 0; i < 4; ++i) {
        QPalette palette = m_pFolders[i]->palette();
        palette.setColor(QPalette::WindowText, CTavloProgress::SegmentColours()[i]);
        m_pFolders[i]->setPalette(palette);
    }
    m_pUsage = new CTavloProgress(this);
    m_pUsage->setGeometry(DialogRect(23, 90, 255, 14));
    m_pUsage->SetAmounts(0, 0, 0, 0, 100);
    AddPageGroup(this, "Memory Format(Caution!)", 7, 115, 286, 66);
    // The three lines of the caution as one wrapped text, so a wider font cuts nothing off.
    QLabel *caution = AddPageStatic(
        this,
        "Important! When the memory format doing to, all data which are to store system "
        "com to erase. The data which is important whishes in different store system to store "
        "with separate way.",
        18, 126, 268, 36);
    caution->setWordWrap(true);
    caution->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pFormat = new QPushButton("Format", this);
    m_pFormat->setGeometry(DialogRect(125, 165, 50, 14));
    connect(m_pFormat, &QPushButton::clicked, this, &CPage2::OnFormat);
}

void CPage2::showEvent(QShowEvent *e)
{
    // The figures are counted once, when the page is first shown.
    if (!m_bInitialised) {
        m_bInitialised = true;
        UpdateMemoryInfo();
    }
    QWidget::showEvent(e);
}

void CPage2::UpdateMemoryInfo()
{
    if (!FolderExists(m_strRoot))
        return;
    uint64_t total = 0;
    uint64_t free = 0;
    if (m_Services.diskSpace(m_strRoot, &total, &free)) {
        m_nTotalMB = static_cast<uint32_t>(total >> 20);
        m_pTotal->setText(QString::asprintf("Total Memory : %04uMB", m_nTotalMB));
        m_pAvailable->setText(
            QString::asprintf("Available Memory : %04uMB", static_cast<uint32_t>(free >> 20)));
    } else {
        m_pTotal->setText("Total Memory : ");
        m_pAvailable->setText("Available Memory : ");
    }
    // The folders may take long to count: the page is shown first.
    QCoreApplication::postEvent(this, new QEvent(static_cast<QEvent::Type>(WM_MEMORY_FOLDERS)));
}

bool CPage2::event(QEvent *e)
{
    if (e->type() == static_cast<QEvent::Type>(WM_MEMORY_FOLDERS)) {
        OnMemoryFolders();
        return true;
    }
    return QWidget::event(e);
}

void CPage2::OnMemoryFolders()
{
    uint32_t *members[4] = {&m_nRecordMB, &m_nEventMB, &m_nManualMB, &m_nMotionMB};
    for (int i = 0; i < 4; ++i) {
        const uint64_t mb = FolderSize(m_strRoot + kFolders[i]) >> 20;
        *members[i] = static_cast<uint32_t>(std::min<uint64_t>(mb, UINT32_MAX));
        m_pFolders[i]->setText(QString::asprintf("%s : %u MB", kFolders[i], *members[i]));
    }
    m_pUsage->SetAmounts(m_nRecordMB, m_nEventMB, m_nManualMB, m_nMotionMB, m_nTotalMB);
    m_pUsage->repaint();
}

void CPage2::OnFormat()
{
    if (m_Services.offerCopyFirst && !m_Services.offerCopyFirst(this, m_strRoot))
        return;
    // Formatting wipes the recorder's configuration: without a whole copy of it, do not start.
    std::vector<char> setup;
    std::string backup;
    if (ReadSmallFile(SetupFilePath(m_strRoot), &setup))
        backup =
            WriteSetupBackup(SetupBackupFolder(), CardName(m_strRoot), setup, std::time(nullptr));
    if (backup.empty()) {
        m_Services.warn(this, "The card's settings file (setting/setup.cfg) could not be copied "
                              "aside, so the card was not formatted.");
        return;
    }
    if (m_Services.stopPlayback)
        m_Services.stopPlayback();

    FORMAT_CHOICE choice;
    int result = FORMAT_CANCELLED;
    std::string mountedAt = m_strRoot; // where the card is afterwards; empty: not mounted
    if (m_Services.askFormat(this, &choice)) {
        result = FORMAT_ERROR;
        if (m_Services.formatter) {
            mountedAt.clear();
            result = m_Services.formatter->Format(m_strRoot, choice, &mountedAt);
        }
    }
    Trace(L"Format Completed\r\n");
    if (!mountedAt.empty() && mountedAt != m_strRoot) {
        m_strRoot = mountedAt;
        emit CardMoved(QString::fromStdString(m_strRoot));
    }
    if (result == FORMAT_OK)
        Wait(m_Services.nAfterFormatWaitMs);
    // The copy goes only once the card holds the same bytes again, whatever the result said.
    bool rewritten = false;
    const bool restored = !mountedAt.empty() && PutBackSetupFile(mountedAt, setup, &rewritten);
    if (restored)
        ::unlink(backup.c_str());
    const bool formatted = result == FORMAT_OK || result == FORMAT_NOT_REMOUNTED;
    // A card that was wiped or went away no longer holds the catalog's clips.
    if (formatted || rewritten || mountedAt.empty())
        g_bFormattedCompleted = 1;

    if (!restored) {
        QString text;
        if (mountedAt.empty())
            text = formatted ? "The card was formatted but could not be mounted again."
                             : "The card could not be formatted and is not mounted now.";
        else
            text = formatted
                       ? "The card was formatted, but its settings file could not be put back."
                       : "The card could not be formatted, and its settings file on the card "
                         "could not be put back.";
        m_Services.warn(this, text + KeptCopyText(backup));
    } else if (result == FORMAT_REFUSED) {
        m_Services.warn(this, QString::fromStdString(m_Services.formatter->Refusal()));
    } else if (result == FORMAT_ERROR) {
        m_Services.warn(this, "The card could not be formatted: the disk service refused or is "
                              "not available.");
    } else if (result == FORMAT_NOFORMAT) {
        m_Services.warn(this, rewritten ? "The card could not be formatted. Its settings file "
                                          "was put back."
                                        : "The card could not be formatted.");
    }
    if (restored && (formatted || rewritten)) {
        Wait(m_Services.nAfterRestoreWaitMs);
        UpdateMemoryInfo();
    }
}
