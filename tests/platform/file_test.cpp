#include <cstdlib>
#include <map>

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_enum.h"
#include "platform/file_exists.h"
#include "platform/file_open.h"
#include "tests/support/temp_folder.h"

namespace {

std::map<std::string, FOLDER_ENTRY> ListAll(const std::string &folder)
{
    std::map<std::string, FOLDER_ENTRY> entries;
    CFolderListing listing(folder);
    FOLDER_ENTRY entry;
    while (listing.Next(&entry))
        entries[entry.strName] = entry;
    return entries;
}

} // namespace

TEST(FolderListing, FlagsDotNamesHiddenAndFoldersAsFolders)
{
    CTempFolder dir;
    WriteSized(dir / "clip.avi", 10);
    WriteSized(dir / ".hidden.avi", 10);
    MakeFolders(dir / "sub");
    MakeFolders(dir / ".dotdir");
    ASSERT_EQ(::symlink("sub", (dir / "link-to-sub").c_str()), 0);

    const auto entries = ListAll(dir.Path());
    ASSERT_EQ(entries.size(), 5u) << "'.' and '..' are never listed";
    struct Expect
    {
        const char *name;
        bool directory;
        bool hidden;
    };
    for (const Expect &e : {Expect{"clip.avi", false, false}, Expect{".hidden.avi", false, true},
                            Expect{"sub", true, false}, Expect{".dotdir", true, true},
                            Expect{"link-to-sub", true, false}}) {
        const auto it = entries.find(e.name);
        ASSERT_NE(it, entries.end()) << e.name;
        EXPECT_EQ(it->second.bDirectory, e.directory) << e.name;
        EXPECT_EQ(it->second.bHidden, e.hidden) << e.name;
        EXPECT_FALSE(it->second.bSystem) << e.name;
    }
}

// The facts of the entry just listed, a link taken to what it points at; a dangling link has none.
TEST(FolderListing, FactsOfTheEntryJustListed)
{
    CTempFolder dir;
    WriteSized(dir / "clip.avi", 1500);
    MakeFolders(dir / "sub");
    ASSERT_EQ(::symlink("clip.avi", (dir / "link.avi").c_str()), 0);
    ASSERT_EQ(::symlink("absent", (dir / "dangling.avi").c_str()), 0);
    struct Expect
    {
        bool known;
        off_t size;
        bool directory;
    };
    const std::map<std::string, Expect> expected = {{"clip.avi", {true, 1500, false}},
                                                    {"link.avi", {true, 1500, false}},
                                                    {"dangling.avi", {false, 0, false}},
                                                    {"sub", {true, 0, true}}};
    CFolderListing listing(dir.Path());
    FOLDER_ENTRY entry;
    size_t seen = 0;
    while (listing.Next(&entry)) {
        const Expect &e = expected.at(entry.strName);
        struct stat facts
        {
        };
        // Asked twice: the second answer is the first one kept.
        for (int ask = 0; ask < 2; ++ask) {
            ASSERT_EQ(listing.Facts(&facts), e.known) << entry.strName;
            if (e.known) {
                EXPECT_EQ(S_ISDIR(facts.st_mode), e.directory) << entry.strName;
                if (!e.directory) {
                    EXPECT_EQ(facts.st_size, e.size) << entry.strName;
                }
            }
        }
        ++seen;
    }
    EXPECT_EQ(seen, expected.size());
    struct stat facts
    {
    };
    EXPECT_FALSE(listing.Facts(&facts)) << "no entry after the end";
}

TEST(FolderListing, MissingFolderListsNothing)
{
    CTempFolder dir;
    CFolderListing listing(dir / "absent");
    FOLDER_ENTRY entry;
    EXPECT_FALSE(listing.IsOpen());
    EXPECT_EQ(listing.FolderFd(), -1);
    EXPECT_FALSE(listing.Next(&entry));
}

TEST(FileExists, TellsFilesFoldersAndNothingApart)
{
    CTempFolder dir;
    WriteSized(dir / "file", 1);
    EXPECT_TRUE(PathExists(dir / "file"));
    EXPECT_FALSE(FolderExists(dir / "file"));
    EXPECT_TRUE(PathExists(dir.Path()));
    EXPECT_TRUE(FolderExists(dir.Path()));
    EXPECT_FALSE(PathExists(dir / "none"));
    EXPECT_FALSE(PathExists(""));
}

// Another program's lock, through a descriptor of its own, refuses our open as the recorder's
// files are never shared.
TEST(ExclusiveFile, OpenRespectsLocksHeldElsewhere)
{
    struct Case
    {
        const char *what;
        int foreignLock;
        CExclusiveFile::Mode mode;
        bool opens;
    };
    const Case cases[] = {
        {"read while a writer holds it", LOCK_EX, CExclusiveFile::Mode::Read, false},
        {"read beside another reader", LOCK_SH, CExclusiveFile::Mode::Read, true},
        {"hold while a reader has it", LOCK_SH, CExclusiveFile::Mode::Hold, false},
        {"rewrite while a reader has it", LOCK_SH, CExclusiveFile::Mode::WriteNew, false},
    };
    for (const Case &c : cases) {
        CTempFolder dir;
        WriteSized(dir / "f", 100);
        {
            CForeignLock other(dir / "f", c.foreignLock);
            ASSERT_TRUE(other.Held());
            CExclusiveFile file;
            EXPECT_EQ(file.Open(dir / "f", c.mode), c.opens) << c.what;
        }
        EXPECT_EQ(ReadBytes(dir / "f").size(), 100u) << c.what << ": the file must be left alone";
        CExclusiveFile file;
        EXPECT_TRUE(file.Open(dir / "f", c.mode)) << c.what << ": opens once the lock is gone";
    }
}

