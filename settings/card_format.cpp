#include "settings/card_format.h"

#include <cstring>
#include <memory>
#include <vector>

#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/trace.h"
#include "widgets/ui_font.h"

std::string CardLabel(const std::string &label)
{
    static constexpr char kForbidden[] = "\"*+,./:;<=>?[\\]|";
    std::string out;
    for (char c : label) {
        if (out.size() == 11)
            break;
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E || std::strchr(kForbidden, c) != nullptr)
            continue;
        out.push_back(static_cast<char>(u >= 'a' && u <= 'z' ? u - 'a' + 'A' : u));
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

namespace {

std::string WithoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool Run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(5000))
        return false;
    process.waitForFinished(-1);
    const QByteArray output = process.readAll();
    TraceA("%s: %s\n", program.toUtf8().constData(), output.constData());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool MountAs(CardFileSystem fileSystem, const QString &device, const QString &dir)
{
    if (fileSystem == CardFileSystem::Fat32)
        return Run("mount", {"-t", "vfat", device, dir}) ||
               Run("fusefat", {"-o", "rw+", device, dir});
    return Run("mount", {"-t", "exfat", device, dir}) || Run("mount.exfat-fuse", {device, dir});
}

// Waits until no other process holds the device, checking every 100 ms.
bool WaitUntilReleased(const std::string &device, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (FileHeldByAnotherProcess(device)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100);
    }
    return true;
}

// A full format writes zeros over the whole device before the new file system.
bool ZeroDevice(const std::string &device)
{
    const int fd = ::open(device.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    uint64_t size = 0;
    if (::ioctl(fd, BLKGETSIZE64, &size) != 0) {
        const off_t end = ::lseek(fd, 0, SEEK_END);
        size = end > 0 ? static_cast<uint64_t>(end) : 0;
        ::lseek(fd, 0, SEEK_SET);
    }
    std::vector<char> zeros(1 << 20, 0);
    uint64_t done = 0;
    bool ok = true;
    while (ok && done < size) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(zeros.size(), size - done));
        const ssize_t written = ::write(fd, zeros.data(), chunk);
        ok = written > 0;
        done += ok ? static_cast<uint64_t>(written) : 0;
    }
    ok = ok && ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace

bool FileHeldByAnotherProcess(const std::string &path)
{
    struct stat wanted = {};
    if (::stat(path.c_str(), &wanted) != 0)
        return false;
    const bool device = S_ISBLK(wanted.st_mode);
    // Two opens of one file or device: the same device number for a device node (any node of
    // it), the same inode for anything else.
    const auto same = [&](const struct stat &st) {
        if (device)
            return S_ISBLK(st.st_mode) && st.st_rdev == wanted.st_rdev;
        return st.st_dev == wanted.st_dev && st.st_ino == wanted.st_ino;
    };
    const std::string self = std::to_string(::getpid());
    return AnyProcess([&](const std::string &pid) {
        if (pid == self)
            return false;
        const std::string fds = "/proc/" + pid + "/fd";
        const std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(fds.c_str()), ::closedir);
        if (!dir)
            return false; // gone, or not ours to look at
        while (const dirent *fd = ::readdir(dir.get())) {
            struct stat st = {};
            if (fd->d_name[0] != '.' && ::stat((fds + "/" + fd->d_name).c_str(), &st) == 0 &&
                same(st))
                return true;
        }
        return false;
    });
}

std::string CCardFormatter::CheckTarget(const std::string &mountPoint)
{
    const CARD_TARGET target =
        m_Check ? m_Check(mountPoint) : CheckCardTarget(mountPoint, ReadCardSystemView(mountPoint));
    m_strRefusal = target.strRefusal;
    if (!target.strRefusal.empty())
        TraceA("format refused: %s\n", target.strRefusal.c_str());
    return target.strRefusal.empty() ? target.strDevice : std::string();
}

int CMkfsFormatter::Format(const std::string &mountPoint, const FORMAT_CHOICE &choice,
                           std::string *newMountPoint)
{
    const std::string place = WithoutTrailingSlash(mountPoint) + "/";
    newMountPoint->clear();
    const std::string device = CheckTarget(mountPoint);
    if (device.empty()) {
        *newMountPoint = place;
        return FORMAT_REFUSED;
    }
    const QString dev = QString::fromStdString(device);
    const QString dir = QString::fromStdString(WithoutTrailingSlash(mountPoint));
    if (!Run("umount", {dir})) {
        *newMountPoint = place; // busy: the old file system stays as it was
        return FORMAT_NOFORMAT;
    }
    // A FUSE driver's last writes after its unmount would land in the new file system.
    if (!WaitUntilReleased(device, 10000)) {
        if (MountAs(CardFileSystem::Fat32, dev, dir) || MountAs(CardFileSystem::ExFat, dev, dir))
            *newMountPoint = place;
        return FORMAT_NOFORMAT;
    }
    const QString label = QString::fromStdString(CardLabel(choice.strLabel));
    QStringList arguments;
    QString program;
    if (choice.fileSystem == CardFileSystem::Fat32) {
        program = "mkfs.vfat";
        arguments << "-F"
                  << "32";
        if (!label.isEmpty())
            arguments << "-n" << label;
    } else {
        program = "mkfs.exfat";
        if (!label.isEmpty())
            arguments << "-L" << label;
    }
    arguments << dev;
    const bool formatted = (choice.bQuick || ZeroDevice(device)) && Run(program, arguments);
    if (!formatted) {
        // Give the card back as it is, whichever file system it still holds.
        if (MountAs(CardFileSystem::Fat32, dev, dir) || MountAs(CardFileSystem::ExFat, dev, dir))
            *newMountPoint = place;
        return FORMAT_NOFORMAT;
    }
    if (!MountAs(choice.fileSystem, dev, dir))
        return FORMAT_NOT_REMOUNTED;
    *newMountPoint = place;
    return FORMAT_OK;
}

CFormatDlg::CFormatDlg(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("Format Memory Card"));
    setFont(DialogFont());
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    m_pFileSystem = new QComboBox(this);
    m_pFileSystem->addItem("FAT32");
    m_pFileSystem->addItem("exFAT");
    m_pLabel = new QLineEdit(this);
    m_pLabel->setMaxLength(11);
    m_pQuick = new QCheckBox(tr("Quick Format"), this);
    m_pQuick->setChecked(true);
    form->addRow(tr("File system:"), m_pFileSystem);
    form->addRow(tr("Volume label:"), m_pLabel);
    form->addRow(QString(), m_pQuick);
    layout->addLayout(form);
    layout->addWidget(new QLabel(tr("Formatting will erase ALL data on this card."), this));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    buttons->addButton(tr("Start"), QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

FORMAT_CHOICE CFormatDlg::Choice() const
{
    FORMAT_CHOICE choice;
    choice.fileSystem =
        m_pFileSystem->currentIndex() == 1 ? CardFileSystem::ExFat : CardFileSystem::Fat32;
    choice.strLabel = CardLabel(m_pLabel->text().toStdString());
    choice.bQuick = m_pQuick->isChecked();
    return choice;
}

bool AskFormatChoice(QWidget *parent, FORMAT_CHOICE *choice)
{
    CFormatDlg dlg(parent);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    *choice = dlg.Choice();
    return true;
}
