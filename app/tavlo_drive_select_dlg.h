#pragma once

#include <string>
#include <vector>

#include <QDialog>

#include "platform/removable_volumes.h"

class QComboBox;
class QPushButton;

// "Select a Drive": the removable volumes mounted now, plus "Folder…" for a card copied to
// disk. OK makes the chosen root the card root when it exists; the dialog has no Cancel, Escape
// or closing it cancels.
class CTavloDriveSelectDlg : public QDialog
{
    Q_OBJECT
public:
    enum
    {
        IDD = 418,
        IDC_DRIVE = 419
    };

    explicit CTavloDriveSelectDlg(QWidget *parent = nullptr);
    // With the volumes given instead of the system's (tests).
    CTavloDriveSelectDlg(std::vector<REMOVABLE_VOLUME> volumes, QWidget *parent);

    std::string m_strDrive; // the root taken from the list by OK; ends with '/'

    QComboBox *DriveList() const { return m_pComboDrive; }
    QPushButton *OkButton() const { return m_pOk; }
    QPushButton *FolderButton() const { return m_pFolder; }
    // Puts a root into the list and selects it, as "Folder…" does with the folder picked.
    void AddFolder(const QString &folder);

protected:
    void accept() override;

private:
    void Build(const std::vector<REMOVABLE_VOLUME> &volumes);
    void OnFolder();

    QComboBox *m_pComboDrive = nullptr;
    QPushButton *m_pOk = nullptr;
    QPushButton *m_pFolder = nullptr;
};

// The text a volume has in the list: "LABEL (mount point)".
QString DriveListText(const REMOVABLE_VOLUME &volume);
