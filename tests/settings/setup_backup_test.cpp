#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "settings/setup_backup.h"
#include "tests/support/temp_folder.h"

namespace {

std::vector<char> Bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Name(const std::string &path)
{
    return std::filesystem::path(path).filename().string();
}

} // namespace

TEST(SetupBackup, NamedByTimeAndLabelAndTheLastTenKept)
{
    CTempFolder data;
    const std::string folder = data / "share/TavloPlayer/setup-backups";
    const std::vector<char> setup = {1, 2, 3, 0, 5};
    // 12 May 2010, from 10:00:00 on, one a minute; the folder is made on the way.
    std::tm start{};
    start.tm_year = 110;
    start.tm_mon = 4;
    start.tm_mday = 12;
    start.tm_hour = 10;
    start.tm_isdst = -1;
    const std::time_t t0 = std::mktime(&start);
    std::vector<std::string> made;
    for (int i = 0; i < 12; ++i) {
        std::vector<char> bytes = setup;
        bytes.push_back(static_cast<char>(i));
        made.push_back(WriteSetupBackup(folder, i == 0 ? "My card/1" : "SD", bytes, t0 + 60 * i));
        ASSERT_FALSE(made.back().empty());
        EXPECT_EQ(Bytes(made.back()), bytes);
    }
    EXPECT_EQ(Name(made[0]), "setup-20100512-100000-My_card_1.cfg");
    EXPECT_EQ(Name(made[11]), "setup-20100512-101100-SD.cfg");
    const std::vector<std::string> kept = SetupBackups(folder);
    EXPECT_EQ(kept, std::vector<std::string>(made.begin() + 2, made.end()));
    struct stat st
    {
    };
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // Two copies within one second, and an empty label.
    const std::string again = WriteSetupBackup(folder, "SD", setup, t0 + 60 * 11);
    EXPECT_EQ(Name(again), "setup-20100512-101100-SD-2.cfg");
    EXPECT_EQ(Name(WriteSetupBackup(folder, "", setup, t0)), "setup-20100512-100000-card.cfg");
    // No temporary file is left beside them.
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        EXPECT_EQ(entry.path().extension(), ".cfg") << entry.path();
}

TEST(SetupBackup, NothingWhereNoFolderCanBeMade)
{
    CTempFolder data;
    std::ofstream(data / "file") << "x";
    EXPECT_EQ(WriteSetupBackup(data / "file/setup-backups", "SD", {1, 2}, 0), "");
    EXPECT_EQ(WriteSetupBackup("", "SD", {1, 2}, 0), "");
}
