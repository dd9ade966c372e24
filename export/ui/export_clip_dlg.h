#pragma once

#include <QDialog>

#include "export/clip_export.h"
#include "export/ui/clip_menu.h"
#include "export/ui/dialog_worker.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimeEdit;

// "Export clip…": a span of the clip copied into a video file with its GPX beside it. The copy
// runs on a thread of its own; the dialog shows its progress and can cancel it.
class CExportClipDlg : public QDialog
{
    Q_OBJECT
public:
    CExportClipDlg(const CLIP_MENU_TARGET &target, QWidget *parent = nullptr);
    ~CExportClipDlg() override;

    QTimeEdit *FromEdit() const { return m_pFrom; }
    QTimeEdit *ToEdit() const { return m_pTo; }
    QLineEdit *PathEdit() const { return m_pPath; }
    QPushButton *ExportButton() const { return m_pExport; }
    QProgressBar *Progress() const { return m_pProgress; }
    QLabel *Status() const { return m_pStatus; }
    bool IsRunning() const { return m_worker.IsRunning(); }
    // Starts the copy as the Export button does; false when the choices were refused.
    bool StartExport();

protected:
    void reject() override;

private:
    void OnBrowse();
    void OnFinished(const CLIP_EXPORT_RESULT &result);

    CLIP_MENU_TARGET m_target;
    uint32_t m_nDurationMs = 0;
    QTimeEdit *m_pFrom = nullptr;
    QTimeEdit *m_pTo = nullptr;
    QLineEdit *m_pPath = nullptr;
    QPushButton *m_pExport = nullptr;
    QPushButton *m_pClose = nullptr;
    QProgressBar *m_pProgress = nullptr;
    QLabel *m_pStatus = nullptr;
    CDialogWorker m_worker; // last: it waits for a job that reads the members above
};

// The clip's length in ms read from its header; 0 when it cannot be opened.
uint32_t ClipDurationMs(const std::string &path);

// The folder exports go to by default: the user's videos folder, else the home folder.
std::string DefaultExportFolder();
