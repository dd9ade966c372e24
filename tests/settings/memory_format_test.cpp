#include <cstdio>
#include <fstream>
#include <optional>
#include <set>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QVariantMap>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/file.h>
#include <unistd.h>

#include "settings/card_format.h"
#include "settings/page1.h"
#include "settings/page2.h"
#include "settings/player_setting.h"
#include "settings/setup_backup.h"
#include "settings/udisks_format.h"
#include "sheet_fixture.h"
#include "tests/support/environment_value.h"
#include "widgets/tavlo_progress.h"

namespace {

void WriteSparse(const std::string &path, uint64_t size)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary).flush();
    std::filesystem::resize_file(path, size); // sparse: size without the blocks
}

std::set<std::string> Tree(const std::string &root)
{
    std::set<std::string> names;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(root))
        names.insert(std::filesystem::relative(entry.path(), root).string());
    return names;
}

// Puts the user's data folder, where the copies of setup.cfg are kept, into a fresh folder for
// one test.
struct ScopedBackups
{
    CTempFolder folder;
    CEnvironmentValue data{"XDG_DATA_HOME", folder.Path()};
    static std::string Folder()
    {
        return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString() +
               "/setup-backups";
    }
    std::vector<std::string> Files() const { return SetupBackups(Folder()); }
};

// Stands in for the disk service: does a step's damage to the card, then reports a result and
// where the card is mounted afterwards.
struct FakeFormatter : CCardFormatter
{
    int result = FORMAT_OK;
    bool wipes = true;          // the card's files are gone
    bool mounted = true;        // false: the card is left unmounted (its folder shows nothing)
    std::string moveTo;         // the card comes back at this mount point
    bool settingIsFile = false; // the new file system holds a file named "setting"
    std::string refusal = "Nothing was formatted: the test refuses.";
    int calls = 0;
    FORMAT_CHOICE choice;
    int Format(const std::string &mountPoint, const FORMAT_CHOICE &c,
               std::string *newMountPoint) override
    {
        ++calls;
        choice = c;
        if (result == FORMAT_REFUSED) {
            SetTargetCheck([this](const std::string &) { return CARD_TARGET{{}, refusal}; });
            CheckTarget(mountPoint);
            *newMountPoint = mountPoint;
            return result;
        }
        std::vector<std::filesystem::path> entries;
        for (const auto &entry : std::filesystem::directory_iterator(mountPoint))
            entries.push_back(entry.path());
        for (const std::filesystem::path &entry : entries) {
            if (wipes || !mounted)
                std::filesystem::remove_all(entry);
            else if (!moveTo.empty())
                std::filesystem::rename(entry, std::filesystem::path(moveTo) / entry.filename());
        }
        const std::string now = moveTo.empty() ? mountPoint : moveTo;
        if (settingIsFile)
            std::ofstream(now + "setting") << "x";
        *newMountPoint = mounted ? now : std::string();
        return result;
    }
};

} // namespace

TEST(MemoryPage, Figures)
{
    SheetCard card;
    const std::string root = card.Root();
    WriteSparse(root + "RECORD/20100517/a.avi", 1023 * 1024);
    WriteSparse(root + "EVENT/e1.avi", 1 << 20);
    WriteSparse(root + "EVENT/.keep", 1 << 20);           // dot files count
    WriteSparse(root + "EVENT/.trash/old.avi", 5u << 20); // dot folders do not
    WriteSparse(root + "MOTION/d1/d2/m.avi", 3u << 20);
    std::filesystem::create_directory_symlink("..", root + "MOTION/d1/up"); // no loop
    const struct
    {
        bool spaceKnown;
        uint64_t total, free;
        const char *totalText, *freeText;
    } cases[] = {
        {true, 512ull << 20, 3781ull << 20, "Total Memory : 0512MB", "Available Memory : 3781MB"},
        {true, (12345ull << 20) + 99, 0, "Total Memory : 12345MB", "Available Memory : 0000MB"},
        {false, 0, 0, "Total Memory : ", "Available Memory : "},
    };
    for (const auto &tc : cases) {
        SETTINGS_SERVICES services = card.Services();
        services.diskSpace = [&](const std::string &path, uint64_t *total, uint64_t *free) {
            EXPECT_EQ(path, root);
            *total = tc.total;
            *free = tc.free;
            return tc.spaceKnown;
        };
        CPage2 page(root, services);
        page.show();
        EXPECT_EQ(page.Total()->text(), tc.totalText);
        EXPECT_EQ(page.Available()->text(), tc.freeText);
        // The folders are counted after the page has been shown.
        EXPECT_EQ(page.Folder(0)->text(), "RECORD :");
        QCoreApplication::processEvents();
        EXPECT_EQ(page.Folder(0)->text(), "RECORD : 0 MB");
        EXPECT_EQ(page.Folder(1)->text(), "EVENT : 2 MB");
        EXPECT_EQ(page.Folder(2)->text(), "MANUAL : 0 MB");
        EXPECT_EQ(page.Folder(3)->text(), "MOTION : 3 MB");
        EXPECT_EQ(page.Usage()->m_dwAmounts, (std::array<uint32_t, 4>{0, 2, 0, 3}));
        EXPECT_EQ(page.Usage()->m_dwTotal,
                  tc.spaceKnown ? static_cast<uint32_t>(tc.total >> 20) : 0u);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(page.Folder(i)->palette().color(QPalette::WindowText),
                      CTavloProgress::SegmentColours()[i]);
    }
    uint64_t total = 0, free = 0;
    ASSERT_TRUE(DiskSpace(root, &total, &free));
    EXPECT_GT(total, 0u);
    EXPECT_FALSE(DiskSpace(root + "missing/", &total, &free));
}

