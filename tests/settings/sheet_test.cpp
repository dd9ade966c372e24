#include <functional>

#include <QAbstractButton>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include "settings/page1.h"
#include "settings/page2.h"
#include "settings/page3.h"
#include "settings/player_setting.h"
#include "sheet_fixture.h"
#include "widgets/tavlo_button.h"

namespace {

int ClickOk(CPlayerSetting &sheet)
{
    sheet.Buttons()->button(QDialogButtonBox::Ok)->click();
    return sheet.result();
}

int ClickCancel(CPlayerSetting &sheet)
{
    sheet.Buttons()->button(QDialogButtonBox::Cancel)->click();
    return sheet.result();
}

struct RoundTripCase
{
    const char *name;
    std::function<void(SETUP_CFG &)> stored; // how the card's record differs from the showable one
    std::function<void(CPage1 &)> drive;     // what the user does on the page (may be empty)
    std::function<void(SETUP_CFG &)> expected; // how the saved record differs from the stored one
    const char *shownZone;
    bool ledModesEnabled;
};

} // namespace

TEST(SettingsSheet, RoundTripsThroughThePage)
{
    const RoundTripCase cases[] = {
        {"unchanged", [](SETUP_CFG &) {}, {}, [](SETUP_CFG &) {}, "GMT", true},
        {"bit rate 5000000 is Mid",
         [](SETUP_CFG &c) { c.nRecVidBitrate = 5000000; },
         {},
         [](SETUP_CFG &c) { c.nRecVidBitrate = 6000000; },
         "GMT",
         true},
        {"low and high kept",
         [](SETUP_CFG &c) {
             c.nRecVidBitrate = 8000000;
             c.nRecordingFrames = 2;
         },
         {},
         [](SETUP_CFG &) {},
         "GMT",
         true},
        {"frame mode 7 becomes 0",
         [](SETUP_CFG &c) { c.nRecordingFrames = 7; },
         {},
         [](SETUP_CFG &c) { c.nRecordingFrames = 0; },
         "GMT",
         true},
        {"time zone 0",
         [](SETUP_CFG &c) { c.nTimeZone = 0; },
         {},
         [](SETUP_CFG &c) { c.nTimeZone = 1; },
         "GMT - 12:00",
         true},
        {"time zone 26",
         [](SETUP_CFG &c) { c.nTimeZone = 26; },
         {},
         [](SETUP_CFG &c) { c.nTimeZone = 1; },
         "GMT - 12:00",
         true},
        {"time zone 25",
         [](SETUP_CFG &c) { c.nTimeZone = 25; },
         {},
         [](SETUP_CFG &) {},
         "GMT + 12:00",
         true},
        {"LED off keeps its operation",
         [](SETUP_CFG &c) {
             c.nSecurityLedEnable = 0;
             c.nSecurityLedMode = 1;
         },
         {},
         [](SETUP_CFG &) {},
         "GMT",
         false},
        {"LED on value 5 written 1, mode 9 written 0",
         [](SETUP_CFG &c) {
             c.nSecurityLedEnable = 5;
             c.nSecurityLedMode = 9;
             c.nAudioRecEnable = 3;
         },
         {},
         [](SETUP_CFG &c) {
             c.nSecurityLedEnable = 1;
             c.nSecurityLedMode = 0;
             c.nAudioRecEnable = 1;
         },
         "GMT",
         true},
        {"G-sensor above 9 becomes 9",
         [](SETUP_CFG &c) {
             c.nGSensorSensX = 12;
             c.nGSensorSensY = 2;
             c.nGSensorSensZ = 0;
         },
         {},
         [](SETUP_CFG &c) { c.nGSensorSensX = c.nGSensorSensY = c.nGSensorSensZ = 9; },
         "GMT",
         true},
        {"controls driven by the user", [](SETUP_CFG &) {},
         [](CPage1 &page) {
             QTest::mouseClick(page.Radio(CPage1::IDC_MIC_OFF), Qt::LeftButton);
             QTest::mouseClick(page.Radio(CPage1::IDC_BUZZER_ON), Qt::LeftButton);
             QTest::mouseClick(page.Radio(CPage1::IDC_LED_AUTO), Qt::LeftButton);
             QTest::keyClick(page.GSensor(), Qt::Key_Home);
             EXPECT_EQ(page.Level()->text(), "1");
             page.TimeZone()->setCurrentIndex(24);
         },
         [](SETUP_CFG &c) {
             c.nAudioRecEnable = 0;
             c.nBuzzerEnable = 1;
             c.nSecurityLedMode = 1;
             c.nGSensorSensX = c.nGSensorSensY = c.nGSensorSensZ = 0;
             c.nTimeZone = 25;
         },
         "GMT", true},
        {"LED switched off by the user", [](SETUP_CFG &) {},
         [](CPage1 &page) {
             QTest::mouseClick(page.Radio(CPage1::IDC_LED_OFF), Qt::LeftButton);
             EXPECT_FALSE(page.Radio(CPage1::IDC_LED_BLINK)->isEnabled());
         },
         [](SETUP_CFG &c) { c.nSecurityLedEnable = 0; }, "GMT", true},
    };
    for (const RoundTripCase &tc : cases) {
        SCOPED_TRACE(tc.name);
        SheetCard card;
        SETUP_CFG stored = ShowableRecord();
        tc.stored(stored);
        // A wrong stored CRC and a longer file load the same and are rewritten right.
        std::vector<uint8_t> file = RecordBytes(stored);
        file.insert(file.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0x55});
        card.WriteSetup(file);

        const SETTINGS_OUTCOME outcome =
            ShowPlayerSettings(nullptr, card.Root(), card.Services(), [&](CPlayerSetting &sheet) {
                CPage1 &page = sheet.Page1();
                EXPECT_EQ(page.TimeZone()->currentText(), tc.shownZone);
                EXPECT_EQ(page.TimeZone()->count(), 25);
                EXPECT_EQ(page.Radio(CPage1::IDC_LED_SCROLL)->isEnabled(), tc.ledModesEnabled);
                EXPECT_FALSE(page.Radio(CPage1::IDC_QUALITY_MID)->isVisibleTo(&page));
                EXPECT_TRUE(page.TimeZone()->isVisibleTo(&page));
                if (tc.drive)
                    tc.drive(page);
                return ClickOk(sheet);
            });
        EXPECT_EQ(outcome.end, SettingsEnd::Ok);
        EXPECT_TRUE(outcome.bSaved);
        SETUP_CFG expected = stored;
        tc.expected(expected);
        EXPECT_EQ(SheetCard::ReadFile(SetupFilePath(card.Root())),
                  SetupFileBytes(RecordBytes(expected)));
    }
}

