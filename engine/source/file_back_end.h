#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/source/byte_stream.h"

// An operating-system file or a memory block, read and written at positions the caller gives
// (positioned reads: the descriptor's own position is never used, so clones and cursors need no
// seek before a read). A memory block is [4-byte big-endian data length][data ...]; its capacity
// counts the whole block, prefix included, and closing writes the current data length back into the
// prefix.
class FileObject
{
public:
    enum class Mode
    {
        Read,     // existing file, shared with other readers and writers
        Write,    // existing file truncated, or created with the create flag
        ReadWrite // as Write, and readable
    };

    FileObject() = default;
    ~FileObject();
    FileObject(const FileObject &) = delete;
    FileObject &operator=(const FileObject &) = delete;

    // 0, or 0x80000010 when the file cannot be opened.
    int32_t OpenFile(const std::string &path, Mode mode, bool create);
    // 0, or 0x80000000 when the block cannot hold its prefix or its stated length.
    int32_t OpenMemory(uint8_t *block, uint64_t capacity);
    // Writing modes flush to the medium first.
    void Close();

    bool IsOpen() const { return m_nFd >= 0 || m_pBlock; }
    bool IsMemory() const { return m_pBlock != nullptr; }
    // Bytes read from position on (0 at the end), or -1. Short reads of the system are retried.
    int64_t ReadAt(int64_t position, void *destination, size_t count);
    // The same into two places in one system call: head first, then body.
    int64_t ReadAt(int64_t position, void *head, size_t headCount, void *body, size_t bodyCount);
    // Bytes written at position, or -1.
    int64_t WriteAt(int64_t position, const void *source, size_t count);
    int64_t Size() const;

    int Fd() const { return m_nFd; }
    const std::string &Path() const { return m_strPath; }
    uint8_t *Block() const { return m_pBlock; }
    uint64_t Capacity() const { return m_nCapacity; }

private:
    int m_nFd = -1;
    bool m_bWritable = false;
    std::string m_strPath;
    uint8_t *m_pBlock = nullptr;
    uint64_t m_nCapacity = 0;
    uint64_t m_nBlockLength = 0;
};

constexpr int kMaxCursors = 20;

struct FILE_CURSOR
{
    bool bUsed;
    int64_t nPosition;           // file position just after the buffered bytes
    std::vector<uint8_t> buffer; // read-ahead; empty = none
    uint32_t nReadPointer;       // next byte to hand out of the buffer
    uint32_t nBuffered;          // bytes the buffer holds
};

// The local-file back-end: one file object shared by up to 20 cursors and the sequential
// position, each read at its own position.
struct FileBackEnd
{
    FileObject file;
    std::wstring strLocator;
    uintptr_t nStreamArgument;
    int64_t nSize;
    FILE_CURSOR cursors[kMaxCursors];
    int64_t nSequentialPosition;
};

// Locator: a path (UTF-8 on the file system), or with a non-zero stream argument the address of
// a memory block whose capacity is the argument.
extern const ByteStreamOps g_FileBackEndOps;
