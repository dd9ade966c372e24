#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system_time.h"

// Reads a descriptor from where it stands to its end into text, as kernel tables (/proc) must be
// read: they state no size. False on a read error or when the text would pass maxBytes.
bool ReadToEnd(int fd, size_t maxBytes, std::string *text);

// A file opened the way the recorder's files must be: no other program may hold it at the same
// time. Reading takes a shared lock, writing an exclusive one; either fails at once when the
// other kind is held. Owns the descriptor.
class CExclusiveFile
{
public:
    enum class Mode
    {
        Read,          // existing file only, shared with other readers
        Hold,          // existing file only, read-only, shared with nobody
        WriteNew,      // create, or truncate an existing one
        WriteExclusive // create; fails when the name exists
    };

    CExclusiveFile() = default;
    ~CExclusiveFile();
    CExclusiveFile(const CExclusiveFile &) = delete;
    CExclusiveFile &operator=(const CExclusiveFile &) = delete;

    // Opens the path; false when it cannot be opened or locked.
    bool Open(const std::string &path, Mode mode);
    // Opens a name inside an already open folder (faster than a full path on big folders).
    bool OpenAt(int folderFd, const char *name, Mode mode);
    void Close();
    bool IsOpen() const { return m_nFd >= 0; }
    int Fd() const { return m_nFd; }

    // Size in bytes, or -1 when it cannot be read.
    int64_t Size() const;
    // Last-write time in calendar form, UTC; false when it cannot be read.
    bool LastWriteTime(SYSTEMTIME *time) const;
    // Both of the above from one query, for listings of many files.
    bool SizeAndTime(int64_t *size, SYSTEMTIME *time) const;
    // Reads up to size bytes; the count read, or -1 on failure. Retries short reads.
    int64_t Read(void *buffer, size_t size);
    // Writes every byte; false on any failure (a full card included).
    bool WriteAll(const void *buffer, size_t size);
    // Flushes the data to the medium.
    bool Sync();

private:
    bool Lock(Mode mode);

    int m_nFd = -1;
};

// The inodes that some process holds a lock on other than a shared one, from the system's lock
// table read in one go. A listing of many files asks this instead of opening and locking each
// one as CExclusiveFile does; the table names inodes of every file system, so a file whose inode
// appears still gets the real test.
class CHeldFiles
{
public:
    // False when the table cannot be read; then every file may be held.
    bool Load();
    // Takes the table from its text (the format of /proc/locks).
    void Parse(std::string_view table);
    bool MayBeHeld(uint64_t inode) const;

private:
    bool m_bKnown = false;
    std::vector<uint64_t> m_Inodes; // sorted
};