TEST(MemoryPage, MissingRootKeepsTheTexts)
{
    SheetCard card;
    SETTINGS_SERVICES services = card.Services();
    CPage2 page(card.Root() + "gone/", services);
    page.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(page.Total()->text(), "Total Memory : 4GB");
    EXPECT_EQ(page.Folder(0)->text(), "RECORD :");
}

TEST(MemoryPage, FolderSizeSkipsPathsBeyondTheLimit)
{
    CTempFolder folder;
    WriteSparse(folder / "top.bin", 100);
    // Nest folders until the path is longer than the system allows, with a file on the way.
    std::string name(200, 'd');
    int fd = ::open(folder.Path().c_str(), O_DIRECTORY | O_RDONLY);
    size_t length = folder.Path().size();
    for (int depth = 0; length < PATH_MAX + 400; ++depth) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0700), 0);
        const int next = ::openat(fd, name.c_str(), O_DIRECTORY | O_RDONLY);
        ::close(fd);
        fd = next;
        length += name.size() + 1;
        const int file = ::openat(fd, "f.bin", O_CREAT | O_WRONLY, 0600);
        ::ftruncate(file, 1000);
        ::close(file);
    }
    ::close(fd);
    const uint64_t size = FolderSize(folder.Path());
    // Every file whose path fits counts; the deep ones are skipped.
    EXPECT_GT(size, 100u + 1000u * 10);
    EXPECT_LT(size, 100u + 1000u * (PATH_MAX / 201 + 1));
    EXPECT_EQ(size % 1000, 100u);
    EXPECT_EQ(FolderSize(folder / "missing"), 0u);
}

// Each way a format can end, with the damage done before it ended. Whatever happens, the card
// holds its setup.cfg again or the copy is kept (and its place told).
struct DamageCase
{
    const char *name;
    bool chooses; // the user starts the format (else cancels the dialog)
    int result;
    bool wipes;         // the card's files are gone before the result
    bool mounted;       // the card is mounted afterwards
    bool moves;         // at another mount point
    bool settingIsFile; // the setting folder cannot be made again
    // Outcome.
    bool cardHoldsSetup; // the card (where it is now) holds the original setup.cfg
    bool backupKept;
    bool formattedFlag;  // the catalog is to be reset
    const char *warning; // a text the one warning holds; null: no warning
};

