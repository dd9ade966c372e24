#include "snaplet/snaplet_window.h"

#include <cmath>

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QWheelEvent>

#include "snaplet/resample.h"

namespace {

constexpr double kZoomMin = 50.0;
constexpr double kZoomMax = 500.0;
constexpr double kZoomStep = 10.0;
constexpr int kZoomStripTop = 40; // the text strip starts this far above the bottom
constexpr int kZoomStripHeight = 41;

const char *const kInterpolationNames[] = {
    "InterpolationModeDefault",
    "InterpolationModeLowQuality",
    "InterpolationModeHighQuality",
    "InterpolationModeBilinear",
    "InterpolationModeBicubic",
    "InterpolationModeNearestNeighbor",
    "InterpolationModeHighQualityBilinear",
    "InterpolationModeHighQualityBicubic",
};

} // namespace

double ZoomInStep(double zoom)
{
    const double next = zoom + kZoomStep;
    return next > kZoomMax ? zoom : next;
}

double ZoomOutStep(double zoom)
{
    const double next = zoom - kZoomStep;
    return next < kZoomMin ? zoom : next;
}

int DrawExtent(int imageExtent, double zoom)
{
    return static_cast<int>(imageExtent * zoom / 100.0);
}

QString ZoomText(double zoom)
{
    const int tenths = static_cast<int>(zoom / 10.0);
    return QString::asprintf("Zoom:%0.1f", tenths / 10.0);
}

QString PathFromArguments(const QStringList &arguments)
{
    return arguments.mid(1).join(QLatin1Char(' '));
}

CSnapletWindow::CSnapletWindow(const QString &path, QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Snaplet"));
    // Painting covers the whole client area from the back buffer; nothing is erased first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::ArrowCursor);
    resize(800, 600);
    BuildMenu();
    for (const QKeySequence &keys :
         {QKeySequence(Qt::ALT | Qt::Key_Question), QKeySequence(Qt::ALT | Qt::Key_Slash)}) {
        auto *shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, [this] { OnCommand(IDM_ABOUT); });
    }
    if (!path.isEmpty() && QFileInfo::exists(path))
        LoadPicture(path);
}

void CSnapletWindow::BuildMenu()
{
    m_pMenu = new QMenu(QStringLiteral("Menu"), this);
    m_pMenu->addAction(QStringLiteral("Open"), this, [this] { OnCommand(IDM_OPEN); });
    m_pMenu->addSeparator();
    QMenu *modes = m_pMenu->addMenu(QStringLiteral("InterpolationMode"));
    for (int i = 0; i < 8; ++i) {
        QAction *a = modes->addAction(QString::fromLatin1(kInterpolationNames[i]), this,
                                      [this, i] { OnCommand(IDM_INTERPOLATION_FIRST + i); });
        a->setCheckable(true);
        a->setChecked(i == m_nInterpolation);
        a->setData(i);
    }
    QMenu *zoom = m_pMenu->addMenu(QStringLiteral("Zoom"));
    zoom->addAction(QStringLiteral("Zoom+"), this, [this] { OnCommand(IDM_ZOOM_IN); });
    zoom->addAction(QStringLiteral("Zoom-"), this, [this] { OnCommand(IDM_ZOOM_OUT); });
}

void CSnapletWindow::LoadPicture(const QString &path)
{
    QImageReader reader(path);
    m_Image = reader.read(); // null when the file is not a readable picture
    m_bLoaded = true;
    m_dZoom = 100.0;
    m_nOffsetX = m_nOffsetY = 0;
    m_nImageWidth = m_Image.width();
    m_nImageHeight = m_Image.height();
    m_nDrawWidth = m_nImageWidth;
    m_nDrawHeight = m_nImageHeight;
    update();
}