TEST(ExclusiveFile, OpenAtFolderAndQueries)
{
    CTempFolder dir;
    WriteSized(dir / "clip.avi", 1500);
    CFolderListing listing(dir.Path());
    ASSERT_TRUE(listing.IsOpen());
    CExclusiveFile file;
    ASSERT_TRUE(file.OpenAt(listing.FolderFd(), "clip.avi", CExclusiveFile::Mode::Read));
    EXPECT_EQ(file.Size(), 1500);
    int64_t size = 0;
    SYSTEMTIME time{};
    ASSERT_TRUE(file.SizeAndTime(&size, &time));
    EXPECT_EQ(size, 1500);
    char buffer[2000];
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 1500);
    EXPECT_FALSE(file.OpenAt(listing.FolderFd(), "absent.avi", CExclusiveFile::Mode::Read));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Size(), -1);
}

TEST(HeldFiles, TheLockTableNamesEveryInodeNotSharedForReading)
{
    const char *table = "1: FLOCK  ADVISORY  WRITE 1234 08:01:101 0 EOF\n"
                        "1: -> FLOCK  ADVISORY  WRITE 1240 08:01:102 0 EOF\n"
                        "2: FLOCK  ADVISORY  READ  1235 08:01:103 0 EOF\n"
                        "3: POSIX  ADVISORY  WRITE 1236 00:2a:104 0 99\n"
                        "4: OFDLCK ADVISORY  WRITE -1 fd:00:105 0 EOF\n"
                        "5: LEASE  BREAKING  UNLCK 1237 08:01:106 0 EOF\n"
                        "6: FLOCK  ADVISORY  WRITE 1238 08:01:notanumber 0 EOF\n"
                        "7: cut short\n"
                        "8: FLOCK  ADVISORY  WRITE 1239 08:01:18446744073709551615 0 EOF";
    CHeldFiles held;
    held.Parse(table);
    struct Case
    {
        uint64_t inode;
        bool mayBeHeld;
    };
    const Case cases[] = {{101, true}, {102, false}, {103, false}, {104, true},
                          {105, true}, {106, true},  {107, false}, {UINT64_MAX, true}};
    for (const Case &c : cases)
        EXPECT_EQ(held.MayBeHeld(c.inode), c.mayBeHeld) << c.inode;
    EXPECT_TRUE(CHeldFiles().MayBeHeld(101)) << "unread, any file may be held";
}

// The system's own table, with a lock of this process on one of two files.
TEST(HeldFiles, LoadsTheSystemsLocks)
{
    CTempFolder dir;
    WriteSized(dir / "held", 10);
    WriteSized(dir / "free", 10);
    CForeignLock writer(dir / "held", LOCK_EX);
    ASSERT_TRUE(writer.Held());
    CHeldFiles held;
    if (!held.Load())
        GTEST_SKIP() << "no lock table on this system";
    struct stat heldFacts
    {
    }, freeFacts{};
    ASSERT_EQ(::stat((dir / "held").c_str(), &heldFacts), 0);
    ASSERT_EQ(::stat((dir / "free").c_str(), &freeFacts), 0);
    EXPECT_TRUE(held.MayBeHeld(heldFacts.st_ino));
    EXPECT_FALSE(held.MayBeHeld(freeFacts.st_ino));
}

TEST(ExclusiveFile, WriteExclusiveRefusesAnExistingName)
{
    CTempFolder dir;
    WriteSized(dir / "f", 3);
    CExclusiveFile file;
    EXPECT_FALSE(file.Open(dir / "f", CExclusiveFile::Mode::WriteExclusive));
    ASSERT_TRUE(file.Open(dir / "g", CExclusiveFile::Mode::WriteExclusive));
    EXPECT_TRUE(file.WriteAll("abc", 3));
    EXPECT_TRUE(file.Sync());
}

// A named pipe where a file is expected must not stall the caller.
TEST(ExclusiveFile, ReadingANamedPipeReturnsAtOnce)
{
    CTempFolder dir;
    ASSERT_EQ(::mkfifo((dir / "pipe.avi").c_str(), 0644), 0);
    CExclusiveFile file;
    if (file.Open(dir / "pipe.avi", CExclusiveFile::Mode::Read)) {
        char buffer[16];
        EXPECT_LE(file.Read(buffer, sizeof buffer), 0);
        EXPECT_EQ(file.Size(), 0);
    }
}

TEST(ExclusiveFile, LastWriteTimeIsUtcWhateverTheZone)
{
    CTempFolder dir;
    WriteSized(dir / "f", 1);
    // 2010-05-17 13:45:09.250 UTC.
    const timespec times[2] = {{1274103909, 0}, {1274103909, 250000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "f").c_str(), times, 0), 0);

    const char *oldZone = std::getenv("TZ");
    const std::string saved = oldZone != nullptr ? oldZone : "";
    ::setenv("TZ", "XST-9", 1); // nine hours east, no tables needed
    ::tzset();
    CExclusiveFile file;
    ASSERT_TRUE(file.Open(dir / "f", CExclusiveFile::Mode::Read));
    SYSTEMTIME st{};
    ASSERT_TRUE(file.LastWriteTime(&st));
    if (oldZone != nullptr)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();

    EXPECT_EQ(st.wYear, 2010);
    EXPECT_EQ(st.wMonth, 5);
    EXPECT_EQ(st.wDay, 17);
    EXPECT_EQ(st.wDayOfWeek, 1); // a Monday
    EXPECT_EQ(st.wHour, 13);
    EXPECT_EQ(st.wMinute, 45);
    EXPECT_EQ(st.wSecond, 9);
    EXPECT_EQ(st.wMilliseconds, 250);
}
