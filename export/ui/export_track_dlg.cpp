#include "export/ui/export_track_dlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "export/clip_fixes.h"
#include "export/ui/export_clip_dlg.h"

std::vector<std::vector<FIX_POINT>> ReadTrackSegments(const std::vector<std::string> &clips,
                                                      std::vector<std::string> *unreadable)
{
    std::vector<std::vector<FIX_POINT>> segments;
    for (const std::string &clip : clips) {
        std::vector<FIX_POINT> points;
        if (!ReadClipFixes(clip, &points)) {
            if (unreadable)
                unreadable->push_back(clip);
            continue;
        }
        if (!points.empty())
            segments.push_back(std::move(points));
    }
    return segments;
}

CExportTrackDlg::CExportTrackDlg(const CLIP_MENU_TARGET &target, QWidget *parent)
    : QDialog(parent), m_target(target)
{
    setWindowTitle(tr("Export track"));
    if (target.tripClips)
        m_tripClips = target.tripClips();
    auto *form = new QFormLayout;
    form->addRow(tr("Clip:"),
                 new QLabel(QFileInfo(QString::fromStdString(target.clipPath)).fileName()));
    m_pFormat = new QComboBox;
    m_pFormat->addItem(tr("GPX 1.1 (time, position, speed, course)"), int(TrackFormat::Gpx));
    m_pFormat->addItem(tr("KML (route line with times)"), int(TrackFormat::Kml));
    m_pFormat->addItem(tr("CSV (one line per fix)"), int(TrackFormat::Csv));
    form->addRow(tr("Format:"), m_pFormat);
    m_pWholeTrip = new QCheckBox(tr("Whole trip (%n clips)", nullptr, int(m_tripClips.size())));
    m_pWholeTrip->setEnabled(m_tripClips.size() > 1);
    form->addRow(QString(), m_pWholeTrip);
    const QString base = QFileInfo(QString::fromStdString(target.clipPath)).completeBaseName();
    m_pPath =
        new QLineEdit(QDir(QString::fromStdString(DefaultExportFolder())).filePath(base + ".gpx"));
    auto *browse = new QPushButton(tr("Browse…"));
    form->addRow(tr("Save as:"), PathRow(m_pPath, browse));
    m_pStatus = new QLabel;
    m_pStatus->setWordWrap(true);
    auto *save = new QPushButton(tr("Save"));
    auto *close = new QPushButton(tr("Close"));
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_pStatus);
    layout->addLayout(ButtonRow(save, close));
    setMinimumWidth(480);

    connect(m_pFormat, &QComboBox::currentIndexChanged, this, &CExportTrackDlg::OnFormatChanged);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString path =
            QFileDialog::getSaveFileName(this, tr("Export track"), m_pPath->text());
        if (!path.isEmpty())
            m_pPath->setText(path);
    });
    connect(save, &QPushButton::clicked, this, [this] { Save(); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

TrackFormat CExportTrackDlg::Format() const
{
    return TrackFormat(m_pFormat->currentData().toInt());
}

void CExportTrackDlg::OnFormatChanged()
{
    QFileInfo info(m_pPath->text());
    m_pPath->setText(
        QDir(info.path()).filePath(info.completeBaseName() + "." + TrackFormatExtension(Format())));
}

bool CExportTrackDlg::Save()
{
    const QString path = m_pPath->text().trimmed();
    if (path.isEmpty()) {
        m_pStatus->setText(tr("Choose where to save the track."));
        return false;
    }
    const std::string target = QFileInfo(path).absoluteFilePath().toStdString();
    if (IsOnCard(target, m_target.cardRoot)) {
        m_pStatus->setText(tr(kOnCardRefusal));
        return false;
    }
    const bool trip = m_pWholeTrip->isChecked() && m_pWholeTrip->isEnabled();
    const std::vector<std::string> clips =
        trip ? m_tripClips : std::vector<std::string>{m_target.clipPath};
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::vector<std::string> unreadable;
    const auto segments = ReadTrackSegments(clips, &unreadable);
    QApplication::restoreOverrideCursor();
    if (segments.empty()) {
        m_pStatus->setText(tr("The clip holds no GPS fix: there is no track to save."));
        return false;
    }
    size_t points = 0;
    for (const auto &segment : segments)
        points += segment.size();
    const std::string name =
        QFileInfo(QString::fromStdString(m_target.clipPath)).fileName().toStdString();
    std::string error;
    if (!WriteFileWhole(target, TrackToText(Format(), segments, name), &error)) {
        m_pStatus->setText(
            tr("The track could not be written: %1").arg(QString::fromStdString(error)));
        return false;
    }
    QString text = tr("Saved %1 fixes to %2").arg(points).arg(QString::fromStdString(target));
    if (!unreadable.empty())
        text +=
            tr("\n%n clip(s) could not be read and are left out.", nullptr, int(unreadable.size()));
    m_pStatus->setText(text);
    return true;
}
