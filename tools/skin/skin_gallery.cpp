// Review pictures of the skin:
//   skin-gallery sheet OUT.png      every skin bitmap, doubled, labelled with its resource id
//   skin-gallery controls OUT.png   every skinned control in each of its states
//   skin-gallery window OUT.png     the pieces put together as the main window lays them out

#include <algorithm>
#include <cstdio>
#include <vector>

#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>

#include "widgets/command_owner.h"
#include "widgets/skin_ids.h"
#include "widgets/skin_resources.h"
#include "widgets/tavlo_bitmap.h"
#include "widgets/tavlo_button.h"
#include "widgets/tavlo_progress.h"
#include "widgets/tavlo_slider.h"
#include "widgets/tavlo_switch.h"
#include "widgets/ui_font.h"

namespace {

const QColor kSheetGround(96, 104, 112);

int WriteSheet(const QString &path)
{
    struct Place
    {
        int id;
        QImage image;
        QPoint at;
    };
    std::vector<Place> places;
    for (int id : SkinResourceIds())
        places.push_back({id, LoadSkinImage(id), QPoint()});
    // Shelves of the tallest first, so the long thin pieces do not leave rows empty.
    std::stable_sort(places.begin(), places.end(), [](const Place &a, const Place &b) {
        return a.image.height() > b.image.height();
    });
    const int width = 1640, gap = 12, label = 18, minCell = 110;
    int x = gap, y = gap, rowHeight = 0;
    for (Place &place : places) {
        const QSize size = place.image.size() * 2;
        const int cellW = std::max(size.width(), minCell);
        if (x + cellW + gap > width && x > gap) {
            x = gap;
            y += rowHeight + gap;
            rowHeight = 0;
        }
        place.at = QPoint(x, y);
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
        p.drawText(QRect(place.at, QSize(minCell + 60, label)), Qt::AlignLeft | Qt::AlignVCenter,
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
        IDB_BTN_PREV_MOVIE, IDB_BTN_PLAY,       IDB_BTN_PAUSE,         IDB_BTN_NEXT_MOVIE,
        IDB_BTN_PREV_FRAME, IDB_BTN_NEXT_FRAME, IDB_BTN_FAST_PLAY,     IDB_BTN_OPEN,
        IDB_BTN_MINIMIZE,   IDB_BTN_EXIT,       IDB_BTN_RESTORE,       IDB_BTN_GPS_SMALL,
        IDB_BTN_SPEED_UP,   IDB_BTN_SPEED_DOWN, IDB_BTN_FULL_SCREEN,   IDB_BTN_CAPTURE,
        IDB_BTN_SETTINGS,   IDB_BTN_GPS,        IDB_BTN_CHANGE_SCREEN, IDB_BTN_RECORD,
        IDB_BTN_EVENT,      IDB_BTN_MANUAL,     IDB_BTN_MOTION,        IDB_BTN_TIME_LOCK,
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
        if (x > 1300) {
            x = 80;
            y += 5 * 60 + 20;
        }
        columnBottom = y + 5 * 60;
    }
    y = columnBottom + 20;

    // Sliders: seek, speed and volume, disabled and at several positions.
    struct SliderRow
    {
        const char *label;
        int track;
        int thumb;
        int w;
        int h;
        int min;
        int max;
    };
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

    window.resize(1720, y);
    window.show();
    QApplication::processEvents();
    return window.grab().toImage().save(path) ? 0 : 1;
}

// The main window's normal-mode picture with its controls in place, to judge how the pieces
// meet. Only the drawing order and places of the layout; nothing here is the real window.
class WindowMock : public Owner
{
protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        const auto piece = [](int id) {
            CTavloBitmap b;
            b.Load(id);
            return b;
        };
        p.fillRect(rect(), QColor(54, 54, 54));
        piece(IDB_WINDOW_BACKGROUND).Stretch(p, QRect(0, 0, 1020, 594));
        const auto panel = [&p](QRect r) {
            p.fillRect(r, QColor(16, 16, 16));
            p.setPen(QColor(40, 40, 40));
            p.drawRect(r.adjusted(0, 0, -1, -1));
        };
        panel(QRect(QPoint(10, 77), QPoint(649, 436)));
        piece(IDB_EMPTY_VIDEO).Draw(p, 175, 229);
        panel(QRect(QPoint(10, 443), QPoint(197, 583)));
        panel(QRect(QPoint(670, 77), QPoint(1009, 583)));
        for (int x : {329, 449, 569}) {
            p.fillRect(x, 18, 1, 32, QColor(98, 109, 118));
            p.fillRect(x + 1, 18, 1, 32, QColor(25, 32, 38));
        }
        piece(IDB_LIST_HEADER).Draw(p, 670, 184);
        piece(IDB_CATEGORY_HEADER).Draw(p, 670, 76);
        piece(IDB_TOP_LEFT).Draw(p, 0, 0);
        piece(IDB_SEEK_PLATE).DrawTransparent(p, 208, 443);
        piece(IDB_PANEL_LEFT).Draw(p, 208, 478);
        piece(IDB_PANEL_RIGHT).Draw(p, 645, 478);
        piece(IDB_PANEL_MIDDLE).Stretch(p, QRect(213, 478, 432, 106));
        piece(IDB_SMALL_VIDEO).Draw(p, 11, 444);
        p.setFont(SkinFont(12, 600));
        p.setPen(QColor(162, 172, 185));
        p.drawText(QRect(QPoint(218, 450), QPoint(287, 464)), Qt::AlignLeft | Qt::AlignVCenter,
                   "00:01:23");
        p.setPen(QColor(95, 107, 122));
        p.drawText(QRect(QPoint(584, 450), QPoint(653, 464)), Qt::AlignLeft | Qt::AlignVCenter,
                   "00:03:00");
        // A few rows as the list draws them: stripes, one selected row.
        for (int i = 0; i < 4; ++i) {
            const QRect row(671, 215 + 30 * i, 338, 30);
            p.fillRect(row, i == 1 ? QColor(80, 13, 13)
                                   : (i % 2 ? QColor(30, 30, 30) : QColor(20, 20, 20)));
            if (i == 1)
                p.fillRect(row.adjusted(1, 2, -1, -1), QColor(255, 160, 0));
            p.setPen(i == 1 ? QColor(40, 40, 40) : QColor(164, 171, 178));
            p.setFont(SkinFont(11));
            p.drawText(row.adjusted(13, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                       QStringLiteral("REC_2010_05_12_0%1.avi").arg(i));
            p.drawText(QRect(row.left() + 13 + 169, row.top(), 64, 30), Qt::AlignCenter,
                       "2010.05.12");
            p.drawText(QRect(row.left() + 13 + 245, row.top(), 64, 30),
                       Qt::AlignLeft | Qt::AlignVCenter, "18.2 MB");
        }
    }
};

int WriteWindow(const QString &path)
{
    WindowMock window;
    window.setAttribute(Qt::WA_OpaquePaintEvent);
    window.resize(1020, 594);
    struct B
    {
        int id;
        int x;
        int y;
        bool checked;
        bool disabled;
    };
    const B buttons[] = {
        {IDB_BTN_PREV_MOVIE, 211, 524, false, false},
        {IDB_BTN_PLAY, 267, 524, false, false},
        {IDB_BTN_PAUSE, 322, 524, false, false},
        {IDB_BTN_NEXT_MOVIE, 377, 524, false, false},
        {IDB_BTN_PREV_FRAME, 432, 524, false, false},
        {IDB_BTN_NEXT_FRAME, 487, 524, false, false},
        {IDB_BTN_FAST_PLAY, 542, 524, false, false},
        {IDB_BTN_OPEN, 597, 524, false, false},
        {IDB_BTN_MINIMIZE, 957, 10, false, false},
        {IDB_BTN_EXIT, 985, 10, false, false},
        {IDB_BTN_SPEED_UP, 354, 492, false, false},
        {IDB_BTN_SPEED_DOWN, 218, 496, false, false},
        {IDB_BTN_FULL_SCREEN, 576, 14, false, true},
        {IDB_BTN_CAPTURE, 336, 14, false, false},
        {IDB_BTN_SETTINGS, 215, 14, false, false},
        {IDB_BTN_GPS, 456, 14, false, false},
        {IDB_BTN_CHANGE_SCREEN, 695, 14, false, false},
        {IDB_BTN_RECORD, 680, 143, false, false},
        {IDB_BTN_EVENT, 760, 143, true, false},
        {IDB_BTN_MANUAL, 840, 143, false, false},
        {IDB_BTN_MOTION, 920, 143, false, false},
    };
    for (const B &b : buttons) {
        auto *button = new CTavloButton(&window);
        button->LoadStrip(b.id);
        button->CreateAt(b.x, b.y, &window, b.id);
        button->SetChecked(b.checked);
        button->setEnabled(!b.disabled);
    }
    struct S
    {
        int track;
        int thumb;
        QRect r;
        int min;
        int max;
        int pos;
    };
    const S sliders[] = {
        {IDB_SEEK_TRACK, IDB_SEEK_THUMB, QRect(278, 444, 303, 25), 0, 180000, 83000},
        {IDB_SPEED_TRACK, IDB_SMALL_THUMB, QRect(242, 492, 102, 14), 50, 150, 100},
        {IDB_VOLUME_TRACK, IDB_SMALL_THUMB, QRect(567, 492, 72, 14), 0, 100, 70},
    };
    for (const S &s : sliders) {
        auto *slider = new CTavloSlider(&window);
        slider->setGeometry(s.r);
        slider->SetTrackBitmap(s.track);
        slider->SetThumbBitmap(s.thumb);
        slider->m_nMinimum = s.min;
        slider->m_nMaximum = s.max;
        slider->SetPos(s.pos);
    }
    auto *mute = new CTavloSwitch(&window, 438);
    mute->SetBitmap(IDB_MUTE_SWITCH);
    mute->SetState(1);
    mute->setGeometry(544, 491, 16, 14);
    window.show();
    QApplication::processEvents();
    return window.grab().toImage().save(path) ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3 || (args[1] != "sheet" && args[1] != "controls" && args[1] != "window")) {
        std::fprintf(stderr, "usage: skin-gallery sheet|controls|window OUT.png\n");
        return 2;
    }
    if (args[1] == "window")
        return WriteWindow(args[2]);
    return args[1] == "sheet" ? WriteSheet(args[2]) : WriteControls(args[2]);
}
