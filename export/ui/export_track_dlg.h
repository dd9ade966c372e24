#pragma once

#include <string>
#include <vector>

#include <QDialog>

#include "export/track_writers.h"
#include "export/ui/clip_menu.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

// "Export track…": the clip's fixes, or the whole trip's (one segment per clip), as GPX, KML
// or CSV.
class CExportTrackDlg : public QDialog
{
    Q_OBJECT
public:
    CExportTrackDlg(const CLIP_MENU_TARGET &target, QWidget *parent = nullptr);

    QComboBox *FormatBox() const { return m_pFormat; }
    QCheckBox *WholeTrip() const { return m_pWholeTrip; }
    QLineEdit *PathEdit() const { return m_pPath; }
    QLabel *Status() const { return m_pStatus; }
    // Writes the file as the Save button does; true when it was written.
    bool Save();

private:
    TrackFormat Format() const;
    void OnFormatChanged();

    CLIP_MENU_TARGET m_target;
    std::vector<std::string> m_tripClips;
    QComboBox *m_pFormat = nullptr;
    QCheckBox *m_pWholeTrip = nullptr;
    QLineEdit *m_pPath = nullptr;
    QLabel *m_pStatus = nullptr;
};

// The fixes of each clip, one segment per clip that has any; names the clips that could not
// be read in *unreadable.
std::vector<std::vector<FIX_POINT>> ReadTrackSegments(const std::vector<std::string> &clips,
                                                      std::vector<std::string> *unreadable);
