#pragma once

#include <cstdint>
#include <string>

#include <QEvent>
#include <QWidget>

#include "settings/settings_services.h"

class CTavloProgress;
class QLabel;
class QPushButton;

// Set when the card was formatted while the sheet was open; the Settings command clears it
// before the sheet opens and resets its catalog when it finds it set afterwards.
extern int32_t g_bFormattedCompleted;

inline constexpr int WM_MEMORY_FOLDERS = 0x3421;

// Bytes of all files under path (path itself when it is a file). Folders whose names begin with
// '.' are skipped, files whose names do are counted; symbolic links are not followed, and
// entries whose path would be longer than the system's path limit are skipped.
uint64_t FolderSize(const std::string &path);

// Total and free bytes of the file system holding path (statvfs; free is all free blocks, not
// only those an unprivileged user may take).
bool DiskSpace(const std::string &path, uint64_t *total, uint64_t *free);

// The memory page: card size, free space, the four recording folders' sizes and the usage
// bar; the card format.
class CPage2 : public QWidget
{
    Q_OBJECT
public:
    enum
    {
        IDD = 441,
        IDC_TOTAL = 1022,
        IDC_AVAILABLE = 1023,
        IDC_RECORD = 1028,
        IDC_EVENT = 1029,
        IDC_MANUAL = 1030,
        IDC_MOTION = 1031,
        IDC_USAGE = 1032,
        IDC_FORMAT = 1025,
    };

    CPage2(const std::string &root, const SETTINGS_SERVICES &services, QWidget *parent = nullptr);

    void UpdateMemoryInfo();
    void OnFormat();
    // The card root, which a format may have moved.
    const std::string &Root() const { return m_strRoot; }

    QLabel *Total() const { return m_pTotal; }
    QLabel *Available() const { return m_pAvailable; }
    QLabel *Folder(int i) const { return m_pFolders[i]; }
    CTavloProgress *Usage() const { return m_pUsage; }
    QPushButton *FormatButton() const { return m_pFormat; }

    uint32_t m_nTotalMB = 0;
    uint32_t m_nRecordMB = 0;
    uint32_t m_nEventMB = 0;
    uint32_t m_nManualMB = 0;
    uint32_t m_nMotionMB = 0;

signals:
    // A format brought the card back at another mount point.
    void CardMoved(const QString &root);

protected:
    bool event(QEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    void OnMemoryFolders();

    std::string m_strRoot;
    bool m_bInitialised = false;
    const SETTINGS_SERVICES &m_Services;
    QLabel *m_pTotal;
    QLabel *m_pAvailable;
    QLabel *m_pFolders[4];
    CTavloProgress *m_pUsage;
    QPushButton *m_pFormat;
};
