#include "settings/page2.h"

#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "app/controls/dialog_units.h"
#include "app/controls/tavlo_progress.h"
#include "app/controls/ui_font.h"
#include "platform/file_enum.h"
#include "platform/file_exists.h"
#include "platform/file_open.h"
#include "platform/trace.h"
#include "settings/card_format.h"
#include "settings/page_layout.h"
#include "settings/safe_replace.h"
#include "settings/setup_file.h"

int32_t g_bFormattedCompleted = 0;

namespace {

constexpr const char *kFolders[4] = {"RECORD", "EVENT", "MANUAL", "MOTION"};
// A configuration file is 116 bytes; anything far larger is not one worth keeping in memory.
constexpr int64_t kMaxSetupCopy = 1 << 20;

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
    struct stat st {};
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

bool ReadWhole(const std::string &path, std::vector<char> *bytes)
{
    CExclusiveFile file;
    if (!file.Open(path, CExclusiveFile::Mode::Read))
        return false;
    const int64_t size = file.Size();
    if (size < 0 || size > kMaxSetupCopy)
        return false;
    bytes->assign(static_cast<size_t>(size), 0);
    return file.Read(bytes->data(), bytes->size()) == size;
}

// A fresh "velkaNNNN.tmp" in the temporary folder, created empty; empty when none could be made.
std::string MakeTempName()
{
    const std::string folder = QDir::tempPath().toStdString() + "/";
    unsigned start = static_cast<unsigned>(::getpid()) ^
                     static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (unsigned i = 0; i < 0x10000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "velka%04X.tmp", (start + i) & 0xFFFF);
        const std::string path = folder + name;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST)
            break;
    }
    return {};
}

// Copies the card's setup.cfg aside and reads the copy back; the bytes when the copy is whole.
bool BackUpSetupFile(const std::string &source, std::string *tempPath, std::vector<char> *bytes)
{
    *tempPath = MakeTempName();
    if (tempPath->empty())
        return false;
    std::vector<char> copy;
    if (ReadWhole(source, bytes) && ReplaceFileContents(*tempPath, bytes->data(), bytes->size()) &&
        ReadWhole(*tempPath, &copy) && copy == *bytes)
        return true;
    ::unlink(tempPath->c_str());
    tempPath->clear();
    return false;
}

} // namespace

uint64_t FolderSize(const std::string &path)
{
    return SizeOf(path, 0);
}

bool DiskSpace(const std::string &path, uint64_t *total, uint64_t *free)
{
    struct statvfs vfs {};
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
    std::string tempPath;
    std::vector<char> setup;
    if (!BackUpSetupFile(SetupFilePath(m_strRoot), &tempPath, &setup)) {
        m_Services.warn(this, "The card's settings file (setting/setup.cfg) could not be copied "
                              "aside, so the card was not formatted.");
        return;
    }
    if (m_Services.stopPlayback)
        m_Services.stopPlayback();

    FORMAT_CHOICE choice;
    int result = FORMAT_CANCELLED;
    std::string newRoot = m_strRoot;
    if (m_Services.askFormat(this, &choice))
        result = m_Services.formatter ? m_Services.formatter->Format(m_strRoot, choice, &newRoot)
                                      : FORMAT_ERROR;
    Trace(L"Format Completed\r\n");
    if (result == FORMAT_ERROR || result == FORMAT_CANCELLED || result == FORMAT_NOFORMAT) {
        ::unlink(tempPath.c_str());
        if (result != FORMAT_CANCELLED)
            m_Services.warn(this, result == FORMAT_ERROR
                                      ? "The card could not be formatted: the disk service "
                                        "refused or is not available."
                                      : "The card could not be formatted.");
        return;
    }
    if (result != FORMAT_OK) {
        // The card is empty but not mounted: keep the copy where the user can find it.
        g_bFormattedCompleted = 1;
        m_Services.warn(this, QString("The card was formatted but could not be mounted again. "
                                      "Its settings file is kept in %1.")
                                  .arg(QString::fromStdString(tempPath)));
        return;
    }
    if (newRoot != m_strRoot) {
        m_strRoot = newRoot;
        emit CardMoved(QString::fromStdString(m_strRoot));
    }
    Wait(m_Services.nAfterFormatWaitMs);
    ::mkdir(SettingFolderPath(m_strRoot).c_str(), 0777);
    if (ReplaceFileContents(SetupFilePath(m_strRoot), setup.data(), setup.size())) {
        ::unlink(tempPath.c_str());
    } else {
        m_Services.warn(this, QString("The card was formatted, but its settings file could not "
                                      "be put back. A copy is kept in %1.")
                                  .arg(QString::fromStdString(tempPath)));
    }
    g_bFormattedCompleted = 1;
    Wait(m_Services.nAfterRestoreWaitMs);
    UpdateMemoryInfo();
}
