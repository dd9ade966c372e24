#include "playback/frame_capture.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/output/oem_dev_out.h"
#include "platform/trace.h"
#include "playback/frame_player.h"

namespace {

using std::chrono::milliseconds;

// The waits are plain sleeps: the pause must have reached the engine before the dialog or the
// capture, and a resumed clip should not jump on at once under the user's eyes.
constexpr milliseconds kWaitAfterQuickCapture{200};
constexpr milliseconds kWaitBeforeResume{1000};

const QString kSnapletProgram = QStringLiteral("Snaplet");

CaptureSaveDialog &SaveDialogSeam()
{
    static CaptureSaveDialog dialog;
    return dialog;
}

SnapletLauncher &LauncherSeam()
{
    static SnapletLauncher launcher;
    return launcher;
}

void Sleep(milliseconds time)
{
    std::this_thread::sleep_for(time);
}

// Selector 0 takes the output of pictures wider than 640 pixels, 1 the one of 640 or less.
// When only the other class has an output (a single camera of 640 pixels or less shown in the
// large area), the capture takes that picture rather than none while one is on screen.
int32_t Selector(bool bMainIsSlot0)
{
    const int32_t wanted = bMainIsSlot0 ? 0 : 1;
    std::lock_guard<std::mutex> guard(g_OemOutLock);
    const OemDevOut *chosen = wanted ? g_pOemOutSmall : g_pOemOutLarge;
    const OemDevOut *other = wanted ? g_pOemOutLarge : g_pOemOutSmall;
    return chosen || !other ? wanted : 1 - wanted;
}

void ResumeAfterCapture(CFramePlayer *player, bool bWasPlaying)
{
    if (!bWasPlaying)
        return;
    Sleep(kWaitBeforeResume);
    player->Resume();
}

void Capture(CFramePlayer *player, const QString &path, bool bMainIsSlot0)
{
    const std::wstring wide = path.toStdWString();
    player->CaptureFrame(wide.c_str(), Selector(bMainIsSlot0));
}

void MarkDescriptorsCloseOnExec()
{
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0)
        return;
    const long limit = std::min(::sysconf(_SC_OPEN_MAX), 65536L);
    for (int fd = 3; fd < limit; ++fd) {
        const int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0 && !(flags & FD_CLOEXEC))
            ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
}

} // namespace

void SetCaptureSaveDialog(CaptureSaveDialog dialog)
{
    SaveDialogSeam() = std::move(dialog);
}

void SetSnapletLauncher(SnapletLauncher launcher)
{
    LauncherSeam() = std::move(launcher);
}

void CaptureToFile(QWidget *owner, CFramePlayer *player, bool bMainIsSlot0)
{
    if (!player)
        return;
    const bool bWasPlaying = PauseAndSettle(*player);
    const CaptureSaveDialog &dialog = SaveDialogSeam();
    const QString path = dialog ? dialog(owner) : RunCaptureSaveDialog(owner);
    if (path.isEmpty()) {
        ResumeAfterCapture(player, bWasPlaying);
        return;
    }
    // Accepted without a file name: nothing is written and the clip stays paused.
    if (QFileInfo(path).fileName().isEmpty())
        return;
    Capture(player, path, bMainIsSlot0);
    ResumeAfterCapture(player, bWasPlaying);
}

void CaptureToViewer(CFramePlayer *player, bool bMainIsSlot0)
{
    const QString name = QuickCaptureName();
    if (name.isEmpty() || !player)
        return;
    const bool bWasPlaying = PauseAndSettle(*player);
    // The picture of an earlier quick capture must not be opened as this one when this one
    // fails; the file is rewritten by every capture anyway.
    QFile::remove(name);
    Capture(player, name, bMainIsSlot0);
    Sleep(kWaitAfterQuickCapture);
    if (QFileInfo(name).isFile()) {
        const SnapletLauncher &launcher = LauncherSeam();
        if (launcher)
            launcher(name);
        else
            StartSnaplet(name);
    }
    ResumeAfterCapture(player, bWasPlaying);
}

QString RunCaptureSaveDialog(QWidget *owner)
{
    QFileDialog dialog(owner, QStringLiteral("Save As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile); // the command exists to make a new file
    dialog.setNameFilter(QStringLiteral("Jpeg Files (*.jpg)"));
    dialog.setDefaultSuffix(QStringLiteral("jpg"));
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

QString FindSnaplet(const QString &programFolder)
{
    const QFileInfo beside(QDir(programFolder).filePath(kSnapletProgram));
    if (!programFolder.isEmpty() && beside.isFile() && beside.isExecutable())
        return beside.absoluteFilePath();
    return QStandardPaths::findExecutable(kSnapletProgram);
}

bool StartSnaplet(const QString &picturePath, qint64 *pid)
{
    const QString program = FindSnaplet(QCoreApplication::applicationDirPath());
    if (program.isEmpty()) {
        Trace(L"CreateProcess Error = %d\r\n", ENOENT);
        return false;
    }
    QProcess process;
    process.setProgram(program);
    process.setArguments({picturePath});
    // The viewer's open files stay its own (a clip kept open would hold the card): every
    // descriptor above the standard three is closed at the next program start. Qt's detached
    // start runs no child modifier, so this is done here, before the fork.
    MarkDescriptorsCloseOnExec();
    if (!process.startDetached(pid)) {
        Trace(L"CreateProcess Error = %d\r\n", int(process.error()));
        return false;
    }
    return true;
}

QString TempFileName(const QString &folder, const QString &prefix, unsigned unique)
{
    if (folder.isEmpty())
        return QString();
    return QDir(folder).filePath(prefix.left(3) + QString::number(unique, 16).toUpper() +
                                 QStringLiteral(".tmp"));
}

QString PrivateFolder()
{
    auto isPrivate = [](const QByteArray &path) {
        struct stat st
        {
        };
        return !path.isEmpty() && ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
               st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
    };
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (isPrivate(runtime))
        return QString::fromLocal8Bit(runtime);
    // Made once per run; again only when it has gone.
    static std::mutex lock;
    static QByteArray made;
    const std::lock_guard<std::mutex> guard(lock);
    if (!isPrivate(made)) {
        made.clear();
        // Qt gives an empty path for a temporary folder that does not exist.
        const QString temp = QDir::tempPath();
        QByteArray pattern = QFile::encodeName(temp) + "/roadlog-XXXXXX";
        if (!temp.isEmpty() && ::mkdtemp(pattern.data()) != nullptr)
            made = pattern;
    }
    return QString::fromLocal8Bit(made);
}

QString QuickCaptureName()
{
    QString name = TempFileName(PrivateFolder(), QStringLiteral("tmp"), 1);
    if (name.size() > 5)
        name.replace(name.size() - 4, 4, QStringLiteral(".jpg"));
    return name;
}
