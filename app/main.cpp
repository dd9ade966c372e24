// RoadlogViewer: the memory-card viewer.
#include <csignal>

#include <QApplication>
#include <QSocketNotifier>
#include <fcntl.h>
#include <unistd.h>

#include "app/tavlo_player_app.h"
#include "playback/cm_player.h"
#include "widgets/warning_box.h"

namespace {

int g_quitPipe[2] = {-1, -1};

void OnQuitSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(g_quitPipe[1], &byte, 1);
}

// SIGTERM (the session ending, a package manager, `kill`) and SIGINT end the event loop, so the
// window and the player are torn down as at a normal exit instead of dying with the engine's
// threads running.
void QuitOnSignals(QObject *parent)
{
    if (pipe2(g_quitPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_quitPipe[0], QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
    struct sigaction action
    {
    };
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

} // namespace

int main(int argc, char **argv)
{
    // The map's web engine shares OpenGL contexts with the video windows; this must be chosen
    // before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(APP_TITLE));
    QuitOnSignals(&application);
    CTavloPlayerApp app(CmPlayerFactory());
    if (!app.InitInstance(QApplication::arguments()))
        return app.ExitInstance(1);
    return app.ExitInstance(QApplication::exec());
}
