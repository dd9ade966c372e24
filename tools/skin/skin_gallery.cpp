// Review pictures of the skin:
//   skin-gallery sheet OUT.png      every skin bitmap, doubled, labelled with its resource id
//   skin-gallery controls OUT.png   every skinned control in each of its states

#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>

#include <cstdio>
#include <vector>

#include "app/controls/command_owner.h"
#include "app/controls/skin_ids.h"
#include "app/controls/skin_resources.h"
#include "app/controls/tavlo_button.h"
#include "app/controls/tavlo_progress.h"
#include "app/controls/tavlo_slider.h"
#include "app/controls/tavlo_switch.h"
#include "app/controls/ui_font.h"

namespace {

const QColor kSheetGround(96, 104, 112);

int WriteSheet(const QString &path)
{
    const std::vector<int> ids = SkinResourceIds();
    const int width = 1640, gap = 10, label = 16;
    // Lay the doubled bitmaps out in rows, left to right.
    struct Place { int id; QImage image; QPoint at; };
    std::vector<Place> places;
    int x = gap, y = gap, rowHeight = 0;
    for (int id : ids) {
        const QImage image = LoadSkinImage(id);
        const QSize size = image.size() * 2;
        const int cellW = std::max(size.width(), 40);
        if (x + cellW + gap > width && x > gap) {
            x = gap;
            y += rowHeight + gap;
            rowHeight = 0;
        }
        places.push_back({id, image, QPoint(x, y)});
        x += cellW + gap;
        rowHeight = std::max(rowHeight, size.height() + label);
    }
    QImage sheet(width, y + rowHeight + gap, QImage::Format_RGB32);
    sheet.fill(kSheetGround);
    QPainter p(&sheet);
    p.setFont(SkinFont(12, QFont::Bold));
    for (const Place &place : places) {
        const QSize size = place.image.size();
        p.setPen(Qt::white);
        p.drawText(QRect(place.at, QSize(200, label)), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("%1  %2x%3").arg(place.id).arg(size.width()).arg(size.height()));
        p.drawImage(QRect(place.at + QPoint(0, label), size * 2), place.image);
    }
    p.end();
    return sheet.save(path) ? 0 : 1;
}

struct Owner : QWidget, CCommandOwner
{
    void OnCommand(int) override {}
};

void Enter(QWidget *w)
{
    const QPointF centre(w->width() / 2.0, w->height() / 2.0);
    QEnterEvent enter(centre, w->mapToGlobal(centre), w->mapToGlobal(centre));
    QApplication::sendEvent(w, &enter);
}

void Press(QWidget *w)
{
    const QPointF centre(w->width() / 2.0, w->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, centre, w->mapToGlobal(centre), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

int WriteControls(const QString &path)
{
    Owner window;
    window.setAutoFillBackground(true);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, QColor(54, 54, 54));
    palette.setColor(QPalette::WindowText, QColor(200, 206, 214));
    window.setPalette(palette);
    window.setFont(SkinFont(11, QFont::Bold));

    const char *states[5] = {"normal", "hover", "pressed", "checked", "disabled"};
    const int strips[] = {
        IDB_BTN_PREV_MOVIE, IDB_BTN_PLAY, IDB_BTN_PAUSE, IDB_BTN_NEXT_MOVIE, IDB_BTN_PREV_FRAME,
        IDB_BTN_NEXT_FRAME, IDB_BTN_FAST_PLAY, IDB_BTN_OPEN, IDB_BTN_MINIMIZE, IDB_BTN_EXIT,
        IDB_BTN_RESTORE, IDB_BTN_GPS_SMALL, IDB_BTN_SPEED_UP, IDB_BTN_SPEED_DOWN,
        IDB_BTN_FULL_SCREEN, IDB_BTN_CAPTURE, IDB_BTN_SETTINGS, IDB_BTN_GPS, IDB_BTN_CHANGE_SCREEN,
        IDB_BTN_RECORD, IDB_BTN_EVENT, IDB_BTN_MANUAL, IDB_BTN_MOTION, IDB_BTN_TIME_LOCK,
    };
    int y = 8;
    for (int s = 0; s < 5; ++s) {
        auto *name = new QLabel(states[s], &window);
        name->setGeometry(8, 8 + s * 60 + 20, 70, 16);
    }
    // Buttons: one column per strip, one row per state, all made so by real events.
    int x = 80;
    int columnBottom = 0;
    for (int id : strips) {
        int w = 0;
        for (int s = 0; s < 5; ++s) {
            auto *button = new CTavloButton(&window);
            button->LoadStrip(id);
            button->CreateAt(x, y + s * 60, &window, id);
            w = button->width();
            if (s == 1)
                Enter(button);
            if (s == 2) {
                Enter(button);
                Press(button);
            }
            if (s == 3)
                button->SetChecked(true);
            if (s == 4) {
                button->SetChecked(true);
                button->setEnabled(false);
            }
        }
        x += w + 6;
        if (x > 1500) {
            x = 80;
            y += 5 * 60 + 20;
        }
        columnBottom = y + 5 * 60;
    }
    y = columnBottom + 20;

    // Sliders: seek, speed and volume, disabled and at several positions.
    struct SliderRow { const char *label; int track; int thumb; int w; int h; int min; int max; };
    const SliderRow sliders[] = {
        {"seek", IDB_SEEK_TRACK, IDB_SEEK_THUMB, 303, 25, 0, 60000},
        {"speed", IDB_SPEED_TRACK, IDB_SMALL_THUMB, 102, 14, 50, 150},
        {"volume", IDB_VOLUME_TRACK, IDB_SMALL_THUMB, 72, 14, 0, 100},
    };
    for (const SliderRow &row : sliders) {
        auto *name = new QLabel(row.label, &window);
        name->setGeometry(8, y, 70, row.h);
        const double where[] = {-1, 0, 0.3, 0.5, 1.0};
        int sx = 80;
        for (double at : where) {
            auto *slider = new CTavloSlider(&window, 410);
            slider->setGeometry(sx, y, row.w, row.h);
            slider->SetTrackBitmap(row.track);
            slider->SetThumbBitmap(row.thumb);
            slider->m_nMinimum = row.min;
            slider->m_nMaximum = row.max;
            if (at < 0)
                slider->SetEnabled(false);
            else
                slider->SetPos(row.min + static_cast<int>((row.max - row.min) * at));
            auto *tag = new QLabel(at < 0 ? QStringLiteral("disabled")
                                          : QStringLiteral("%1 %").arg(int(at * 100)),
                                   &window);
            tag->setGeometry(sx, y + row.h + 2, row.w, 14);
            sx += row.w + 20;
        }
        y += row.h + 26;
    }

    // The mute switch on and off, and the usage bar.
    for (int state = 0; state < 2; ++state) {
        auto *sw = new CTavloSwitch(&window, 438);
        sw->SetBitmap(IDB_MUTE_SWITCH);
        sw->SetState(1 - state);
        sw->setGeometry(80 + state * 80, y, 16, 14);
        auto *tag = new QLabel(state == 0 ? "sound on" : "muted", &window);
        tag->setGeometry(100 + state * 80, y, 60, 14);
    }
    auto *bar = new CTavloProgress(&window);
    bar->setGeometry(260, y, 400, 16);
    bar->SetAmounts(1000, 0, 500, 0, 4000);
    auto *full = new CTavloProgress(&window);
    full->setGeometry(680, y, 400, 16);
    full->SetAmounts(1200, 800, 600, 400, 4000);
    y += 30;

    window.resize(1560, y);
    window.show();
    QApplication::processEvents();
    return window.grab().toImage().save(path) ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3 || (args[1] != "sheet" && args[1] != "controls")) {
        std::fprintf(stderr, "usage: skin-gallery sheet|controls OUT.png\n");
        return 2;
    }
    return args[1] == "sheet" ? WriteSheet(args[2]) : WriteControls(args[2]);
}
