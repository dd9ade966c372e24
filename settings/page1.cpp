#include "settings/page1.h"

#include <algorithm>

#include <QButtonGroup>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "settings/page_layout.h"
#include "settings/setup_file.h"
#include "settings/time_setting.h"
#include "widgets/dialog_units.h"
#include "widgets/skin_ids.h"
#include "widgets/tavlo_button.h"
#include "widgets/ui_font.h"

const char *const CPage1::kTimeZones[kTimeZoneCount] = {
    "GMT - 12:00", "GMT - 11:00", "GMT - 10:00", "GMT - 09:00", "GMT - 08:00",
    "GMT - 07:00", "GMT - 06:00", "GMT - 05:00", "GMT - 04:00", "GMT - 03:00",
    "GMT - 02:00", "GMT - 01:00", "GMT",         "GMT + 01:00", "GMT + 02:00",
    "GMT + 03:00", "GMT + 04:00", "GMT + 05:00", "GMT + 06:00", "GMT + 07:00",
    "GMT + 08:00", "GMT + 09:00", "GMT + 10:00", "GMT + 11:00", "GMT + 12:00"};

namespace {

constexpr uint32_t kBitrateLow = 4000000;
constexpr uint32_t kBitrateMid = 6000000;
constexpr uint32_t kBitrateHigh = 8000000;

} // namespace

CPage1::CPage1(const std::string &root, const SETTINGS_SERVICES &services, QWidget *parent)
    : QWidget(parent), m_strRoot(root), m_Services(services)
{
    InitSettingsPage(this, "Setting");

    AddPageGroup(this, "Time Setting", 7, 7, 286, 34);
    m_pDateTime = new QDateTimeEdit(this);
    m_pDateTime->setGeometry(DialogRect(18, 19, 161, 15));
    m_pDateTime->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_pDateTime->setCalendarPopup(false);
    m_Controls[IDC_DATETIME] = m_pDateTime;
    auto *timeSetting = new QPushButton("Time Setting", this);
    timeSetting->setGeometry(DialogRect(192, 19, 67, 16));
    connect(timeSetting, &QPushButton::clicked, this, &CPage1::OnTimeSetting);
    m_Controls[IDC_TIME_SETTING] = timeSetting;

    AddPageGroup(this, "Voice Record", 7, 44, 142, 27);
    auto *mic = new QButtonGroup(this);
    mic->addButton(AddRadio(IDC_MIC_ON, "On", 30, 57, 25, 10));
    mic->addButton(AddRadio(IDC_MIC_OFF, "Off", 92, 57, 27, 10));
    AddPageGroup(this, "Security LED", 151, 44, 142, 27);
    auto *led = new QButtonGroup(this);
    led->addButton(AddRadio(IDC_LED_ON, "On", 174, 56, 25, 10));
    led->addButton(AddRadio(IDC_LED_OFF, "Off", 236, 56, 27, 10));
    connect(Radio(IDC_LED_ON), &QAbstractButton::clicked, this, [this] { EnableLedModes(true); });
    connect(Radio(IDC_LED_OFF), &QAbstractButton::clicked, this, [this] { EnableLedModes(false); });
    AddPageGroup(this, "Buzzer", 7, 74, 142, 27);
    auto *buzzer = new QButtonGroup(this);
    buzzer->addButton(AddRadio(IDC_BUZZER_ON, "On", 30, 86, 25, 10));
    buzzer->addButton(AddRadio(IDC_BUZZER_OFF, "Off", 92, 86, 27, 10));
    AddPageGroup(this, "Security LED Operation", 151, 74, 142, 27);
    auto *ledMode = new QButtonGroup(this);
    ledMode->addButton(AddRadio(IDC_LED_SCROLL, "L/R Scroll", 161, 86, 45, 10));
    ledMode->addButton(AddRadio(IDC_LED_AUTO, "Auto", 214, 86, 28, 10));
    ledMode->addButton(AddRadio(IDC_LED_BLINK, "Blink", 256, 86, 28, 10));

    AddPageGroup(this, "G-Sensor Sensitivity", 7, 104, 286, 44);
    // Right-aligned against the trackbar, so a wider font grows it to the left.
    AddPageStatic(this, "insensitive", 11, 125, 43, 8)
        ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_pGSensor = new QSlider(Qt::Horizontal, this);
    m_pGSensor->setGeometry(DialogRect(54, 117, 146, 26));
    m_pGSensor->setTickPosition(QSlider::TicksBothSides);
    m_pGSensor->setTickInterval(1);
    m_pGSensor->setPageStep(1);
    m_Controls[IDC_GSENSOR] = m_pGSensor;
    AddPageStatic(this, "sensitive", 205, 125, 29, 8);
    m_pLevel = AddPageStatic(this, "Level", 247, 125, 39, 8);
    m_Controls[IDC_LEVEL] = m_pLevel;

    m_Controls[IDC_QUALITY_GROUP] = AddPageGroup(this, "Picture Quality Set", 7, 151, 142, 27);
    auto *quality = new QButtonGroup(this);
    quality->addButton(AddRadio(IDC_QUALITY_LOW, "Low", 21, 163, 29, 10));
    quality->addButton(AddRadio(IDC_QUALITY_MID, "Mid", 59, 163, 27, 10));
    quality->addButton(AddRadio(IDC_QUALITY_HIGH, "High", 99, 163, 30, 10));
    m_Controls[IDC_FRAME_GROUP] = AddPageGroup(this, "Frames Set", 151, 151, 142, 27);
    auto *frames = new QButtonGroup(this);
    frames->addButton(AddRadio(IDC_FRAME_VARI, "Vari", 161, 163, 24, 10));
    frames->addButton(AddRadio(IDC_FRAME_FIXED15, "Fixed(15f)", 190, 163, 45, 10));
    frames->addButton(AddRadio(IDC_FRAME_FIXED30, "Fixed(30f)", 241, 163, 46, 10));
    m_Controls[IDC_TIMEZONE_GROUP] = AddPageGroup(this, "Time Zone", 7, 150, 286, 34);
    m_pTimeZone = new QComboBox(this);
    // A drop-down list's height in the layout is that of its open list; closed it is one row.
    const QRect zone = DialogRect(18, 163, 266, 129);
    m_pTimeZone->setGeometry(zone.x(), zone.y(), zone.width(), m_pTimeZone->sizeHint().height());
    m_pTimeZone->setMaxVisibleItems(10);
    m_Controls[IDC_TIMEZONE] = m_pTimeZone;

    // The level text follows the thumb while it is dragged and wherever it comes to rest.
    connect(m_pGSensor, &QSlider::sliderMoved, this,
            [this](int position) { m_pLevel->setText(QString::number(position)); });
    connect(m_pGSensor, &QSlider::valueChanged, this,
            [this](int position) { m_pLevel->setText(QString::number(position)); });

    // The lock sits right of the "Time Setting" button, inside its group.
    m_pLock = new CTavloButton(this);
    m_pLock->LoadStrip(IDB_BTN_TIME_LOCK);
    const QRect button = timeSetting->geometry();
    const int lockSize = m_pLock->sizeHint().height();
    m_pLock->CreateAt(button.right() + 1 + DialogUnitsX(6), button.center().y() - lockSize / 2 + 1,
                      this, IDC_TIME_LOCK);
    m_pLock->SetTooltip("Unlock");
    m_Controls[IDC_TIME_LOCK] = m_pLock;

    LoadRecord();
}

