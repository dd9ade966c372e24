#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Copies of clips onto the computer, each checked after it was written: the copy is read back
// and must have the source's size and SHA-256. The source is only read.

struct COPY_FILE_RESULT
{
    bool bOk = false;
    std::string target; // the file written
    uint64_t nBytes = 0;
    std::string sha256; // hex, of the source as read
    std::string error;
};

// Called with the bytes done and the total of the whole run; false cancels.
using CopyProgress = std::function<bool(uint64_t done, uint64_t total)>;

// Copies source into folder under its own name, through name.part renamed when the copy
// checked out; an existing file of that name is replaced only then. done/total carry the
// progress of a run over many files (the callback sees done + bytes of this file).
COPY_FILE_RESULT CopyFileVerified(const std::string &source, const std::string &folder,
                                  uint64_t done, uint64_t total, const CopyProgress &progress);

struct COPY_RUN_RESULT
{
    std::vector<COPY_FILE_RESULT> files;
    int nFailed = 0;
    bool bCancelled = false;
};

// Every clip in turn; a failed clip does not stop the others (cancelling does).
COPY_RUN_RESULT CopyClipsVerified(const std::vector<std::string> &clips, const std::string &folder,
                                  const CopyProgress &progress = {});

// SHA-256 of a file as lowercase hex; empty when it cannot be read.
std::string FileSha256(const std::string &path);