TEST(MemoryPage, FormatNeverLosesTheSettingsFile)
{
    const DamageCase cases[] = {
        {"cancelled in the dialog", false, FORMAT_OK, false, true, false, false, true, false, false,
         nullptr},
        {"cancelled by the service", true, FORMAT_CANCELLED, false, true, false, false, true, false,
         false, nullptr},
        {"service error", true, FORMAT_ERROR, false, true, false, false, true, false, false,
         "not available"},
        {"busy, not unmounted", true, FORMAT_NOFORMAT, false, true, false, false, true, false,
         false, "could not be formatted."},
        {"refused target", true, FORMAT_REFUSED, false, true, false, false, true, false, false,
         "the test refuses"},
        {"wipe then fail", true, FORMAT_NOFORMAT, true, true, false, false, true, false, true,
         "was put back"},
        {"wipe then fail, remounted elsewhere", true, FORMAT_NOFORMAT, true, true, true, false,
         true, false, true, "was put back"},
        {"unmount then fail", true, FORMAT_NOFORMAT, true, false, false, false, false, true, true,
         "is not mounted now"},
        {"cancel after unmount", true, FORMAT_CANCELLED, false, false, false, false, false, true,
         true, "is not mounted now"},
        {"cancel after unmount, remounted elsewhere", true, FORMAT_CANCELLED, false, true, true,
         false, true, false, false, nullptr},
        {"format then no remount", true, FORMAT_NOT_REMOUNTED, true, false, false, false, false,
         true, true, "could not be mounted again"},
        {"formatted", true, FORMAT_OK, true, true, false, false, true, false, true, nullptr},
        {"formatted, remounted elsewhere", true, FORMAT_OK, true, true, true, false, true, false,
         true, nullptr},
        {"formatted, setting folder cannot be made", true, FORMAT_OK, true, true, false, true,
         false, true, true, "could not be put back"},
        {"wipe then fail, setting folder cannot be made", true, FORMAT_NOFORMAT, true, true, false,
         true, false, true, true, "could not be put back"},
    };
    std::printf("%-46s | %-8s | %-20s | %s\n", "case", "mounted", "card setup.cfg same",
                "backup kept");
    for (const DamageCase &tc : cases) {
        SCOPED_TRACE(tc.name);
        SheetCard card;
        CTempFolder elsewhere;
        ScopedBackups backups;
        const std::vector<uint8_t> setup = {1, 2, 3, 0, 5}; // whatever the recorder wrote
        card.WriteSetup(setup);
        WriteSparse(card.folder / "RECORD/a.avi", 4096);
        WriteSparse(TimeSettingPath(card.Root()), 19);
        const auto before = Tree(card.Root());
        auto formatter = std::make_shared<FakeFormatter>();
        formatter->result = tc.result;
        formatter->wipes = tc.wipes;
        formatter->mounted = tc.mounted;
        formatter->moveTo = tc.moves ? elsewhere.Path() : std::string();
        formatter->settingIsFile = tc.settingIsFile;
        SETTINGS_SERVICES services = card.Services();
        services.formatter = formatter;
        int stopped = 0;
        services.stopPlayback = [&] { ++stopped; };
        services.askFormat = [&](QWidget *, FORMAT_CHOICE *choice) {
            choice->fileSystem = CardFileSystem::ExFat;
            choice->strLabel = "CARD";
            return tc.chooses;
        };
        g_bFormattedCompleted = 0;
        CPage2 page(card.Root(), services);
        QStringList moved;
        QObject::connect(&page, &CPage2::CardMoved, [&](const QString &root) { moved << root; });
        page.OnFormat();
        QCoreApplication::processEvents();

        const std::string root = tc.moves ? elsewhere.Path() : card.Root();
        const bool holds = tc.mounted && SheetCard::ReadFile(SetupFilePath(root)) == setup;
        const std::vector<std::string> kept = backups.Files();
        std::printf("%-46s | %-8s | %-20s | %s\n", tc.name, tc.mounted ? "yes" : "no",
                    tc.mounted ? (holds ? "yes" : "no") : "- (not reachable)",
                    kept.empty() ? "no" : "yes");
        EXPECT_TRUE(holds || !kept.empty()) << "neither the card nor a copy holds setup.cfg";
        EXPECT_EQ(holds, tc.cardHoldsSetup);
        ASSERT_EQ(kept.size(), tc.backupKept ? 1u : 0u);
        EXPECT_EQ(stopped, 1);
        EXPECT_EQ(formatter->calls, tc.chooses ? 1 : 0);
        EXPECT_EQ(g_bFormattedCompleted, tc.formattedFlag ? 1 : 0);
        if (tc.warning) {
            ASSERT_EQ(card.warnings.size(), 1);
            EXPECT_TRUE(card.warnings[0].contains(tc.warning)) << card.warnings[0].toStdString();
        } else {
            EXPECT_TRUE(card.warnings.isEmpty()) << card.warnings.join("; ").toStdString();
        }
        if (tc.backupKept) {
            // The copy is whole, named after the card, and the user is told where it is.
            EXPECT_EQ(SheetCard::ReadFile(kept[0]), setup);
            const std::string cardName =
                std::filesystem::path(card.Root()).parent_path().filename();
            EXPECT_TRUE(kept[0].ends_with("-" + cardName + ".cfg")) << kept[0];
            EXPECT_TRUE(card.warnings[0].contains(QString::fromStdString(kept[0])));
        }
        if (tc.mounted) {
            EXPECT_EQ(page.Root(), root);
            EXPECT_EQ(moved, tc.moves ? QStringList{QString::fromStdString(root)} : QStringList{});
        }
        if (tc.chooses && tc.result == FORMAT_OK && !tc.settingIsFile) {
            EXPECT_EQ(formatter->choice.fileSystem, CardFileSystem::ExFat);
            EXPECT_EQ(Tree(root), (std::set<std::string>{"setting", "setting/setup.cfg"}));
            EXPECT_EQ(page.Folder(0)->text(), "RECORD : 0 MB");
        } else if (tc.mounted && !tc.wipes) {
            EXPECT_EQ(Tree(root), before); // nothing on the card was touched
        }
    }
}

