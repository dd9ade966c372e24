#pragma once

#include <string>

#include <QDialog>
#include <QIcon>

#include "settings/settings_services.h"

class CPage1;
class CPage2;
class CPage3;
class QDialogButtonBox;
class QListWidget;
class QStackedWidget;

// The settings sheet: a list of page names on the left in place of tabs, the pages, OK and
// Cancel. OK lets the recording-options page write g_SetupWork; saving it to the card is the
// caller's step (ShowPlayerSettings).
class CPlayerSetting : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kPageListWidth = 130;

    CPlayerSetting(const std::string &root, SETTINGS_SERVICES services, QWidget *parent = nullptr);
    ~CPlayerSetting() override;

    CPage1 &Page1() const { return *m_pPage1; }
    CPage2 &Page2() const { return *m_pPage2; }
    CPage3 &Page3() const { return *m_pPage3; }
    QListWidget *PageList() const { return m_pList; }
    QDialogButtonBox *Buttons() const { return m_pButtons; }
    void SelectPage(int nIndex);
    // The card root, moved when a format mounted the card elsewhere.
    std::string Root() const;

    void accept() override;

private:
    SETTINGS_SERVICES m_Services; // the pages refer to it: declared before them
    QListWidget *m_pList;
    QStackedWidget *m_pStack;
    QDialogButtonBox *m_pButtons;
    CPage1 *m_pPage1;
    CPage2 *m_pPage2;
    CPage3 *m_pPage3;
    QIcon m_hIcon;
};

// The sheet's icon (a gear).
QIcon SettingsIcon();

enum class SettingsEnd
{
    NotRecorderCard, // setting/ or setting/setup.cfg missing; nothing was opened
    Unreadable,      // setup.cfg exists but could not be read; the sheet was not opened
    Ok,              // the sheet ended with OK
    Cancel,
};

struct SETTINGS_OUTCOME
{
    SettingsEnd end = SettingsEnd::Cancel;
    bool bSaved = false;     // OK, and setup.cfg was written
    bool bDamaged = false;   // setup.cfg was shorter than its record, so it was never written
    bool bFormatted = false; // the card was formatted while the sheet was open
    std::string strRoot;     // the card root afterwards (a format may have moved it)
};

// The Settings command's card steps: the card test, load setup.cfg, working copy, firmware
// version, the sheet; after OK the working copy is written back to the card. g_bFormattedCompleted
// is cleared before the sheet and left as the sheet set it, for the caller. Pass a hook to
// run the sheet in tests (it gets the sheet before exec; return the result instead of exec).
SETTINGS_OUTCOME ShowPlayerSettings(QWidget *parent, const std::string &root,
                                    SETTINGS_SERVICES services = DefaultSettingsServices(),
                                    const std::function<int(CPlayerSetting &)> &run = {});