TEST(SettingsSheet, LevelTextShowsTheStoredLevel)
{
    const struct
    {
        uint16_t stored;
        int thumb;
        const char *text;
    } cases[] = {{0, 1, "1"}, {9, 10, "10"}, {12, 10, "13"}};
    for (const auto &tc : cases) {
        SheetCard card;
        g_SetupWork = ShowableRecord();
        g_SetupWork.nGSensorSensX = tc.stored;
        const SETTINGS_SERVICES services = card.Services();
        CPage1 page(card.Root(), services);
        EXPECT_EQ(page.GSensor()->value(), tc.thumb);
        EXPECT_EQ(page.Level()->text(), tc.text);
        // Dragging the thumb updates the text while it moves.
        page.GSensor()->setSliderDown(true);
        page.GSensor()->setSliderPosition(3);
        EXPECT_EQ(page.Level()->text(), "3");
    }
}

TEST(SettingsSheet, CancelWritesNothing)
{
    SheetCard card;
    std::vector<uint8_t> file = RecordBytes(ShowableRecord());
    file.insert(file.end(), {1, 2, 3, 4}); // a wrong CRC: a rewrite would mend it
    card.WriteSetup(file);
    const SETTINGS_OUTCOME outcome =
        ShowPlayerSettings(nullptr, card.Root(), card.Services(), [](CPlayerSetting &sheet) {
            QTest::mouseClick(sheet.Page1().Radio(CPage1::IDC_MIC_OFF), Qt::LeftButton);
            return ClickCancel(sheet);
        });
    EXPECT_EQ(outcome.end, SettingsEnd::Cancel);
    EXPECT_FALSE(outcome.bSaved);
    EXPECT_EQ(SheetCard::ReadFile(SetupFilePath(card.Root())), file);
}