QAbstractButton *CPage1::AddRadio(int nId, const char *text, int x, int y, int w, int h)
{
    auto *radio = new QRadioButton(QString::fromLatin1(text), this);
    // The style's indicator is wider than the layout's: never cut the caption.
    QRect rc = DialogRect(x, y, w, h);
    rc.setWidth(std::max(rc.width(), radio->sizeHint().width()));
    radio->setGeometry(rc);
    m_Controls[nId] = radio;
    return radio;
}

QAbstractButton *CPage1::Radio(int nId) const
{
    return qobject_cast<QAbstractButton *>(m_Controls.value(nId));
}

bool CPage1::IsChecked(int nId) const
{
    const QAbstractButton *radio = Radio(nId);
    return radio != nullptr && radio->isChecked();
}

void CPage1::Check(int nId)
{
    if (QAbstractButton *radio = Radio(nId))
        radio->setChecked(true);
}

void CPage1::EnableLedModes(bool bEnable)
{
    for (int id : {IDC_LED_SCROLL, IDC_LED_AUTO, IDC_LED_BLINK})
        Radio(id)->setEnabled(bEnable);
}

void CPage1::LoadRecord()
{
    const SETUP_CFG &cfg = g_SetupWork;
    if (cfg.nRecVidBitrate == kBitrateLow) {
        m_RadioQuality = 0;
        Check(IDC_QUALITY_LOW);
    } else if (cfg.nRecVidBitrate == kBitrateHigh) {
        m_RadioQuality = 2;
        Check(IDC_QUALITY_HIGH);
    } else {
        m_RadioQuality = 1;
        Check(IDC_QUALITY_MID);
    }
    m_RadioFrame = cfg.nRecordingFrames;
    if (cfg.nRecordingFrames == 1)
        Check(IDC_FRAME_VARI);
    else if (cfg.nRecordingFrames == 0)
        Check(IDC_FRAME_FIXED15);
    else if (cfg.nRecordingFrames == 2)
        Check(IDC_FRAME_FIXED30);
    m_RadioMic = cfg.nAudioRecEnable != 0 ? 1 : 0;
    Check(m_RadioMic ? IDC_MIC_ON : IDC_MIC_OFF);
    m_RadioLed = cfg.nSecurityLedEnable != 0 ? 1 : 0;
    Check(m_RadioLed ? IDC_LED_ON : IDC_LED_OFF);
    m_RadioLedMode =
        cfg.nSecurityLedMode == 1 || cfg.nSecurityLedMode == 2 ? cfg.nSecurityLedMode : 0;
    Check(m_RadioLedMode == 1   ? IDC_LED_AUTO
          : m_RadioLedMode == 2 ? IDC_LED_BLINK
                                : IDC_LED_SCROLL);
    if (!m_RadioLed)
        EnableLedModes(false);
    m_RadioBuzzer = cfg.nBuzzerEnable != 0 ? 1 : 0;
    Check(m_RadioBuzzer ? IDC_BUZZER_ON : IDC_BUZZER_OFF);

    m_pGSensor->setRange(1, 10);
    m_pGSensor->setValue(cfg.nGSensorSensX + 1);
    // A stored level above 9 shows its own number while the thumb stops at the end.
    m_pLevel->setText(QString::number(cfg.nGSensorSensX + 1));

    m_pDateTime->setDisplayFormat("yyyy-MM-dd HH:mm:ss");
    const SYSTEMTIME st = ReadTimeSetting(TimeSettingPath(m_strRoot));
    m_pDateTime->setDateTime(
        QDateTime(QDate(st.wYear, st.wMonth, st.wDay), QTime(st.wHour, st.wMinute, st.wSecond)));

    for (int id : {IDC_QUALITY_GROUP, IDC_QUALITY_LOW, IDC_QUALITY_MID, IDC_QUALITY_HIGH,
                   IDC_FRAME_GROUP, IDC_FRAME_VARI, IDC_FRAME_FIXED15, IDC_FRAME_FIXED30})
        m_Controls[id]->hide();
    m_Controls[IDC_TIMEZONE_GROUP]->show();
    m_pTimeZone->show();
    for (const char *zone : kTimeZones)
        m_pTimeZone->addItem(QString::fromLatin1(zone));
    const bool inRange = cfg.nTimeZone >= 1 && cfg.nTimeZone <= kTimeZoneCount;
    m_pTimeZone->setCurrentIndex(inRange ? cfg.nTimeZone - 1 : 0);
}

