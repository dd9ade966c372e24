// The map window following the demo card's drive, saved as a picture:
//   map_window_demo OUT.png   (under xvfb-run, with the web engine's test environment)
#include <cstdio>
#include <ctime>
#include <string>

#include <QApplication>
#include <QScreen>
#include <QTest>

#include "platform/wide_text.h"
#include "telemetry/navi_info.h"
#include "telemetry/tavlo_browser.h"
#include "tools/mkcard/gps_route.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: map_window_demo OUT.png\n");
        return 2;
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    CTavloBrowser map;
    map.move(40, 40);
    map.ShowWindow();
    if (!QTest::qWaitFor([&] { return map.IsDocumentComplete(); }, 30000)) {
        std::fprintf(stderr, "the map page did not complete\n");
        return 1;
    }
    const time_t start = 1273674780; // 12 May 2010 14:33:00 UTC
    for (uint32_t second = 0; second <= 90; ++second) {
        const std::string sentence = RmcSentence(FixAtDriveSecond(second), start + second);
        const std::wstring wide = Utf8ToWide(sentence);
        FollowNaviOnMap(map, ParseNaviSentence(wide.c_str(), second * 1000), 1);
        QTest::qWait(30);
    }
    QTest::qWait(1500);
    QPixmap shot = map.screen()->grabWindow(0, map.x(), map.y(), map.width(), map.height());
    if (shot.isNull())
        shot = map.grab();
    if (!shot.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
