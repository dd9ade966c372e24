#pragma once

#include <QDialog>
#include <QString>

#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;

// Results of a card format, as the system format dialog reports them.
enum : int {
    FORMAT_OK = 0,
    FORMAT_ERROR = -1,     // the format could not start (no service, no device, refused)
    FORMAT_CANCELLED = -2, // the user cancelled
    FORMAT_NOFORMAT = -3,  // the device could not be formatted
    // Formatted, but the new file system could not be mounted again: the card is empty and
    // not reachable until it is mounted by hand.
    FORMAT_NOT_REMOUNTED = -4,
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

// The block device mounted at a mount point, from /proc/self/mountinfo: its /dev path, or
// empty when the mount point is not a mount or its source is no block device (a FUSE file
// system that names none).
std::string BlockDeviceOfMount(const std::string &mountPoint, const std::string &mountInfo);
std::string ReadMountInfo();

// Formats the card mounted at a mount point and mounts the new file system again.
class CCardFormatter
{
public:
    virtual ~CCardFormatter() = default;
    // One of the FORMAT_ results; on FORMAT_OK *newMountPoint is where the card is now
    // mounted (ending with '/'), which may differ from the old one.
    virtual int Format(const std::string &mountPoint, const FORMAT_CHOICE &choice,
                       std::string *newMountPoint) = 0;
};

// For the root user where no disk service runs: umount, mkfs.vfat -F 32 or mkfs.exfat, then
// mount again at the same place, by the kernel driver when it has one, else through FUSE
// (fusefat, mount.exfat-fuse). The device is the one the mount names, or the one given.
class CMkfsFormatter : public CCardFormatter
{
public:
    explicit CMkfsFormatter(std::string device = {}) : m_strDevice(std::move(device)) {}
    int Format(const std::string &mountPoint, const FORMAT_CHOICE &choice,
               std::string *newMountPoint) override;

private:
    std::string m_strDevice;
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
