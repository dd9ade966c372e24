#include "export/ui/copy_clips_dlg.h"

#include <algorithm>
#include <filesystem>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "export/ui/clip_menu.h"
#include "export/ui/export_clip_dlg.h"
#include "recordings/trova_catalog.h"

CCopyClipsDlg::CCopyClipsDlg(const std::string &clip, const std::vector<std::string> &category,
                             const std::string &cardRoot, const QString &categoryLabel,
                             QWidget *parent)
    : QDialog(parent), m_clip(clip), m_category(category), m_cardRoot(cardRoot)
{
    setWindowTitle(tr("Copy to computer"));
    auto *layout = new QVBoxLayout(this);
    m_pOne = new QRadioButton(
        tr("This clip: %1").arg(QFileInfo(QString::fromStdString(clip)).fileName()));
    m_pCategory =
        new QRadioButton(tr("All %1 clips (%2)").arg(categoryLabel).arg(int(category.size())));
    m_pOne->setVisible(!clip.empty());
    m_pOne->setChecked(!clip.empty());
    m_pCategory->setChecked(clip.empty());
    m_pCategory->setEnabled(!category.empty());
    layout->addWidget(m_pOne);
    layout->addWidget(m_pCategory);
    auto *form = new QFormLayout;
    m_pFolder = new QLineEdit(QDir(QString::fromStdString(DefaultExportFolder()))
                                  .filePath(QStringLiteral("Roadlog %1").arg(categoryLabel)));
    auto *browse = new QPushButton(tr("Browse…"));
    form->addRow(tr("Into folder:"), PathRow(m_pFolder, browse));
    layout->addLayout(form);
    m_pProgress = new QProgressBar;
    m_pProgress->setRange(0, 1000);
    m_pProgress->setValue(0);
    layout->addWidget(m_pProgress);
    m_pStatus = new QLabel(tr("Each copy is read back and checked against the clip."));
    m_pStatus->setWordWrap(true);
    layout->addWidget(m_pStatus);
    m_pCopy = new QPushButton(tr("Copy"));
    m_pClose = new QPushButton(tr("Close"));
    layout->addLayout(ButtonRow(m_pCopy, m_pClose));
    setMinimumWidth(480);

    connect(browse, &QPushButton::clicked, this, [this] {
        const QString folder =
            QFileDialog::getExistingDirectory(this, tr("Copy to computer"), m_pFolder->text());
        if (!folder.isEmpty())
            m_pFolder->setText(folder);
    });
    connect(m_pCopy, &QPushButton::clicked, this, [this] { StartCopy(); });
    connect(m_pClose, &QPushButton::clicked, this, &CCopyClipsDlg::reject);
}

CCopyClipsDlg::~CCopyClipsDlg() = default;

bool CCopyClipsDlg::StartCopy()
{
    if (IsRunning())
        return false;
    const std::vector<std::string> clips =
        m_pOne->isChecked() ? std::vector<std::string>{m_clip} : m_category;
    if (clips.empty() || (clips.size() == 1 && clips[0].empty())) {
        m_pStatus->setText(tr("There is nothing to copy."));
        return false;
    }
    const QString folderText = m_pFolder->text().trimmed();
    if (folderText.isEmpty()) {
        m_pStatus->setText(tr("Choose a folder on this computer."));
        return false;
    }
    const QString absolute = QFileInfo(folderText).absoluteFilePath();
    if (IsOnCard(absolute.toStdString(), m_cardRoot)) {
        m_pStatus->setText(tr(kOnCardRefusal));
        return false;
    }
    if (!QDir().mkpath(absolute)) {
        m_pStatus->setText(tr("The folder %1 cannot be created.").arg(absolute));
        return false;
    }
    m_bAllCopied = false;
    m_pCopy->setEnabled(false);
    m_pClose->setText(tr("Cancel"));
    m_pProgress->setValue(0);
    m_pStatus->setText(tr("Copying %n clip(s)…", nullptr, int(clips.size())));
    const std::string folder = absolute.toStdString();
    m_worker.Start([this, clips, folder] {
        int last = -1;
        const COPY_RUN_RESULT run =
            CopyClipsVerified(clips, folder, [this, &last](uint64_t done, uint64_t total) {
                const int permille = total ? int(done * 1000 / total) : 1000;
                if (permille != last) {
                    last = permille;
                    QMetaObject::invokeMethod(
                        m_pProgress, [bar = m_pProgress, permille] { bar->setValue(permille); },
                        Qt::QueuedConnection);
                }
                return !m_worker.Cancelled();
            });
        QMetaObject::invokeMethod(
            this, [this, run] { OnFinished(run); }, Qt::QueuedConnection);
    });
    return true;
}

void CCopyClipsDlg::OnFinished(const COPY_RUN_RESULT &run)
{
    m_worker.Finish();
    m_pCopy->setEnabled(true);
    m_pClose->setText(tr("Close"));
    const int copied = int(run.files.size()) - run.nFailed;
    QString text = run.bCancelled ? tr("Cancelled after %n clip(s).", nullptr, copied)
                                  : tr("%n clip(s) copied and checked.", nullptr, copied);
    for (const COPY_FILE_RESULT &file : run.files) {
        if (!file.bOk)
            text += "\n" + QFileInfo(QString::fromStdString(file.target)).fileName() + ": " +
                    QString::fromStdString(file.error);
    }
    m_bAllCopied = !run.bCancelled && run.nFailed == 0;
    if (m_bAllCopied)
        m_pProgress->setValue(1000);
    m_pStatus->setText(text);
}

void CCopyClipsDlg::reject()
{
    if (IsRunning()) {
        m_worker.Cancel();
        return;
    }
    QDialog::reject();
}

std::vector<std::string> EventClipsOnCard(const std::string &root)
{
    std::vector<std::string> clips;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(root + "EVENT", error)) {
        const std::string name = entry.path().filename().string();
        std::error_code sizeError;
        if (name.empty() || name[0] == '.' || !entry.is_regular_file(sizeError) ||
            !IsClipName(name) || entry.file_size(sizeError) < CTrovaCatalog::kMinClipSize)
            continue;
        clips.push_back(entry.path().string());
    }
    std::sort(clips.begin(), clips.end());
    return clips;
}

bool OfferEventCopyBeforeFormat(QWidget *parent, const std::string &root)
{
    const std::vector<std::string> clips = EventClipsOnCard(root);
    if (clips.empty())
        return true;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("TavloPlayer"),
                    QObject::tr("The card holds %n EVENT clip(s). Formatting erases them.", nullptr,
                                int(clips.size())),
                    QMessageBox::NoButton, parent);
    QPushButton *copy =
        box.addButton(QObject::tr("Copy the EVENT clips first"), QMessageBox::AcceptRole);
    QPushButton *format =
        box.addButton(QObject::tr("Format without copying"), QMessageBox::DestructiveRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(copy);
    box.exec();
    if (box.clickedButton() == format)
        return true;
    if (box.clickedButton() != copy)
        return false;
    CCopyClipsDlg dlg({}, clips, root, QStringLiteral("EVENT"), parent);
    dlg.exec();
    // Only a copy that checked out lets the format go on.
    return dlg.AllCopied();
}
