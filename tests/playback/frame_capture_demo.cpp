// Not a test: plays a clip in two video windows and, after a moment of playback, makes a quick
// capture as a click on the large window does, so the real Snaplet opens the picture. For a
// look or a screenshot under Xvfb.
//   frame_capture_demo CLIP [--capture-after MS] [--quit-after MS]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <QApplication>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include "platform/wide_text.h"
#include "playback/cm_player.h"
#include "playback/frame_capture.h"
#include "playback/video_widget.h"

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: frame_capture_demo CLIP [--capture-after MS] [--quit-after MS]\n");
        return 2;
    }
    int captureAfter = 1500, quitAfter = 4000;
    for (int i = 2; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--capture-after") == 0)
            captureAfter = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--quit-after") == 0)
            quitAfter = std::atoi(argv[i + 1]);
    }
    QWidget window;
    window.setWindowTitle("Roadlog frame capture");
    auto *column = new QVBoxLayout(&window);
    VideoSurface *slot0 = nullptr, *slot1 = nullptr;
    column->addWidget(CreateVideoWidget(&window, &slot0), 3);
    column->addWidget(CreateVideoWidget(&window, &slot1), 1);
    window.resize(640, 480);
    window.move(820, 0);
    window.show();
    QObject notify;
    auto player = std::make_unique<CCMPlayer>(&notify, slot0, slot1);
    if (!player->Play(Utf8ToWide(argv[1]).c_str())) {
        std::fprintf(stderr, "frame_capture_demo: cannot play %s\n", argv[1]);
        return 1;
    }
    QTimer::singleShot(captureAfter, [&] {
        CaptureToViewer(player.get(), true);
        std::printf("%s\n", QuickCaptureName().toLocal8Bit().constData());
        std::fflush(stdout);
    });
    QTimer::singleShot(quitAfter, &app, &QApplication::quit);
    const int result = app.exec();
    player.reset();
    return result;
}
