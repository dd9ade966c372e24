#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/mount.h>

#include "app/devices/mount_watch.h"
#include "platform/file_exists.h"
#include "tests/support/temp_folder.h"

namespace {

using Clock = std::chrono::steady_clock;

// A small tmpfs mounted by the test, unmounted at the end if the test did not.
class CTestMount
{
public:
    explicit CTestMount(const std::string &point) : m_strPoint(point)
    {
        MakeFolders(point);
        m_nError =
            ::mount("roadlog-test", point.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") == 0
                ? 0
                : errno;
        m_nMounted = m_nError == 0 ? 1 : 0;
    }
    ~CTestMount()
    {
        while (m_nMounted > 0 && Unmount()) {
        }
    }
    CTestMount(const CTestMount &) = delete;
    CTestMount &operator=(const CTestMount &) = delete;

    bool Mounted() const { return m_nMounted > 0; }
    int Error() const { return m_nError; }
    bool MountAgain()
    {
        const bool bOk = ::mount("roadlog-test", m_strPoint.c_str(), "tmpfs", 0, "size=64k") == 0;
        m_nMounted += bOk ? 1 : 0;
        return bOk;
    }
    bool Unmount()
    {
        const bool bOk = ::umount2(m_strPoint.c_str(), 0) == 0;
        m_nMounted -= bOk ? 1 : 0;
        return bOk;
    }

private:
    std::string m_strPoint;
    int m_nError = 0;
    int m_nMounted = 0;
};

TEST(MountPath, PathIsOnMountOnlyAtFolderBoundaries)
{
    struct Case
    {
        const char *path, *mountPoint;
        bool on;
    } const cases[] = {
        {"/media/card/", "/media/card", true},
        {"/media/card", "/media/card", true},
        {"/media/card/DCIM/", "/media/card", true},
        {"/media/card2/", "/media/card", false},
        {"/media/car/", "/media/card", false},
        {"/media/", "/media/card", false},
        {"/media/card/", "/media/card/", true},
        {"/media/card/", "/media", true},
        {"/media/card/", "/", true},
        {"/media/card/", "", false},
        {"", "/media/card", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.path) + " on " + c.mountPoint);
        EXPECT_EQ(IsPathOnMount(c.path, c.mountPoint), c.on);
    }
}

// The machine is shared: other programs may mount and unmount meanwhile, so only reports under
// the test's own folder are looked at.
class MountWatch : public ::testing::Test
{
protected:
    MountWatch()
        : m_strRoot(std::filesystem::canonical(m_folder.Path()).string() + "/"),
          m_watch([this](const std::string &point) { OnRemoved(point); })
    {
    }

    // Runs the event loop for up to ms, or until a report under the folder has come in and a
    // further 100 ms (in which a second report would show) have passed.
    std::vector<std::string> Collect(int ms)
    {
        m_reports.clear();
        QEventLoop loop;
        m_pLoop = &loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        if (m_reports.empty())
            loop.exec();
        m_pLoop = nullptr;
        if (!m_reports.empty()) {
            QEventLoop settle;
            QTimer::singleShot(100, &settle, &QEventLoop::quit);
            settle.exec();
        }
        return m_reports;
    }

    void OnRemoved(const std::string &point)
    {
        if (point.rfind(m_strRoot, 0) != 0)
            return;
        m_reports.push_back(point);
        if (m_bStopOnReport)
            m_watch.Stop();
        if (m_pLoop)
            m_pLoop->quit();
    }

    CTempFolder m_folder;
    std::string m_strRoot; // the folder's real path, as the mount table has it
    CMountWatch m_watch;
    std::vector<std::string> m_reports;
    QEventLoop *m_pLoop = nullptr;
    bool m_bStopOnReport = false;
};

TEST_F(MountWatch, ReportsEachRemovedMountPointOnceAndNoArrival)
{
    CTestMount plain(m_strRoot + "plain");
    if (!plain.Mounted())
        GTEST_SKIP() << "mounting a tmpfs is refused here: " << std::strerror(plain.Error());
    CTestMount spaced(m_strRoot + "card one");
    ASSERT_TRUE(spaced.Mounted());
    ASSERT_TRUE(m_watch.Start());
    ASSERT_TRUE(m_watch.IsWatching());

    CTestMount late(m_strRoot + "late");
    ASSERT_TRUE(late.Mounted());
    EXPECT_EQ(Collect(300), std::vector<std::string>{}) << "an arrival was reported";

    ASSERT_TRUE(plain.Unmount());
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(Collect(1500), std::vector<std::string>{m_strRoot + "plain"});
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
    // The folder stays behind: only the mount point tells the volume is gone.
    EXPECT_TRUE(FolderExists(m_strRoot + "plain/"));
    EXPECT_TRUE(IsPathOnMount(m_strRoot + "plain/", m_strRoot + "plain"));

    ASSERT_TRUE(spaced.Unmount());
    EXPECT_EQ(Collect(1500), std::vector<std::string>{m_strRoot + "card one"});

    // A point mounted after the start is known too.
    ASSERT_TRUE(late.Unmount());
    EXPECT_EQ(Collect(1500), std::vector<std::string>{m_strRoot + "late"});
}

TEST_F(MountWatch, StackedMountReportsEachMountGoneAndHandlerMayStop)
{
    CTestMount stacked(m_strRoot + "stacked");
    if (!stacked.Mounted())
        GTEST_SKIP() << "mounting a tmpfs is refused here: " << std::strerror(stacked.Error());
    ASSERT_TRUE(stacked.MountAgain());
    ASSERT_TRUE(stacked.MountAgain());
    ASSERT_TRUE(m_watch.Start());

    // The point is still mounted, but one volume on it went away.
    ASSERT_TRUE(stacked.Unmount());
    EXPECT_EQ(Collect(1500), std::vector<std::string>{m_strRoot + "stacked"});

    m_bStopOnReport = true;
    ASSERT_TRUE(stacked.Unmount());
    EXPECT_EQ(Collect(1500), std::vector<std::string>{m_strRoot + "stacked"});
    EXPECT_FALSE(m_watch.IsWatching());
    ASSERT_TRUE(stacked.Unmount());
    EXPECT_EQ(Collect(300), std::vector<std::string>{});
}

} // namespace