// A setup.cfg cut short (by a power loss, or empty) opens, but OK must not replace it with a
// record whose missing bytes are zeros; the time setting asked for is still written.
TEST(SettingsSheet, OkLeavesAShortSettingsFileAsItIs)
{
    const std::vector<uint8_t> whole = SetupFileBytes(RecordBytes(ShowableRecord()));
    const struct
    {
        const char *name;
        size_t length;
        bool timeSetting;
    } cases[] = {{"empty", 0, false},
                 {"cut inside the record", 60, true},
                 {"one byte short", kSetupRecordSize - 1, false}};
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.name);
        SheetCard card;
        const std::vector<uint8_t> file(whole.begin(),
                                        whole.begin() + static_cast<long>(tc.length));
        card.WriteSetup(file);
        const SETTINGS_OUTCOME outcome =
            ShowPlayerSettings(nullptr, card.Root(), card.Services(), [&](CPlayerSetting &sheet) {
                CPage1 &page = sheet.Page1();
                QTest::mouseClick(page.Radio(CPage1::IDC_MIC_OFF), Qt::LeftButton);
                if (tc.timeSetting) {
                    page.OnCommand(CPage1::IDC_TIME_LOCK);
                    qobject_cast<QPushButton *>(page.Control(CPage1::IDC_TIME_SETTING))->click();
                }
                return ClickOk(sheet);
            });
        EXPECT_EQ(outcome.end, SettingsEnd::Ok);
        EXPECT_FALSE(outcome.bSaved);
        EXPECT_TRUE(outcome.bDamaged);
        EXPECT_EQ(SheetCard::ReadFile(SetupFilePath(card.Root())), file);
        ASSERT_EQ(card.warnings.size(), 1);
        EXPECT_TRUE(card.warnings[0].contains("damaged")) << card.warnings[0].toStdString();
        EXPECT_EQ(std::filesystem::exists(TimeSettingPath(card.Root())), tc.timeSetting);
    }
}

TEST(SettingsSheet, RefusesCardsItCannotRead)
{
    bool ran = false;
    auto run = [&](CPlayerSetting &) {
        ran = true;
        return 1;
    };
    {
        SheetCard card; // no setting folder
        EXPECT_EQ(ShowPlayerSettings(nullptr, card.Root(), card.Services(), run).end,
                  SettingsEnd::NotRecorderCard);
    }
    {
        SheetCard card;
        std::filesystem::create_directories(card.folder / "setting");
        EXPECT_EQ(ShowPlayerSettings(nullptr, card.Root(), card.Services(), run).end,
                  SettingsEnd::NotRecorderCard);
    }
    {
        // Another program holds setup.cfg: the previous card's record must not be written here.
        SheetCard card;
        const std::vector<uint8_t> file = SetupFileBytes(RecordBytes(ShowableRecord()));
        card.WriteSetup(file);
        const int fd = ::open(SetupFilePath(card.Root()).c_str(), O_RDWR);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
        const SETTINGS_OUTCOME outcome =
            ShowPlayerSettings(nullptr, card.Root(), card.Services(), run);
        ::close(fd);
        EXPECT_EQ(outcome.end, SettingsEnd::Unreadable);
        EXPECT_EQ(card.warnings.size(), 1);
        EXPECT_EQ(SheetCard::ReadFile(SetupFilePath(card.Root())), file);
    }
    EXPECT_FALSE(ran);
}

