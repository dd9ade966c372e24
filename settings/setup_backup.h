#pragma once

#include <ctime>
#include <string>
#include <vector>

// Copies of a card's setup.cfg, kept while the card is formatted and left in place when the
// card could not be given its file back, so the user can copy it back by hand.
inline constexpr size_t kSetupBackupsKept = 10;

// Writes bytes as a new copy in folder (made, mode 0700, when missing), named
// setup-YYYYMMDD-HHMMSS-LABEL.cfg from the local time and the card's label, through a temporary
// file, fsync and rename; reads it back. Then removes the oldest copies beyond the last ten.
// The new copy's full path, or empty when it could not be written whole.
std::string WriteSetupBackup(const std::string &folder, const std::string &cardLabel,
                             const std::vector<char> &bytes, std::time_t when);

// The copies in folder, oldest first.
std::vector<std::string> SetupBackups(const std::string &folder);

// The whole content of a small file: false when it cannot be opened, is held by another
// program or is larger than maxSize. With fromMedium the cached pages are dropped first, so a
// file just written is read back from the card, not from memory.
bool ReadSmallFile(const std::string &path, std::vector<char> *bytes, bool fromMedium = false,
                   size_t maxSize = 1 << 20);
