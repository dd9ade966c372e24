#pragma once

#include <string>

#include <dirent.h>
#include <sys/stat.h>

// One entry of a folder listing, with the attribute bits the card's listing rules look at.
struct FOLDER_ENTRY
{
    std::string strName;
    bool bDirectory = false;
    bool bHidden = false; // dot names, and the FAT hidden bit on vfat mounts
    bool bSystem = false; // the FAT system bit on vfat mounts
};

// Lists one folder in the order the file system returns it, without "." and "..". Owns the open
// folder; entries are read one at a time so a card with many clips costs no extra memory.
class CFolderListing
{
public:
    explicit CFolderListing(const std::string &folder);
    ~CFolderListing();
    CFolderListing(const CFolderListing &) = delete;
    CFolderListing &operator=(const CFolderListing &) = delete;

    bool IsOpen() const { return m_pDir != nullptr; }
    // The folder's descriptor, for opening entries relative to it; -1 when not open.
    int FolderFd() const;
    // Fills the next entry; false at the end of the folder or when it could not be opened.
    bool Next(FOLDER_ENTRY *entry);
    // The file-system facts of the entry Next filled last, a link followed: one query relative
    // to the open folder, shared with Next when it needed the facts itself. False when they
    // cannot be read.
    bool Facts(struct stat *facts);

private:
    enum class FactsState
    {
        Unread,
        Known,
        Unreadable,
    };

    DIR *m_pDir = nullptr;
    bool m_bFatAttributes = false;   // the folder is on a vfat mount that keeps attribute bits
    const dirent *m_pLast = nullptr; // valid until the next readdir
    FactsState m_eFacts = FactsState::Unread;
    struct stat m_Facts
    {
    };
};