TEST(SettingsSheet, TimeSettingNeedsTheLock)
{
    SheetCard card;
    const std::vector<uint8_t> file = SetupFileBytes(RecordBytes(ShowableRecord()));
    card.WriteSetup(file);
    const std::string timePath = TimeSettingPath(card.Root());
    const SETTINGS_OUTCOME outcome =
        ShowPlayerSettings(nullptr, card.Root(), card.Services(), [&](CPlayerSetting &sheet) {
            CPage1 &page = sheet.Page1();
            auto *timeButton = qobject_cast<QPushButton *>(page.Control(CPage1::IDC_TIME_SETTING));
            page.DateTime()->setDateTime(QDateTime(QDate(2010, 5, 17), QTime(13, 45, 9)));
            EXPECT_EQ(page.DateTime()->text(), "2010-05-17 13:45:09");
            timeButton->click();
            EXPECT_EQ(card.notes, QStringList{"Time Setting Unlocking."});
            EXPECT_FALSE(std::filesystem::exists(timePath));

            sheet.show();
            QTest::mouseClick(page.LockButton(), Qt::LeftButton, {}, QPoint(5, 5));
            EXPECT_FALSE(page.TimeLocked());
            EXPECT_TRUE(page.LockButton()->IsChecked());
            EXPECT_EQ(page.LockButton()->TooltipText(), "Unlock");
            timeButton->click();
            const std::vector<uint8_t> written = SheetCard::ReadFile(timePath);
            EXPECT_EQ(std::string(written.begin(), written.end()), "2010 05 17 13 45 09");
            EXPECT_EQ(card.notes, (QStringList{"Time Setting Unlocking.", "Time Setting Unlocking",
                                               "Time settings have been saved."}));
            QTest::mouseClick(page.LockButton(), Qt::LeftButton, {}, QPoint(5, 5));
            EXPECT_TRUE(page.TimeLocked());
            EXPECT_EQ(card.notes.back(), "Time Setting Locking");
            return ClickCancel(sheet);
        });
    EXPECT_EQ(outcome.end, SettingsEnd::Cancel);
    EXPECT_EQ(SheetCard::ReadFile(timePath).size(), 19u);
    EXPECT_EQ(SheetCard::ReadFile(SetupFilePath(card.Root())), file);

    // The next time the page opens it presets the stored time.
    g_SetupWork = ShowableRecord();
    const SETTINGS_SERVICES services = card.Services();
    CPage1 page(card.Root(), services);
    EXPECT_EQ(page.DateTime()->dateTime(), QDateTime(QDate(2010, 5, 17), QTime(13, 45, 9)));
}

TEST(SettingsSheet, VersionPage)
{
    const struct
    {
        std::string model; // up to 16 bytes, no NUL needed
        const char *version;
        const char *shown;
    } cases[] = {
        {std::string("ABCDEFGHIJKLMNOP"), "1.2.3", "ABCDEFGHIJKLMNOP : 1.2.3"},
        {std::string(), "2.10", " : 2.10.0"},
        {std::string("DR\0XYZ", 6), "10.04.100", "DR : 10.4.100"},
    };
    for (const auto &tc : cases) {
        SheetCard card;
        SETUP_CFG cfg = ShowableRecord();
        std::memset(cfg.szModelName, 0, 16);
        std::memcpy(cfg.szModelName, tc.model.data(), tc.model.size());
        std::memset(cfg.szFwVersion, 0, 9);
        std::memcpy(cfg.szFwVersion, tc.version, std::strlen(tc.version));
        card.WriteSetup(SetupFileBytes(RecordBytes(cfg)));
        ShowPlayerSettings(nullptr, card.Root(), card.Services(), [&](CPlayerSetting &sheet) {
            EXPECT_EQ(sheet.Page3().Firmware()->text(), tc.shown);
            EXPECT_EQ(sheet.Page3().Viewer()->text(), "Viewer(DA2DA):0.0.3");
            qobject_cast<QPushButton *>(sheet.Page3().DownloadButton())->click();
            return ClickCancel(sheet);
        });
        ASSERT_EQ(card.urls.size(), 1u);
        EXPECT_EQ(card.urls[0], QUrl(ROADLOG_FIRMWARE_URL));
    }
}

