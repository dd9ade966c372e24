#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDBusMessage>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTest>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QVariantMap>

#include <gtest/gtest.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <unistd.h>

#include <set>

#include "app/controls/tavlo_progress.h"
#include "settings/card_format.h"
#include "settings/page1.h"
#include "settings/page2.h"
#include "settings/player_setting.h"
#include "settings/udisks_format.h"
#include "sheet_fixture.h"
#include "tests/support/environment_value.h"

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

// Replaces the system's temporary folder for one test, so left-over copies show.
struct ScopedTemp
{
    CTempFolder folder;
    CEnvironmentValue tmp{"TMPDIR", folder.Path()};
    bool Empty() const { return std::filesystem::is_empty(folder.Path()); }
};

// Stands in for the disk service: wipes the card (or moves it) and reports a result.
struct FakeFormatter : CCardFormatter
{
    int result = FORMAT_OK;
    std::string moveTo;
    int calls = 0;
    FORMAT_CHOICE choice;
    int Format(const std::string &mountPoint, const FORMAT_CHOICE &c, std::string *newMountPoint) override
    {
        ++calls;
        choice = c;
        if (result == FORMAT_OK) {
            for (const auto &entry : std::filesystem::directory_iterator(mountPoint))
                std::filesystem::remove_all(entry.path());
            *newMountPoint = moveTo.empty() ? mountPoint : moveTo;
        }
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
    WriteSparse(root + "EVENT/.keep", 1 << 20);             // dot files count
    WriteSparse(root + "EVENT/.trash/old.avi", 5u << 20);   // dot folders do not
    WriteSparse(root + "MOTION/d1/d2/m.avi", 3u << 20);
    std::filesystem::create_directory_symlink("..", root + "MOTION/d1/up"); // no loop
    const struct {
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
        EXPECT_EQ(page.Usage()->m_dwTotal, tc.spaceKnown ? static_cast<uint32_t>(tc.total >> 20) : 0u);
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

struct FormatCase
{
    const char *name;
    bool chooses;     // the user starts the format (else cancels the dialog)
    int result;
    bool moves;       // the card comes back at another mount point
    bool formatted;
    int warnings;
};

TEST(MemoryPage, FormatKeepsTheRecorderSettings)
{
    const FormatCase cases[] = {
        {"cancelled", false, FORMAT_OK, false, false, 0},
        {"could not format", true, FORMAT_NOFORMAT, false, false, 1},
        {"service error", true, FORMAT_ERROR, false, false, 1},
        {"cancelled by the service", true, FORMAT_CANCELLED, false, false, 0},
        {"formatted", true, FORMAT_OK, false, true, 0},
        {"formatted and moved", true, FORMAT_OK, true, true, 0},
    };
    for (const FormatCase &tc : cases) {
        SCOPED_TRACE(tc.name);
        SheetCard card;
        CTempFolder elsewhere;
        ScopedTemp temp; // after the folders above, which it would otherwise hold
        const std::vector<uint8_t> setup = {1, 2, 3, 0, 5}; // whatever the recorder wrote
        card.WriteSetup(setup);
        WriteSparse(card.folder / "RECORD/a.avi", 4096);
        WriteSparse(TimeSettingPath(card.Root()), 19);
        const auto before = Tree(card.Root());
        auto formatter = std::make_shared<FakeFormatter>();
        formatter->result = tc.result;
        formatter->moveTo = tc.moves ? elsewhere.Path() : std::string();
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
        page.OnFormat();
        QCoreApplication::processEvents();
        EXPECT_EQ(stopped, 1);
        EXPECT_EQ(formatter->calls, tc.chooses ? 1 : 0);
        EXPECT_EQ(g_bFormattedCompleted, tc.formatted ? 1 : 0);
        EXPECT_EQ(card.warnings.size(), tc.warnings);
        EXPECT_TRUE(temp.Empty());
        const std::string root = tc.moves ? elsewhere.Path() : card.Root();
        EXPECT_EQ(page.Root(), root);
        if (tc.formatted) {
            EXPECT_EQ(formatter->choice.fileSystem, CardFileSystem::ExFat);
            EXPECT_EQ(Tree(root), (std::set<std::string>{"setting", "setting/setup.cfg"}));
            EXPECT_EQ(SheetCard::ReadFile(SetupFilePath(root)), setup);
            EXPECT_EQ(page.Folder(0)->text(), "RECORD : 0 MB");
        } else {
            EXPECT_EQ(Tree(card.Root()), before);
            EXPECT_EQ(SheetCard::ReadFile(SetupFilePath(card.Root())), setup);
        }
    }
}

TEST(MemoryPage, SheetFollowsTheCardAfterAFormat)
{
    SheetCard card;
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
    EXPECT_EQ(SheetCard::ReadFile(SetupFilePath(elsewhere.Path())), SetupFileBytes(RecordBytes(cfg)));
}

TEST(MemoryPage, FormatRefusedWithoutACopyOfTheSettings)
{
    const char *const cases[] = {"held by another program", "missing"};
    for (const char *name : cases) {
        SCOPED_TRACE(name);
        SheetCard card;
        ScopedTemp temp;
        card.WriteSetup({7, 7, 7});
        int fd = -1;
        if (std::string(name) == "missing")
            std::filesystem::remove(SetupFilePath(card.Root()));
        else {
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
        EXPECT_TRUE(temp.Empty());
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
    const struct {
        CardFileSystem from, to;
    } cases[] = {{CardFileSystem::Fat32, CardFileSystem::Fat32},
                 {CardFileSystem::ExFat, CardFileSystem::Fat32},
                 {CardFileSystem::Fat32, CardFileSystem::ExFat}};
    for (const auto &tc : cases) {
        LoopCard loop(tc.from);
        if (!loop.skip.empty())
            GTEST_SKIP() << "no card device can be made: " << loop.skip;
        SheetCard card;
        ScopedTemp temp;
        const std::string root = loop.Root();
        const std::vector<uint8_t> setup = SetupFileBytes(RecordBytes(ShowableRecord()));
        std::filesystem::create_directories(root + "setting");
        std::filesystem::create_directories(root + "RECORD/20100517");
        { std::ofstream(SetupFilePath(root), std::ios::binary).write(reinterpret_cast<const char *>(setup.data()), setup.size()); }
        { std::ofstream(root + "RECORD/20100517/a.avi") << "clip"; }
        { std::ofstream(TimeSettingPath(root)) << "2010 05 17 13 45 09"; }

        SETTINGS_SERVICES services = card.Services();
        services.formatter = std::make_shared<CMkfsFormatter>(loop.device.toStdString());
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
        EXPECT_TRUE(temp.Empty());
        QString type;
        RunTool("blkid", {"-o", "value", "-s", "TYPE", loop.device}, &type);
        EXPECT_EQ(type, tc.to == CardFileSystem::Fat32 ? "vfat" : "exfat");
    }
}

TEST(CardFormat, FindsTheBlockDeviceOfAMount)
{
    const std::string info =
        "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
        "44 26 0:39 / /media/card rw,nosuid - fuse.fusefat fusefat rw,user_id=0\n"
        "45 26 7:0 / /media/my\\040card rw shared:5 - fuseblk /dev/loop0 rw\n"
        "46 26 7:1 / /mnt/x rw - vfat /dev/loop1 rw\n"
        "47 26 7:2 / /mnt/x rw - exfat /dev/loop2 rw\n";
    const struct {
        const char *mount, *device;
    } cases[] = {
        {"/media/card/", ""},              // FUSE names no device
        {"/media/my card/", "/dev/loop0"}, // escaped space, optional fields
        {"/mnt/x", "/dev/loop2"},          // the later mount hides the earlier
        {"/", "/dev/sda1"},
        {"/nowhere/", ""},
    };
    for (const auto &tc : cases)
        EXPECT_EQ(BlockDeviceOfMount(tc.mount, info), tc.device) << tc.mount;
}

TEST(CardFormat, Labels)
{
    const struct {
        const char *in, *out;
    } cases[] = {{"roadlog", "ROADLOG"}, {"a very long label", "A VERY LONG"},
                 {"x:y*z?", "XYZ"}, {"caf\xc3\xa9", "CAF"}, {"", ""}, {"ab  ", "AB"}};
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

    const struct {
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
    const struct {
        UDisksStep step;
        const char *error;
        int result;
    } cases[] = {
        {UDisksStep::Resolve, "org.freedesktop.DBus.Error.ServiceUnknown", FORMAT_ERROR},
        {UDisksStep::Resolve, "org.freedesktop.UDisks2.Error.Failed", FORMAT_ERROR},
        {UDisksStep::Unmount, "org.freedesktop.UDisks2.Error.DeviceBusy", FORMAT_NOFORMAT},
        {UDisksStep::Unmount, "org.freedesktop.UDisks2.Error.NotMounted", FORMAT_OK},
        {UDisksStep::Unmount, "org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain", FORMAT_ERROR},
        {UDisksStep::Format, "org.freedesktop.UDisks2.Error.NotAuthorizedDismissed", FORMAT_CANCELLED},
        {UDisksStep::Format, "org.freedesktop.UDisks2.Error.Cancelled", FORMAT_CANCELLED},
        {UDisksStep::Format, "org.freedesktop.UDisks2.Error.Failed", FORMAT_NOFORMAT},
        {UDisksStep::Format, "org.freedesktop.DBus.Error.NoReply", FORMAT_ERROR},
        {UDisksStep::Mount, "org.freedesktop.UDisks2.Error.Failed", FORMAT_NOT_REMOUNTED},
        {UDisksStep::Mount, "org.freedesktop.DBus.Error.NoReply", FORMAT_NOT_REMOUNTED},
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
        EXPECT_EQ(formatter.Format(card.Root(), {}, &moved), FORMAT_ERROR);
    }
    EXPECT_TRUE(moved.empty());
    EXPECT_EQ(Tree(card.Root()), before);
}

TEST(MemoryPage, CopyOfferComesBeforeTheFormatAndCanStopIt)
{
    for (const bool goOn : {false, true}) {
        SCOPED_TRACE(goOn ? "copied, format goes on" : "offer declined");
        SheetCard card;
        ScopedTemp temp;
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
        EXPECT_TRUE(temp.Empty());
    }
}