TEST(MemoryPage, SheetFollowsTheCardAfterAFormat)
{
    SheetCard card;
    ScopedBackups backups;
    CTempFolder elsewhere;
    SETUP_CFG cfg = ShowableRecord();
    const std::vector<uint8_t> stored = SetupFileBytes(RecordBytes(cfg));
    card.WriteSetup(stored);
    WriteSparse(card.folder / "EVENT/e.avi", 4096);
    auto formatter = std::make_shared<FakeFormatter>();
    formatter->moveTo = elsewhere.Path();
    SETTINGS_SERVICES services = card.Services();
    services.formatter = formatter;
    services.askFormat = [](QWidget *, FORMAT_CHOICE *) { return true; };
    const SETTINGS_OUTCOME outcome =
        ShowPlayerSettings(nullptr, card.Root(), services, [](CPlayerSetting &sheet) {
            sheet.Page2().FormatButton()->click();
            CPage1 &page = sheet.Page1();
            page.OnCommand(CPage1::IDC_TIME_LOCK);
            qobject_cast<QPushButton *>(page.Control(CPage1::IDC_TIME_SETTING))->click();
            QTest::mouseClick(page.Radio(CPage1::IDC_MIC_OFF), Qt::LeftButton);
            sheet.Buttons()->button(QDialogButtonBox::Ok)->click();
            return sheet.result();
        });
    EXPECT_EQ(outcome.end, SettingsEnd::Ok);
    EXPECT_TRUE(outcome.bFormatted);
    EXPECT_TRUE(outcome.bSaved);
    EXPECT_EQ(outcome.strRoot, elsewhere.Path());
    EXPECT_EQ(SheetCard::ReadFile(TimeSettingPath(elsewhere.Path())).size(), 19u);
    cfg.nAudioRecEnable = 0;
    EXPECT_EQ(SheetCard::ReadFile(SetupFilePath(elsewhere.Path())),
              SetupFileBytes(RecordBytes(cfg)));
}

TEST(MemoryPage, FormatRefusedWithoutACopyOfTheSettings)
{
    const std::string cases[] = {"held by another program", "missing", "no data folder"};
    for (const std::string &name : cases) {
        SCOPED_TRACE(name);
        SheetCard card;
        ScopedBackups backups;
        card.WriteSetup({7, 7, 7});
        int fd = -1;
        std::optional<CEnvironmentValue> data;
        if (name == "missing") {
            std::filesystem::remove(SetupFilePath(card.Root()));
        } else if (name == "no data folder") {
            // The user's data folder lies below a file: no copy can be made there.
            std::ofstream(backups.folder / "file") << "x";
            data.emplace("XDG_DATA_HOME", backups.folder / "file");
        } else {
            fd = ::open(SetupFilePath(card.Root()).c_str(), O_RDWR);
            ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
        }
        auto formatter = std::make_shared<FakeFormatter>();
        SETTINGS_SERVICES services = card.Services();
        services.formatter = formatter;
        bool asked = false;
        services.askFormat = [&](QWidget *, FORMAT_CHOICE *) { return asked = true; };
        g_bFormattedCompleted = 0;
        CPage2 page(card.Root(), services);
        page.OnFormat();
        if (fd >= 0)
            ::close(fd);
        EXPECT_FALSE(asked);
        EXPECT_EQ(formatter->calls, 0);
        EXPECT_EQ(g_bFormattedCompleted, 0);
        ASSERT_EQ(card.warnings.size(), 1);
        EXPECT_TRUE(card.warnings[0].contains("not formatted"));
        EXPECT_TRUE(std::filesystem::exists(card.folder / "setting"));
        EXPECT_TRUE(backups.Files().empty());
    }
}

namespace {

bool RunTool(const QString &program, const QStringList &arguments, QString *output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(5000) || !process.waitForFinished(60000))
        return false;
    if (output)
        *output = QString::fromLocal8Bit(process.readAll()).trimmed();
    return process.exitCode() == 0;
}

// A FAT32 or exFAT image on a loop device, mounted through FUSE; torn down at the end.
struct LoopCard
{
    CTempFolder folder;
    QString device;
    QString mount = QString::fromStdString(folder / "card");
    std::string skip;