TEST(SettingsSheet, SheetLayout)
{
    SheetCard card;
    card.WriteSetup(SetupFileBytes(RecordBytes(ShowableRecord())));
    const uint64_t folderMB[4] = {900, 400, 250, 120};
    const char *const folders[4] = {"RECORD", "EVENT", "MANUAL", "MOTION"};
    for (int i = 0; i < 4; ++i) {
        std::filesystem::create_directories(card.folder / folders[i]);
        const std::string clip = card.folder / (std::string(folders[i]) + "/clip.avi");
        std::ofstream(clip).flush();
        std::filesystem::resize_file(clip, folderMB[i] << 20); // sparse
    }
    SETTINGS_SERVICES services = card.Services();
    services.diskSpace = [](const std::string &, uint64_t *total, uint64_t *free) {
        *total = 3781ull << 20;
        *free = 2111ull << 20;
        return true;
    };
    ShowPlayerSettings(nullptr, card.Root(), services, [&](CPlayerSetting &sheet) {
        EXPECT_EQ(sheet.windowTitle(), "Settings");
        EXPECT_FALSE(sheet.windowIcon().isNull());
        EXPECT_EQ(sheet.PageList()->width(), 130);
        EXPECT_EQ(sheet.PageList()->count(), 3);
        EXPECT_EQ(sheet.PageList()->item(0)->text(), "Setting");
        EXPECT_EQ(sheet.PageList()->item(1)->text(), "Memory Info");
        EXPECT_EQ(sheet.PageList()->item(2)->text(), "Version Info");
        EXPECT_EQ(sheet.PageList()->currentRow(), 0);
        EXPECT_EQ(sheet.Buttons()->buttons().size(), 2); // OK and Cancel, no Apply
        // Pages are laid out in dialog units: 300 x 191 is 450 x 310 pixels.
        EXPECT_EQ(sheet.Page1().size(), QSize(450, 310));
        EXPECT_EQ(sheet.Page1().Control(CPage1::IDC_TIME_SETTING)->geometry(),
                  QRect(288, 30, 100, 26));
        // The lock lies inside the "Time Setting" group, right of its button.
        const QRect lock = sheet.Page1().LockButton()->geometry();
        EXPECT_GT(lock.left(), 388);
        EXPECT_LE(lock.right(), 439);

        const char *shotDir = std::getenv("ROADLOG_SHOT_DIR");
        sheet.show();
        for (int i = 0; i < 3; ++i) {
            sheet.SelectPage(i);
            QCoreApplication::processEvents();
            // No caption is cut: every label and button has the room its text needs.
            for (QWidget *w : sheet.findChildren<QWidget *>()) {
                auto *label = qobject_cast<QLabel *>(w);
                auto *button = qobject_cast<QAbstractButton *>(w);
                if (!w->isVisible() || (label && label->wordWrap()) || (!label && !button) ||
                    qobject_cast<CTavloButton *>(w))
                    continue;
                const QString text = label ? label->text() : button->text();
                const int needed = label ? label->sizeHint().width()
                                   : qobject_cast<QPushButton *>(w)
                                       ? w->fontMetrics().horizontalAdvance(text) + 8
                                       : w->sizeHint().width();
                EXPECT_GE(w->width() + 1, needed) << text.toStdString();
            }
            const QImage shot = sheet.grab().toImage();
            EXPECT_FALSE(shot.isNull());
            if (i == 1) {
                EXPECT_EQ(sheet.Page2().Total()->text(), "Total Memory : 3781MB");
                EXPECT_EQ(sheet.Page2().Folder(0)->text(), "RECORD : 900 MB");
            }
            if (shotDir)
                shot.save(QString("%1/w13-page%2.png").arg(shotDir).arg(i + 1));
        }
        return ClickCancel(sheet);
    });
}
