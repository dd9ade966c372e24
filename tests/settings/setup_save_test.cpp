#include <algorithm>
#include <functional>
#include <iostream>
#include <vector>

#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include "platform/file_exists.h"
#include "settings/setup_file.h"
#include "tests/settings/setup_fixture.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr int kChildCannotSetUp = 77;

// Runs body in a child process (for limits and mounts that must not outlive the test) and
// returns its exit code.
int RunInChild(const std::function<int()> &body)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> FolderNames(const std::string &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

} // namespace

TEST(SaveSetupFile, RoundTripKeepsEveryByteAndWritesExactly116)
{
    struct Case
    {
        const char *what;
        size_t oldSize; // 0: no old file
    };
    for (const Case &c : {Case{"no old file", 0}, Case{"old file of 116", 116},
                          Case{"longer old file", 400}, Case{"shorter old file", 20}}) {
        CTempFolder card;
        MakeFolders(SettingFolderPath(card.Path()));
        const std::string path = SetupFilePath(card.Path());
        const std::vector<uint8_t> record = PatternRecord(11);
        if (c.oldSize != 0) {
            std::vector<uint8_t> old = SetupFileBytes(record);
            old.resize(c.oldSize, 0xC3);
            WriteBytes(path, old);
            ASSERT_TRUE(LoadSetupFile(path));
        } else {
            SetImage(record);
        }
        g_SetupWork = g_SetupFileImage;
        g_SetupFileImage = g_SetupWork;
        ASSERT_TRUE(SaveSetupFile(path)) << c.what;

        const std::vector<uint8_t> saved = ReadBytes(path);
        std::vector<uint8_t> expected =
            c.oldSize == 0 || c.oldSize >= 112 ? record : std::vector<uint8_t>(kSetupRecordSize, 0);
        if (c.oldSize != 0 && c.oldSize < 112)
            std::copy(record.begin(), record.begin() + static_cast<long>(c.oldSize),
                      expected.begin());
        EXPECT_EQ(saved, SetupFileBytes(expected)) << c.what;
        EXPECT_EQ(FolderNames(SettingFolderPath(card.Path())),
                  std::vector<std::string>{"setup.cfg"})
            << c.what << ": no temporary file is left behind";
    }
}

TEST(SaveSetupFile, FailureIsReportedAndTheOldFileStaysWhole)
{
    struct Case
    {
        const char *what;
        // Breaks the card after the old file was written.
        std::function<void(const std::string &root)> breakCard;
        // When set, the save runs in a child process after this, so limits and mounts end with it.
        std::function<bool(const std::string &root)> childSetUp;
        bool heldByOther;
        bool oldFileSurvives;
        std::vector<std::string> namesLeft; // the setting folder afterwards, when it survives
    };
    const std::vector<std::string> onlyTheFile{"setup.cfg"};
    const Case cases[] = {
        {"folder vanished",
         [](const std::string &root) { std::filesystem::remove_all(SettingFolderPath(root)); },
         nullptr,
         false,
         false,
         {}},
        {"setting is a regular file",
         [](const std::string &root) {
             std::filesystem::remove_all(SettingFolderPath(root));
             WriteText(SettingFolderPath(root), "not a folder");
         },
         nullptr,
         false,
         false,
         {}},
        {"temporary name taken by a folder",
         [](const std::string &root) { MakeFolders(SetupFilePath(root) + ".new"); },
         nullptr,
         false,
         true,
         {"setup.cfg", "setup.cfg.new"}},
        {"old file held by another program", nullptr, nullptr, true, true, onlyTheFile},
        {"card full after a few bytes", nullptr,
         [](const std::string &) {
             // Every write past 50 bytes fails, as on a card that has run out of space.
             ::signal(SIGXFSZ, SIG_IGN);
             const rlimit limit{50, 50};
             return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
         },
         false, true, onlyTheFile},
        {"read-only card", nullptr,
         [](const std::string &root) {
             const std::string folder = SettingFolderPath(root);
             return ::unshare(CLONE_NEWNS) == 0 &&
                    ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                    ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
                    ::mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY,
                            nullptr) == 0;
         },
         false, true, onlyTheFile},
    };
    for (const Case &c : cases) {
        CTempFolder card;
        MakeFolders(SettingFolderPath(card.Path()));
        const std::string path = SetupFilePath(card.Path());
        std::vector<uint8_t> old = SetupFileBytes(PatternRecord(1));
        old.resize(130, 0x42); // longer than a save would leave it, so a partial rewrite shows
        WriteBytes(path, old);
        SetImage(PatternRecord(200));
        if (c.breakCard)
            c.breakCard(card.Path());

        bool saved;
        if (c.childSetUp) {
            const int rc = RunInChild([&] {
                if (!c.childSetUp(card.Path()))
                    return kChildCannotSetUp;
                return SaveSetupFile(path) ? 1 : 0;
            });
            if (rc == kChildCannotSetUp) {
                // Mount namespaces need privileges some machines do not grant.
                std::cout << "[ SKIPPED  ] " << c.what << ": cannot be set up here\n";
                continue;
            }
            ASSERT_TRUE(rc == 0 || rc == 1) << c.what;
            saved = rc == 1;
        } else if (c.heldByOther) {
            CForeignLock other(path, LOCK_SH);
            ASSERT_TRUE(other.Held());
            saved = SaveSetupFile(path);
        } else {
            saved = SaveSetupFile(path);
        }
        EXPECT_FALSE(saved) << c.what;
        if (c.oldFileSurvives) {
            EXPECT_EQ(ReadBytes(path), old) << c.what;
            std::vector<std::string> names = FolderNames(SettingFolderPath(card.Path()));
            std::sort(names.begin(), names.end());
            EXPECT_EQ(names, c.namesLeft) << c.what << ": no temporary file may be left";
        } else {
            EXPECT_FALSE(FolderExists(SettingFolderPath(card.Path())))
                << c.what << ": the save must not create the folder";
        }
    }
}
