#pragma once

#include <functional>

#include <QString>

class CFramePlayer;
class QWidget;

// Keeping the picture on screen as a JPEG file: under a name the user chooses (the Capture
// command), or as the quick-capture file opened at once in Snaplet (a click on the large video
// window). Both pause a playing clip while the picture is taken and resume it a second later.
// Window thread only; both block it for the fixed waits and while the output serves the capture.

// The chosen path; an empty string when the dialog was cancelled.
using CaptureSaveDialog = std::function<QString(QWidget *owner)>;
// Starts the picture viewer on the file; false when it could not be started.
using SnapletLauncher = std::function<bool(const QString &picturePath)>;

// Tests put their own dialog and launcher here; an empty function brings back the real one.
void SetCaptureSaveDialog(CaptureSaveDialog dialog);
void SetSnapletLauncher(SnapletLauncher launcher);

// The Capture command. bMainIsSlot0: the large video area shows slot 0, so the capture takes
// the output of pictures wider than 640 pixels; otherwise the one of 640 or less. A null player
// does nothing. The caller checks the card and the player's state first.
void CaptureToFile(QWidget *owner, CFramePlayer *player, bool bMainIsSlot0);
// The click on the large video window: writes QuickCaptureName() and starts Snaplet on it when
// a picture was written. A null player does nothing.
void CaptureToViewer(CFramePlayer *player, bool bMainIsSlot0);

// The real dialog: Qt's save dialog for "Jpeg Files (*.jpg)", adding ".jpg" to a bare name.
QString RunCaptureSaveDialog(QWidget *owner);
// The real launcher: Snaplet beside the running program, else from PATH, detached, with the
// path as its one argument; *pid (when given) gets its process id. A failure is a trace only.
bool StartSnaplet(const QString &picturePath, qint64 *pid = nullptr);
// Where StartSnaplet finds the program: programFolder/Snaplet when it is an executable file,
// else Snaplet on PATH; empty when there is none.
QString FindSnaplet(const QString &programFolder);

// A temporary file name as the system forms it with a fixed unique number: folder, the first
// three characters of prefix, the number in hexadecimal, ".tmp".
QString TempFileName(const QString &folder, const QString &prefix, unsigned unique);
// A folder only this user may enter: $XDG_RUNTIME_DIR when it is ours and private (mode 0700),
// else a folder made private (mkdtemp) in the temporary folder once per run. In a shared /tmp
// another user's tmp1.jpg could not be replaced and would be opened in its place. Empty when
// neither exists.
QString PrivateFolder();
// tmp1.jpg in PrivateFolder().
QString QuickCaptureName();