void CPage1::OnOK()
{
    SETUP_CFG &cfg = g_SetupWork;
    if (IsChecked(IDC_QUALITY_LOW))
        m_RadioQuality = 0;
    else if (IsChecked(IDC_QUALITY_MID))
        m_RadioQuality = 1;
    else if (IsChecked(IDC_QUALITY_HIGH))
        m_RadioQuality = 2;
    cfg.nRecVidBitrate = m_RadioQuality == 0   ? kBitrateLow
                         : m_RadioQuality == 2 ? kBitrateHigh
                                               : kBitrateMid;
    m_RadioFrame = 0;
    if (IsChecked(IDC_FRAME_VARI))
        m_RadioFrame = 1;
    else if (IsChecked(IDC_FRAME_FIXED15))
        m_RadioFrame = 0;
    else if (IsChecked(IDC_FRAME_FIXED30))
        m_RadioFrame = 2;
    cfg.nRecordingFrames = static_cast<uint16_t>(m_RadioFrame);
    cfg.nAudioRecEnable = IsChecked(IDC_MIC_ON) ? 1 : 0;
    cfg.nSecurityLedEnable = IsChecked(IDC_LED_ON) ? 1 : 0;
    // Taken even while the radios are disabled, so the recorder keeps its choice.
    if (IsChecked(IDC_LED_SCROLL))
        cfg.nSecurityLedMode = 0;
    else if (IsChecked(IDC_LED_AUTO))
        cfg.nSecurityLedMode = 1;
    else if (IsChecked(IDC_LED_BLINK))
        cfg.nSecurityLedMode = 2;
    cfg.nBuzzerEnable = IsChecked(IDC_BUZZER_ON) ? 1 : 0;
    const auto level = static_cast<uint16_t>(m_pGSensor->value() - 1);
    cfg.nGSensorSensX = cfg.nGSensorSensY = cfg.nGSensorSensZ = level;
    if (m_pTimeZone->currentIndex() >= 0)
        cfg.nTimeZone = m_pTimeZone->currentIndex() + 1;
}

void CPage1::OnCommand(int nId)
{
    if (nId == IDC_TIME_LOCK)
        OnTimeLock();
}

void CPage1::OnTimeSetting()
{
    if (m_bTimeLock == 1) {
        m_Services.notify(this, "Time Setting Unlocking.");
        return;
    }
    const QDateTime picked = m_pDateTime->dateTime();
    SYSTEMTIME st = GetLocalTime();
    st.wYear = static_cast<uint16_t>(picked.date().year());
    st.wMonth = static_cast<uint16_t>(picked.date().month());
    st.wDay = static_cast<uint16_t>(picked.date().day());
    st.wHour = static_cast<uint16_t>(picked.time().hour());
    st.wMinute = static_cast<uint16_t>(picked.time().minute());
    st.wSecond = static_cast<uint16_t>(picked.time().second());
    if (WriteTimeSetting(TimeSettingPath(m_strRoot), st))
        m_Services.notify(this, "Time settings have been saved.");
}

void CPage1::OnTimeLock()
{
    if (m_bTimeLock == 1) {
        m_bTimeLock = 0;
        m_pLock->SetChecked(true);
        m_Services.notify(this, "Time Setting Unlocking");
    } else {
        m_bTimeLock = 1;
        m_pLock->SetChecked(false);
        m_Services.notify(this, "Time Setting Locking");
    }
}
