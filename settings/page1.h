#pragma once

#include <cstdint>
#include <string>

#include <QMap>
#include <QWidget>

#include "settings/settings_services.h"
#include "widgets/command_owner.h"

class CTavloButton;
class QAbstractButton;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QSlider;

// The recording-options page: voice, security LED and its operation, buzzer, G-sensor
// sensitivity, time zone, and the recorder clock's time setting. Reads g_SetupWork when built
// and writes it only in OnOK.
class CPage1 : public QWidget, public CCommandOwner
{
    Q_OBJECT
public:
    enum
    {
        IDD = 440,
        IDC_DATETIME = 1027,
        IDC_TIME_SETTING = 1005,
        IDC_MIC_ON = 1013,
        IDC_MIC_OFF = 1014,
        IDC_LED_ON = 1015,
        IDC_LED_OFF = 1016,
        IDC_BUZZER_ON = 1017,
        IDC_BUZZER_OFF = 1018,
        IDC_LED_SCROLL = 1034,
        IDC_LED_AUTO = 1035,
        IDC_LED_BLINK = 1036,
        IDC_GSENSOR = 1019,
        IDC_LEVEL = 1033,
        IDC_QUALITY_GROUP = 1038,
        IDC_QUALITY_LOW = 1006,
        IDC_QUALITY_MID = 1007,
        IDC_QUALITY_HIGH = 1008,
        IDC_FRAME_GROUP = 1039,
        IDC_FRAME_VARI = 1009,
        IDC_FRAME_FIXED15 = 1010,
        IDC_FRAME_FIXED30 = 1011,
        IDC_TIMEZONE_GROUP = 1041,
        IDC_TIMEZONE = 1040,
        IDC_TIME_LOCK = 1037,
    };
    static constexpr int kTimeZoneCount = 25;
    static const char *const kTimeZones[kTimeZoneCount];

    CPage1(const std::string &root, const SETTINGS_SERVICES &services, QWidget *parent = nullptr);

    // The sheet's OK: the controls into g_SetupWork, with every value the recorder accepts.
    void OnOK();
    void OnCommand(int nId) override;
    // The card moved to another mount point (after a format).
    void SetRoot(const std::string &root) { m_strRoot = root; }

    QWidget *Control(int nId) const { return m_Controls.value(nId); }
    QAbstractButton *Radio(int nId) const;
    QSlider *GSensor() const { return m_pGSensor; }
    QLabel *Level() const { return m_pLevel; }
    QComboBox *TimeZone() const { return m_pTimeZone; }
    QDateTimeEdit *DateTime() const { return m_pDateTime; }
    CTavloButton *LockButton() const { return m_pLock; }
    bool TimeLocked() const { return m_bTimeLock != 0; }

    int32_t m_RadioQuality = 1;
    int32_t m_RadioFrame = 0;
    int32_t m_RadioMic = 0;
    int32_t m_RadioLed = 0;
    int32_t m_RadioLedMode = 0;
    int32_t m_RadioBuzzer = 0;

private:
    void OnTimeSetting();
    void OnTimeLock();
    void EnableLedModes(bool bEnable);
    bool IsChecked(int nId) const;
    void Check(int nId);
    QAbstractButton *AddRadio(int nId, const char *text, int x, int y, int w, int h);
    void LoadRecord();

    std::string m_strRoot;
    const SETTINGS_SERVICES &m_Services;
    int32_t m_bTimeLock = 1;
    QMap<int, QWidget *> m_Controls;
    QSlider *m_pGSensor = nullptr;
    QLabel *m_pLevel = nullptr;
    QComboBox *m_pTimeZone = nullptr;
    QDateTimeEdit *m_pDateTime = nullptr;
    CTavloButton *m_pLock = nullptr;
};