    explicit LoopCard(CardFileSystem fs)
    {
        if (::geteuid() != 0 || !std::filesystem::exists("/dev/loop-control")) {
            skip = "needs root and loop devices";
            return;
        }
        const QString image = QString::fromStdString(folder / "card.img");
        std::filesystem::create_directory(mount.toStdString());
        std::ofstream(image.toStdString()).flush();
        std::filesystem::resize_file(image.toStdString(), 40u << 20);
        const bool fat = fs == CardFileSystem::Fat32;
        if (!(fat ? RunTool("mkfs.vfat", {"-F", "32", image}) : RunTool("mkfs.exfat", {image}))) {
            skip = "mkfs.vfat / mkfs.exfat not available";
            return;
        }
        if (!RunTool("losetup", {"-f", "--show", image}, &device)) {
            skip = "no free loop device";
            return;
        }
        if (!(fat ? RunTool("fusefat", {"-o", "rw+", device, mount})
                  : RunTool("mount.exfat-fuse", {device, mount})))
            skip = "FUSE mount (fusefat, mount.exfat-fuse) not possible here";
    }
    ~LoopCard()
    {
        RunTool("umount", {mount});
        if (!device.isEmpty())
            RunTool("losetup", {"-d", device});
    }
    std::string Root() const { return mount.toStdString() + "/"; }
};

} // namespace

TEST(MemoryPage, FormatsARealCard)
{
    const struct
    {
        CardFileSystem from, to;
    } cases[] = {{CardFileSystem::Fat32, CardFileSystem::Fat32},
                 {CardFileSystem::ExFat, CardFileSystem::Fat32},
                 {CardFileSystem::Fat32, CardFileSystem::ExFat}};
    for (const auto &tc : cases) {
        LoopCard loop(tc.from);
        if (!loop.skip.empty())
            GTEST_SKIP() << "no card device can be made: " << loop.skip;
        SheetCard card;
        ScopedBackups backups;
        const std::string root = loop.Root();
        const std::vector<uint8_t> setup = SetupFileBytes(RecordBytes(ShowableRecord()));
        std::filesystem::create_directories(root + "setting");
        std::filesystem::create_directories(root + "RECORD/20100517");
        {
            std::ofstream(SetupFilePath(root), std::ios::binary)
                .write(reinterpret_cast<const char *>(setup.data()), setup.size());
        }
        {
            std::ofstream(root + "RECORD/20100517/a.avi") << "clip";
        }
        {
            std::ofstream(TimeSettingPath(root)) << "2010 05 17 13 45 09";
        }

        SETTINGS_SERVICES services = card.Services();
        services.formatter = std::make_shared<CMkfsFormatter>();
        services.askFormat = [&](QWidget *, FORMAT_CHOICE *choice) {
            choice->fileSystem = tc.to;
            choice->strLabel = "roadlog";
            return true;
        };
        g_bFormattedCompleted = 0;
        CPage2 page(root, services);
        page.OnFormat();
        EXPECT_TRUE(card.warnings.isEmpty()) << card.warnings.join("; ").toStdString();
        EXPECT_EQ(g_bFormattedCompleted, 1);
        std::set<std::string> tree = Tree(root);
        // fusefat lists the FAT volume label as if it were a file; the kernel driver does not.
        if (tc.to == CardFileSystem::Fat32)
            tree.erase("ROADLOG");
        EXPECT_EQ(tree, (std::set<std::string>{"setting", "setting/setup.cfg"}));
        EXPECT_EQ(SheetCard::ReadFile(SetupFilePath(root)), setup);
        EXPECT_TRUE(backups.Files().empty());
        QString type;
        RunTool("blkid", {"-o", "value", "-s", "TYPE", loop.device}, &type);
        EXPECT_EQ(type, tc.to == CardFileSystem::Fat32 ? "vfat" : "exfat");
    }
}

TEST(CardFormat, Labels)
{
    const struct
    {
        const char *in, *out;
    } cases[] = {{"roadlog", "ROADLOG"},
                 {"a very long label", "A VERY LONG"},
                 {"x:y*z?", "XYZ"},
                 {"caf\xc3\xa9", "CAF"},
                 {"", ""},
                 {"ab  ", "AB"}};
    for (const auto &tc : cases)
        EXPECT_EQ(CardLabel(tc.in), tc.out) << tc.in;
}

TEST(CardFormat, FormatDialogChoice)
{
    CFormatDlg dlg;
    EXPECT_EQ(dlg.Choice().fileSystem, CardFileSystem::Fat32);
    EXPECT_TRUE(dlg.Choice().bQuick);
    dlg.FileSystemControl()->setCurrentIndex(1);
    dlg.LabelControl()->setText("dash cam");
    dlg.QuickControl()->setChecked(false);
    const FORMAT_CHOICE choice = dlg.Choice();
    EXPECT_EQ(choice.fileSystem, CardFileSystem::ExFat);
    EXPECT_EQ(choice.strLabel, "DASH CAM");
    EXPECT_FALSE(choice.bQuick);
}

