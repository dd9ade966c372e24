// Not a test: the viewer on a demo card with the list's context menu, the export dialog and
// the whole trip on the map with the speed graph, each saved as a picture of the screen.
//   evidence_demo CARD OUTDIR   (under xvfb-run, with the web engine's test environment)
#include <cstdio>
#include <cstdlib>
#include <string>

#include <QApplication>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QToolTip>

#include "app/tavlo_frame.h"
#include "export/ui/export_clip_dlg.h"
#include "graphs/speed_graph.h"
#include "playback/cm_player.h"
#include "recordings/html_list_ctrl.h"
#include "recordings/play_infor.h"
#include "telemetry/tavlo_browser.h"
#include "trips/trip_index.h"

namespace {

QString g_out;

void Shot(const char *name)
{
    QTest::qWait(400);
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    const QString path = g_out + "/" + name;
    std::printf("%s %s\n", shot.save(path) ? "saved" : "NOT saved", qPrintable(path));
}

// Waits for a step of the demo; a step that never comes ends it.
template <class Condition> void WaitFor(Condition condition, int ms, const char *what)
{
    if (!QTest::qWaitFor(condition, ms)) {
        std::fprintf(stderr, "evidence_demo: %s did not happen\n", what);
        std::exit(1);
    }
}

class CDemoFrame : public CTavloFrame
{
public:
    using CTavloFrame::CTavloFrame;
    CLIP_MENU_TARGET lastTarget;

protected:
    bool ChooseDrive() override { return false; }
    CLIP_MENU_CHOICE ChooseFromClipMenu(QMenu &menu) override
    {
        menu.popup(QCursor::pos());
        Shot("context-menu.png");
        menu.hide();
        return CLIP_MENU_CHOICE::ExportClip;
    }
    void RunClipChoice(CLIP_MENU_CHOICE, const CLIP_MENU_TARGET &target) override
    {
        lastTarget = target;
        CExportClipDlg dlg(target, this);
        dlg.move(200, 150);
        dlg.show();
        Shot("export-dialog.png");
        dlg.StartExport();
        WaitFor([&] { return !dlg.IsRunning(); }, 60000, "the export");
        Shot("export-dialog-done.png");
    }
};

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: evidence_demo CARD OUTDIR\n");
        return 2;
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    g_out = QString::fromLocal8Bit(argv[2]);
    std::string root = argv[1];
    if (root.back() != '/')
        root += '/';
    CDemoFrame frame(CmPlayerFactory());
    frame.move(0, 0);
    frame.show();
    frame.OpenCardFolder(root);
    const TROVA_ITEM *first = frame.Catalog().GetCatalogEntry(LIST_RECORD, 1);
    if (!first) {
        std::fprintf(stderr, "no RECORD clip on %s\n", root.c_str());
        return 1;
    }
    frame.StartClip(first->strFullPath);
    WaitFor([&] { return frame.Player()->GetState() == CMP_PLAYING; }, 10000, "the clip's start");
    frame.OnCommand(ID_GPS);
    WaitFor([&] { return frame.MapWindow() && frame.MapWindow()->IsDocumentComplete(); }, 30000,
            "the map page");
    frame.MapWindow()->move(1030, 0);
    WaitFor([&] { return frame.Trips() && frame.Trips()->IsReady(); }, 30000, "the trips");
    QTest::qWait(6000); // the clip plays a while: the graph's mark moves
    std::printf("whole trip shown: %d\n", frame.ShowWholeTrip() ? 1 : 0);
    QTest::qWait(2500);
    Shot("whole-trip-speed-graph.png");

    // A clip the recorder did not close, with its tooltip (the card given may hold one).
    CHTMLListCtrl *list = frame.RecordingList();
    list->grab();
    for (int32_t i = 0; i < list->ItemCount(); ++i) {
        if (list->IsCutOff(*list->GetItem(i))) {
            const QPoint at(100, i * 30 + 15);
            QToolTip::showText(list->mapToGlobal(at), QString::fromUtf8(kCutOffTip), list);
            Shot("cut-off-clip.png");
            QToolTip::hideText();
            break;
        }
    }

    // Right click on the playing clip's row: the menu, then its export dialog.
    const QPoint row(100, 1 * 30 + 15);
    QCursor::setPos(list->mapToGlobal(row));
    QTest::mousePress(list, Qt::RightButton, {}, row);
    QTest::mouseRelease(list, Qt::RightButton, {}, row);
    std::printf("exported from %s\n", frame.lastTarget.clipPath.c_str());
    frame.Player()->Stop();
    return 0;
}
