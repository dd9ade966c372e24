// RoadlogViewer: the memory-card viewer.
#include <QApplication>

#include "app/tavlo_player_app.h"
#include "app/warning_box.h"
#include "playback/cm_player.h"

int main(int argc, char **argv)
{
    // The map's web engine shares OpenGL contexts with the video windows; this must be chosen
    // before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(APP_TITLE));
    CTavloPlayerApp app(CmPlayerFactory());
    if (!app.InitInstance(QApplication::arguments()))
        return app.ExitInstance(1);
    return app.ExitInstance(QApplication::exec());
}