namespace {

// The D-Bus signature the arguments will be sent with.
std::string Signature(const QDBusMessage &message)
{
    std::string signature;
    for (const QVariant &argument : message.arguments()) {
        if (argument.metaType() == QMetaType::fromType<QVariantMap>())
            signature += "a{sv}";
        else if (argument.metaType() == QMetaType::fromType<QString>())
            signature += "s";
        else
            signature += "?";
    }
    return signature;
}

} // namespace

TEST(UDisksFormat, Messages)
{
    const QString object = "/org/freedesktop/UDisks2/block_devices/sdb1";
    const QDBusMessage resolve = UDisksResolveDeviceMessage("/dev/sdb1");
    EXPECT_EQ(resolve.service(), "org.freedesktop.UDisks2");
    EXPECT_EQ(resolve.path(), "/org/freedesktop/UDisks2/Manager");
    EXPECT_EQ(resolve.interface(), "org.freedesktop.UDisks2.Manager");
    EXPECT_EQ(resolve.member(), "ResolveDevice");
    EXPECT_EQ(Signature(resolve), "a{sv}a{sv}");
    EXPECT_EQ(resolve.arguments()[0].toMap().value("path").toString(), "/dev/sdb1");

    const QDBusMessage unmount = UDisksUnmountMessage(object);
    EXPECT_EQ(unmount.path(), object);
    EXPECT_EQ(unmount.interface(), "org.freedesktop.UDisks2.Filesystem");
    EXPECT_EQ(unmount.member(), "Unmount");
    EXPECT_EQ(Signature(unmount), "a{sv}");
    const QDBusMessage mount = UDisksMountMessage(object);
    EXPECT_EQ(mount.interface(), "org.freedesktop.UDisks2.Filesystem");
    EXPECT_EQ(mount.member(), "Mount");
    const QDBusMessage points = UDisksMountPointsMessage(object);
    EXPECT_EQ(points.path(), object);
    EXPECT_EQ(points.interface(), "org.freedesktop.DBus.Properties");
    EXPECT_EQ(points.member(), "Get");
    EXPECT_EQ(Signature(points), "ss");
    EXPECT_EQ(points.arguments()[0].toString(), "org.freedesktop.UDisks2.Filesystem");
    EXPECT_EQ(points.arguments()[1].toString(), "MountPoints");

    const struct
    {
        FORMAT_CHOICE choice;
        const char *type;
        const char *label; // null: no label option
        bool erase;
    } cases[] = {
        {{CardFileSystem::Fat32, "card", true}, "vfat", "CARD", false},
        {{CardFileSystem::ExFat, "", false}, "exfat", nullptr, true},
    };
    for (const auto &tc : cases) {
        const QDBusMessage format = UDisksFormatMessage(object, tc.choice);
        EXPECT_EQ(format.interface(), "org.freedesktop.UDisks2.Block");
        EXPECT_EQ(format.member(), "Format");
        EXPECT_EQ(Signature(format), "sa{sv}");
        EXPECT_EQ(format.arguments()[0].toString(), tc.type);
        const QVariantMap options = format.arguments()[1].toMap();
        EXPECT_EQ(options.contains("label"), tc.label != nullptr);
        EXPECT_EQ(options.value("label").toString(), tc.label ? tc.label : "");
        EXPECT_EQ(options.value("erase").toString(), tc.erase ? "zero" : "");
    }
}

TEST(UDisksFormat, ErrorResults)
{
    const struct
    {
        UDisksStep step;
        const char *error;
        int result;
    } cases[] = {
        {UDisksStep::Resolve, "org.freedesktop.DBus.Error.ServiceUnknown", FORMAT_ERROR},
        {UDisksStep::Resolve, "org.freedesktop.UDisks2.Error.Failed", FORMAT_ERROR},
        {UDisksStep::Unmount, "org.freedesktop.UDisks2.Error.DeviceBusy", FORMAT_NOFORMAT},
        {UDisksStep::Unmount, "org.freedesktop.UDisks2.Error.NotMounted", FORMAT_OK},
        {UDisksStep::Unmount, "org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain", FORMAT_ERROR},
        {UDisksStep::Format, "org.freedesktop.UDisks2.Error.NotAuthorizedDismissed",
         FORMAT_CANCELLED},
        {UDisksStep::Format, "org.freedesktop.UDisks2.Error.Cancelled", FORMAT_CANCELLED},
        {UDisksStep::Format, "org.freedesktop.UDisks2.Error.Failed", FORMAT_NOFORMAT},
        {UDisksStep::Format, "org.freedesktop.DBus.Error.NoReply", FORMAT_ERROR},
        {UDisksStep::Mount, "org.freedesktop.UDisks2.Error.Failed", FORMAT_NOT_REMOUNTED},
        {UDisksStep::Mount, "org.freedesktop.DBus.Error.NoReply", FORMAT_NOT_REMOUNTED},
        {UDisksStep::Mount, "org.freedesktop.UDisks2.Error.AlreadyMounted", FORMAT_OK},
    };
    for (const auto &tc : cases)
        EXPECT_EQ(UDisksErrorResult(tc.step, tc.error), tc.result) << tc.error;
}

