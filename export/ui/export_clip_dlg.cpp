#include "export/ui/export_clip_dlg.h"

#include <filesystem>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTime>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "engine/source/source_object.h"

namespace {

QTime AtMs(uint32_t ms)
{
    return QTime(0, 0).addMSecs(int(ms));
}

uint32_t MsOf(const QTime &time)
{
    return uint32_t(QTime(0, 0).msecsTo(time));
}

QString FileName(const std::string &path)
{
    return QFileInfo(QString::fromStdString(path)).fileName();
}

} // namespace

uint32_t ClipDurationMs(const std::string &path)
{
    SourceObject *source = nullptr;
    MediaInfo info{};
    if (SourceOpenPath(path, &source, &info) < 0)
        return 0;
    SourceClose(source);
    return info.nDuration;
}

std::string DefaultExportFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    return folder.toStdString();
}

CExportClipDlg::CExportClipDlg(const CLIP_MENU_TARGET &target, QWidget *parent)
    : QDialog(parent), m_target(target)
{
    setWindowTitle(tr("Export clip"));
    m_nDurationMs = target.bPlaying && target.nDurationMs ? target.nDurationMs
                                                          : ClipDurationMs(target.clipPath);
    const CLIP_SPAN span =
        DefaultExportSpan(target.bPlaying ? target.nPositionMs : 0, m_nDurationMs);
    const QString format = m_nDurationMs >= 3600000 ? "HH:mm:ss" : "mm:ss";

    auto *form = new QFormLayout;
    form->addRow(tr("Clip:"), new QLabel(FileName(target.clipPath)));
    m_pFrom = new QTimeEdit(AtMs(span.nFromMs));
    m_pTo = new QTimeEdit(AtMs(span.nToMs));
    for (QTimeEdit *edit : {m_pFrom, m_pTo}) {
        edit->setDisplayFormat(format);
        edit->setTimeRange(AtMs(0), AtMs(m_nDurationMs));
    }
    form->addRow(tr("From:"), m_pFrom);
    form->addRow(tr("To:"), m_pTo);

    const QString base = QFileInfo(FileName(target.clipPath)).completeBaseName();
    const QString suggested =
        QDir(QString::fromStdString(DefaultExportFolder())).filePath(base + "_export.mp4");
    m_pPath = new QLineEdit(suggested);
    auto *browse = new QPushButton(tr("Browse…"));
    form->addRow(tr("Save as:"), PathRow(m_pPath, browse));

    m_pProgress = new QProgressBar;
    m_pProgress->setRange(0, 100);
    m_pProgress->setValue(0);
    m_pStatus = new QLabel(tr("The pictures and sound are copied as recorded; a GPX file of the "
                              "span is written beside the video."));
    m_pStatus->setWordWrap(true);
    m_pExport = new QPushButton(tr("Export"));
    m_pClose = new QPushButton(tr("Close"));

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_pProgress);
    layout->addWidget(m_pStatus);
    layout->addLayout(ButtonRow(m_pExport, m_pClose));
    setMinimumWidth(480);

    connect(browse, &QPushButton::clicked, this, &CExportClipDlg::OnBrowse);
    connect(m_pExport, &QPushButton::clicked, this, [this] { StartExport(); });
    connect(m_pClose, &QPushButton::clicked, this, &CExportClipDlg::reject);
}

CExportClipDlg::~CExportClipDlg() = default;

void CExportClipDlg::OnBrowse()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Export clip"), m_pPath->text(),
                                                      tr("MP4 video (*.mp4)"));
    if (!path.isEmpty())
        m_pPath->setText(path);
}

bool CExportClipDlg::StartExport()
{
    if (IsRunning())
        return false;
    const uint32_t from = MsOf(m_pFrom->time()), to = MsOf(m_pTo->time());
    QString path = m_pPath->text().trimmed();
    if (to <= from) {
        m_pStatus->setText(tr("The end of the span must lie after its start."));
        return false;
    }
    if (path.isEmpty()) {
        m_pStatus->setText(tr("Choose where to save the video."));
        return false;
    }
    if (QFileInfo(path).suffix().isEmpty())
        path += ".mp4";
    const std::string target = QFileInfo(path).absoluteFilePath().toStdString();
    if (IsOnCard(target, m_target.cardRoot)) {
        m_pStatus->setText(tr(kOnCardRefusal));
        return false;
    }
    m_pExport->setEnabled(false);
    m_pClose->setText(tr("Cancel"));
    m_pProgress->setValue(0);
    m_pStatus->setText(tr("Copying…"));
    const std::string source = m_target.clipPath;
    const int64_t fileEnd = m_target.nFileEndUtcMs;
    const uint32_t duration = m_nDurationMs;
    m_worker.Start([this, source, target, from, to, fileEnd, duration] {
        const CLIP_EXPORT_RESULT result =
            ExportClipSpan(source, target, from, to, fileEnd, duration, [this](int percent) {
                QMetaObject::invokeMethod(
                    m_pProgress, [bar = m_pProgress, percent] { bar->setValue(percent); },
                    Qt::QueuedConnection);
                return !m_worker.Cancelled();
            });
        QMetaObject::invokeMethod(
            this, [this, result] { OnFinished(result); }, Qt::QueuedConnection);
    });
    return true;
}

void CExportClipDlg::OnFinished(const CLIP_EXPORT_RESULT &result)
{
    m_worker.Finish();
    m_pExport->setEnabled(true);
    m_pClose->setText(tr("Close"));
    if (!result.video.bOk) {
        m_pProgress->setValue(0);
        m_pStatus->setText(QString::fromStdString(result.video.error));
        return;
    }
    m_pProgress->setValue(100);
    QString text = result.video.bMatroska
                       ? tr("MP4 cannot hold this clip's picture or sound format, so it was "
                            "saved as Matroska: %1")
                             .arg(QString::fromStdString(result.video.path))
                       : tr("Saved %1").arg(QString::fromStdString(result.video.path));
    if (!result.gpxPath.empty())
        text += tr("\nTrack: %1 (%2 fixes)")
                    .arg(QString::fromStdString(result.gpxPath))
                    .arg(result.nGpxPoints);
    else if (!result.gpxError.empty())
        text +=
            tr("\nThe track could not be written: %1").arg(QString::fromStdString(result.gpxError));
    else
        text += tr("\nThe span holds no GPS fix, so no track was written.");
    m_pStatus->setText(text);
}

void CExportClipDlg::reject()
{
    if (IsRunning()) {
        m_worker.Cancel(); // the worker removes its partial file and reports back
        return;
    }
    QDialog::reject();
}
