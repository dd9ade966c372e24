#pragma once

#include <string>

// True when something (file or folder) exists at the path; the test the card checks rely on.
bool PathExists(const std::string &path);

// True when the path names an existing folder.
bool FolderExists(const std::string &path);