TEST(UDisksFormat, WithoutTheServiceNothingIsTouched)
{
    SheetCard card;
    card.WriteSetup({1, 2, 3});
    const auto before = Tree(card.Root());
    // A connection that never connected, and (here) a system bus without the disk service.
    CUDisksFormatter offline(QDBusConnection("roadlog-no-bus"));
    std::string moved;
    EXPECT_EQ(offline.Format(card.Root(), {}, &moved), FORMAT_ERROR);
    QDBusConnection system = QDBusConnection::systemBus();
    if (!UDisksAvailable(system)) {
        CUDisksFormatter formatter(system);
        // No bus: an error; a bus without the service: the folder is no card anyway.
        const int result = formatter.Format(card.Root(), {}, &moved);
        EXPECT_TRUE(result == FORMAT_ERROR || result == FORMAT_REFUSED) << result;
    }
    EXPECT_EQ(moved, card.Root()); // still where it was
    EXPECT_EQ(Tree(card.Root()), before);
}

// The disk service's answers, scripted: whatever happens after a successful Unmount, the card is
// mounted again, and a Mount answered "already mounted" reads where from MountPoints.
TEST(UDisksFormat, MountsTheCardAgainAfterAnUnmount)
{
    constexpr char kFailed[] = "org.freedesktop.UDisks2.Error.Failed";
    const struct
    {
        const char *name;
        bool refused;             // the target check refuses the card
        const char *unmountError; // null: the step succeeds
        const char *formatError;
        const char *mountError;
        int result;
        const char *mountedAt; // reported afterwards; "" for not mounted
        const char *calls;     // the methods called, in order
    } cases[] = {
        {"formatted", false, nullptr, nullptr, nullptr, FORMAT_OK, "/media/u/CARD/",
         "ResolveDevice Unmount Format Mount"},
        {"an automounter mounted it first", false, nullptr, nullptr,
         "org.freedesktop.UDisks2.Error.AlreadyMounted", FORMAT_OK, "/media/u/CARD1/",
         "ResolveDevice Unmount Format Mount Get"},
        {"format failed", false, nullptr, kFailed, nullptr, FORMAT_NOFORMAT, "/media/u/CARD/",
         "ResolveDevice Unmount Format Mount"},
        {"password prompt dismissed", false, nullptr,
         "org.freedesktop.UDisks2.Error.NotAuthorizedDismissed", nullptr, FORMAT_CANCELLED,
         "/media/u/CARD/", "ResolveDevice Unmount Format Mount"},
        {"format and mount failed", false, nullptr, kFailed, kFailed, FORMAT_NOFORMAT, "",
         "ResolveDevice Unmount Format Mount"},
        {"formatted, mount failed", false, nullptr, nullptr, kFailed, FORMAT_NOT_REMOUNTED, "",
         "ResolveDevice Unmount Format Mount"},
        {"unmount busy", false, "org.freedesktop.UDisks2.Error.DeviceBusy", nullptr, nullptr,
         FORMAT_NOFORMAT, "/old/card/", "ResolveDevice Unmount"},
        {"not a card", true, nullptr, nullptr, nullptr, FORMAT_REFUSED, "/old/card/", ""},
    };
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.name);
        QStringList calls;
        CUDisksFormatter formatter([&](const QDBusMessage &message, int) {
            calls << message.member();
            auto answer = [&](const char *error, const QVariant &value) {
                return error ? message.createErrorReply(error, "scripted")
                             : message.createReply(value);
            };
            if (message.member() == "ResolveDevice") {
                EXPECT_EQ(message.arguments()[0].toMap().value("path").toString(), "/dev/sdb1");
                return answer(nullptr, QVariant::fromValue(QList<QDBusObjectPath>{QDBusObjectPath(
                                           "/org/freedesktop/UDisks2/block_devices/sdb1")}));
            }
            if (message.member() == "Unmount")
                return answer(tc.unmountError, {});
            if (message.member() == "Format")
                return answer(tc.formatError, {});
            if (message.member() == "Mount")
                return answer(tc.mountError, QString("/media/u/CARD"));
            EXPECT_EQ(message.arguments().value(1).toString(), "MountPoints");
            return answer(nullptr, QVariant::fromValue(QDBusVariant(QVariant::fromValue(
                                       QList<QByteArray>{QByteArray("/media/u/CARD1\0", 15)}))));
        });
        formatter.SetTargetCheck([&](const std::string &place) {
            EXPECT_EQ(place, "/old/card/");
            return tc.refused ? CARD_TARGET{{}, "Nothing was formatted: not a card."}
                              : CARD_TARGET{"/dev/sdb1", {}};
        });
        std::string mountedAt = "unset";
        EXPECT_EQ(formatter.Format("/old/card/", {}, &mountedAt), tc.result);
        EXPECT_EQ(mountedAt, tc.mountedAt);
        EXPECT_EQ(calls.join(' ').toStdString(), tc.calls);
        EXPECT_EQ(formatter.Refusal(), tc.refused ? "Nothing was formatted: not a card." : "");
    }
}

