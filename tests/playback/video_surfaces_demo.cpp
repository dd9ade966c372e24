// Shows the converted test picture through the OpenGL and the software video windows side
// by side, for a look or a screenshot. --quit-after MS closes it by itself.
#include <cstring>

#include <QApplication>
#include <QTimer>

#include "playback/video_widget.h"
#include "tests/playback/video_side_by_side.h"

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int quitAfter = 0;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--quit-after") == 0)
            quitAfter = std::atoi(argv[i + 1]);
    CSideBySide window(640, 360, 512, 288, ChooseVideoBackend() == VideoBackend::OpenGL);
    window.setWindowTitle("Roadlog video surfaces");
    window.move(0, 0);
    window.show();
    window.Start();
    if (quitAfter > 0)
        QTimer::singleShot(quitAfter, &app, &QApplication::quit);
    const int result = app.exec();
    window.Stop();
    return result;
}
