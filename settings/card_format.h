#pragma once

#include <functional>
#include <string>

#include <QDialog>
#include <QString>

#include "settings/card_target.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

// Results of a card format, as the system format dialog reports them.
enum : int
{
    FORMAT_OK = 0,
    FORMAT_ERROR = -1,     // the format could not start (no service, no device, refused)
    FORMAT_CANCELLED = -2, // the user cancelled
    FORMAT_NOFORMAT = -3,  // the device could not be formatted
    // Formatted, but the new file system could not be mounted again: the card is empty and
    // not reachable until it is mounted by hand.
    FORMAT_NOT_REMOUNTED = -4,
    // The target is not a removable card (see CheckCardTarget): nothing was touched.
    FORMAT_REFUSED = -5,
};

enum class CardFileSystem
{
    Fat32,
    ExFat,
};

struct FORMAT_CHOICE
{
    CardFileSystem fileSystem = CardFileSystem::Fat32;
    std::string strLabel;
    bool bQuick = true;
};

// Makes the label fit what both file systems accept: at most 11 characters of printable ASCII,
// upper case (FAT keeps labels in upper case), no characters FAT forbids.
std::string CardLabel(const std::string &label);

// True when a process other than this one has the file or block device open. A FUSE driver
// (fusefat, mount.exfat-fuse) still writes to its device for a moment after its unmount returns,
// so a format waits until nobody holds the device.
bool FileHeldByAnotherProcess(const std::string &path);

// Formats the card mounted at a mount point and mounts the new file system again.
class CCardFormatter
{
public:
    using TargetCheck = std::function<CARD_TARGET(const std::string &mountPoint)>;

    virtual ~CCardFormatter() = default;
    // One of the FORMAT_ results. Whatever the result, *newMountPoint is where the card is
    // mounted afterwards (ending with '/'; it may differ from the old place), or empty when it
    // is not mounted.
    virtual int Format(const std::string &mountPoint, const FORMAT_CHOICE &choice,
                       std::string *newMountPoint) = 0;

    // Why the last Format gave FORMAT_REFUSED, for the user.
    const std::string &Refusal() const { return m_strRefusal; }
    // Tests put a check over fixtures here; the default reads the running system.
    void SetTargetCheck(TargetCheck check) { m_Check = std::move(check); }

protected:
    // The device to format, or empty (with the refusal kept) when the target is no card.
    std::string CheckTarget(const std::string &mountPoint);

private:
    TargetCheck m_Check;
    std::string m_strRefusal;
};

// For the root user where no disk service runs: umount, wait (up to 10 s) until no process holds
// the device, mkfs.vfat -F 32 or mkfs.exfat, then mount again at the same place, by the kernel
// driver when it has one, else through FUSE (fusefat, mount.exfat-fuse).
class CMkfsFormatter : public CCardFormatter
{
public:
    int Format(const std::string &mountPoint, const FORMAT_CHOICE &choice,
               std::string *newMountPoint) override;
};

// The format dialog: file system, label, quick format; Start and Cancel.
class CFormatDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CFormatDlg(QWidget *parent = nullptr);
    FORMAT_CHOICE Choice() const;

    QComboBox *FileSystemControl() const { return m_pFileSystem; }
    QLineEdit *LabelControl() const { return m_pLabel; }
    QCheckBox *QuickControl() const { return m_pQuick; }

private:
    QComboBox *m_pFileSystem;
    QLineEdit *m_pLabel;
    QCheckBox *m_pQuick;
};

// Runs the format dialog; false when cancelled.
bool AskFormatChoice(QWidget *parent, FORMAT_CHOICE *choice);