// The mkfs back-end refuses a folder that is no card before it unmounts anything.
TEST(CardFormat, MkfsRefusesAFolderThatIsNoCard)
{
    SheetCard card;
    card.WriteSetup({1, 2, 3});
    const auto before = Tree(card.Root());
    CMkfsFormatter formatter;
    std::string mountedAt;
    EXPECT_EQ(formatter.Format(card.Root(), {}, &mountedAt), FORMAT_REFUSED);
    EXPECT_EQ(mountedAt, card.Root());
    EXPECT_NE(
        formatter.Refusal().find("is a folder on a disk, not the top folder of a mounted card"),
        std::string::npos)
        << formatter.Refusal();
    EXPECT_EQ(Tree(card.Root()), before);
}

// A FUSE driver still writing after its unmount returned put its last blocks into the new file
// system (exFAT's boot checksum broken, the card not mountable again): the format waits until
// no process holds the device.
TEST(CardFormat, SeesWhetherAnotherProcessHoldsAFile)
{
    SheetCard card;
    const std::string path = card.Root() + "device";
    std::ofstream(path) << "card";
    EXPECT_FALSE(FileHeldByAnotherProcess(path)) << "nobody holds it";
    {
        const int own = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(own, 0);
        EXPECT_FALSE(FileHeldByAnotherProcess(path)) << "only this process holds it";
        ::close(own);
    }
    QProcess holder; // ended by its own object, by pid
    holder.setStandardInputFile(QString::fromStdString(path));
    holder.start("sleep", {"30"});
    ASSERT_TRUE(holder.waitForStarted(5000));
    EXPECT_TRUE(FileHeldByAnotherProcess(path)) << "a child holds it on its standard input";
    const std::string other = card.Root() + "other";
    std::ofstream(other) << "card";
    EXPECT_FALSE(FileHeldByAnotherProcess(other)) << "another file of the same folder";
    holder.kill();
    ASSERT_TRUE(holder.waitForFinished(5000));
    EXPECT_FALSE(FileHeldByAnotherProcess(path)) << "the child has ended";
    EXPECT_FALSE(FileHeldByAnotherProcess(card.Root() + "missing"));
}

TEST(MemoryPage, CopyOfferComesBeforeTheFormatAndCanStopIt)
{
    for (const bool goOn : {false, true}) {
        SCOPED_TRACE(goOn ? "copied, format goes on" : "offer declined");
        SheetCard card;
        ScopedBackups backups;
        card.WriteSetup({1, 2, 3});
        const auto before = Tree(card.Root());
        auto formatter = std::make_shared<FakeFormatter>();
        SETTINGS_SERVICES services = card.Services();
        services.formatter = formatter;
        std::vector<std::string> steps;
        services.offerCopyFirst = [&](QWidget *, const std::string &root) {
            steps.push_back("offer " + root);
            return goOn;
        };
        services.stopPlayback = [&] { steps.push_back("stop"); };
        services.askFormat = [&](QWidget *, FORMAT_CHOICE *) {
            steps.push_back("ask");
            return false; // the format itself is cancelled: only the order matters here
        };
        CPage2 page(card.Root(), services);
        page.OnFormat();
        const std::vector<std::string> expected =
            goOn ? std::vector<std::string>{"offer " + card.Root(), "stop", "ask"}
                 : std::vector<std::string>{"offer " + card.Root()};
        EXPECT_EQ(steps, expected);
        EXPECT_EQ(formatter->calls, 0);
        EXPECT_EQ(Tree(card.Root()), before);
        EXPECT_TRUE(backups.Files().empty());
    }
}
