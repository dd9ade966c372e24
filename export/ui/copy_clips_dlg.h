#pragma once

#include <string>
#include <vector>

#include <QDialog>

#include "export/clip_copy.h"
#include "export/ui/dialog_worker.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

// "Copy to computer…": the chosen clip or the whole shown category copied to a folder of the
// computer, each copy checked by size and SHA-256. Runs on a thread of its own.
class CCopyClipsDlg : public QDialog
{
    Q_OBJECT
public:
    // clip: the right-clicked clip (may be empty); category: the clips of a category. With a
    // title, the dialog offers only the category (the format page's offer).
    CCopyClipsDlg(const std::string &clip, const std::vector<std::string> &category,
                  const std::string &cardRoot, const QString &categoryLabel,
                  QWidget *parent = nullptr);
    ~CCopyClipsDlg() override;

    QLineEdit *FolderEdit() const { return m_pFolder; }
    QRadioButton *CategoryChoice() const { return m_pCategory; }
    QProgressBar *Progress() const { return m_pProgress; }
    QLabel *Status() const { return m_pStatus; }
    bool IsRunning() const { return m_worker.IsRunning(); }
    // True once a run ended with every clip copied and checked.
    bool AllCopied() const { return m_bAllCopied; }
    bool StartCopy();

protected:
    void reject() override;

private:
    void OnFinished(const COPY_RUN_RESULT &run);

    std::string m_clip;
    std::vector<std::string> m_category;
    std::string m_cardRoot;
    QRadioButton *m_pOne = nullptr;
    QRadioButton *m_pCategory = nullptr;
    QLineEdit *m_pFolder = nullptr;
    QPushButton *m_pCopy = nullptr;
    QPushButton *m_pClose = nullptr;
    QProgressBar *m_pProgress = nullptr;
    QLabel *m_pStatus = nullptr;
    bool m_bAllCopied = false;
    CDialogWorker m_worker; // last: it waits for a job that reads the members above
};

// The EVENT clips on the card at root (ending with '/'), as the catalog lists them.
std::vector<std::string> EventClipsOnCard(const std::string &root);

// Before a format: when the card holds EVENT clips, offers "Copy the EVENT clips first"; true
// when the format may go on (nothing to copy, every clip copied and checked, or the user chose
// to format without copying).
bool OfferEventCopyBeforeFormat(QWidget *parent, const std::string &root);