void CSnapletWindow::ApplyZoom(double zoom)
{
    if (!m_bLoaded)
        return;
    m_dZoom = zoom;
    m_nDrawWidth = DrawExtent(m_nImageWidth, m_dZoom);
    m_nDrawHeight = DrawExtent(m_nImageHeight, m_dZoom);
    update();
}

void CSnapletWindow::OnCommand(int id)
{
    if (id >= IDM_INTERPOLATION_FIRST && id <= IDM_INTERPOLATION_LAST) {
        m_nInterpolation = id - IDM_INTERPOLATION_FIRST;
        for (QAction *a : m_pMenu->findChildren<QAction *>()) {
            if (a->isCheckable())
                a->setChecked(a->data().toInt() == m_nInterpolation);
        }
        update();
        return;
    }
    switch (id) {
    case IDM_ZOOM_IN:
        ApplyZoom(ZoomInStep(m_dZoom));
        break;
    case IDM_ZOOM_OUT:
        ApplyZoom(ZoomOutStep(m_dZoom));
        break;
    case IDM_OPEN:
        OpenDialog();
        break;
    case IDM_ABOUT:
        ShowAbout();
        break;
    case IDM_EXIT:
        close();
        break;
    default:
        break;
    }
}

void CSnapletWindow::OpenDialog()
{
    // Linux names are case-sensitive, so both spellings of each extension are offered.
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Open Image"), QString(),
                                     QStringLiteral("JPG (*.JPG *.jpg);;JPEG (*.JPEG *.jpeg)"));
    if (!path.isEmpty())
        LoadPicture(path);
    update();
}

void CSnapletWindow::ShowAbout()
{
    QMessageBox::about(this, QStringLiteral("About Snaplet"),
                       QStringLiteral("Snaplet\nShows one captured picture of Roadlog Viewer."));
}

void CSnapletWindow::paintEvent(QPaintEvent *)
{
    QImage buffer(size(), QImage::Format_ARGB32_Premultiplied);
    buffer.fill(Qt::white);
    if (m_bLoaded) {
        QPainter p(&buffer);
        const QRect picture(m_nOffsetX, m_nOffsetY, m_nDrawWidth, m_nDrawHeight);
        const QRect shown = picture.intersected(rect());
        if (!m_Image.isNull() && !shown.isEmpty()) {
            if (picture.size() == m_Image.size()) {
                p.drawImage(shown.topLeft(), m_Image, shown.translated(-picture.topLeft()));
            } else {
                const QImage part = ResampleRegion(m_Image, m_nDrawWidth, m_nDrawHeight,
                                                   shown.translated(-picture.topLeft()),
                                                   ResampleModeFor(m_nInterpolation));
                p.drawImage(shown.topLeft(), part);
            }
        }
        QFont font(QStringLiteral("Arial"));
        font.setBold(true);
        font.setPixelSize(24);
        p.setFont(font);
        p.setPen(QColor(255, 0, 255, 150));
        p.setRenderHint(QPainter::TextAntialiasing);
        const QRect strip(0, height() - kZoomStripTop, width(), kZoomStripHeight);
        p.drawText(strip, Qt::AlignCenter, ZoomText(m_dZoom));
    }
    QPainter window(this);
    window.drawImage(0, 0, buffer);
}

void CSnapletWindow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_Drag = event->position().toPoint();
        m_bDragging = true;
    }
}

void CSnapletWindow::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_bDragging)
        return;
    const QPoint now = event->position().toPoint();
    m_nOffsetX += now.x() - m_Drag.x();
    m_nOffsetY += now.y() - m_Drag.y();
    m_Drag = now;
    update();
}

void CSnapletWindow::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_bDragging = false;
    else if (event->button() == Qt::RightButton)
        m_pMenu->popup(mapToGlobal(event->position().toPoint()));
}

void CSnapletWindow::wheelEvent(QWheelEvent *event)
{
    OnCommand(event->angleDelta().y() < 0 ? IDM_ZOOM_OUT : IDM_ZOOM_IN);
}
