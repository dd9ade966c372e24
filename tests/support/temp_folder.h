#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
// Path() ends with '/', like a card root.
class CTempFolder
{
public:
    CTempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "roadlog-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_strPath = pattern + "/";
    }
    ~CTempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_strPath, ignored);
    }
    CTempFolder(const CTempFolder &) = delete;
    CTempFolder &operator=(const CTempFolder &) = delete;

    const std::string &Path() const { return m_strPath; }
    std::string operator/(const std::string &relative) const { return m_strPath + relative; }

private:
    std::string m_strPath;
};

inline void MakeFolders(const std::string &path)
{
    std::filesystem::create_directories(path);
}

inline void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

inline void WriteText(const std::string &path, const std::string &text)
{
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// A file of the given size filled with a repeating byte.
inline void WriteSized(const std::string &path, size_t size)
{
    WriteBytes(path, std::vector<uint8_t>(size, 0x5A));
}

inline std::vector<uint8_t> ReadBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Holds an exclusive lock on a file through a descriptor of its own, as another program would.
class CForeignLock
{
public:
    // operation: LOCK_EX or LOCK_SH.
    CForeignLock(const std::string &path, int operation)
    {
        m_nFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        m_bHeld = m_nFd >= 0 && ::flock(m_nFd, operation | LOCK_NB) == 0;
    }
    ~CForeignLock()
    {
        if (m_nFd >= 0)
            ::close(m_nFd);
    }
    CForeignLock(const CForeignLock &) = delete;
    CForeignLock &operator=(const CForeignLock &) = delete;
    bool Held() const { return m_bHeld; }

private:
    int m_nFd = -1;
    bool m_bHeld = false;
};
