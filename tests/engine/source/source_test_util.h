#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <stdlib.h>
#include <unistd.h>

#include "platform/wide_text.h"

// A folder of its own for one test, removed with everything in it at the end.
class TempFolder
{
public:
    TempFolder()
    {
        char pattern[] = "/tmp/roadlog-source-XXXXXX";
        m_strPath = mkdtemp(pattern);
    }
    ~TempFolder() { std::filesystem::remove_all(m_strPath); }

    std::string Write(const std::string &name, const std::vector<uint8_t> &bytes) const
    {
        const std::string path = m_strPath + "/" + name;
        FILE *f = std::fopen(path.c_str(), "wb");
        if (f) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return path;
    }
    std::string Path(const std::string &name) const { return m_strPath + "/" + name; }

private:
    std::string m_strPath;
};

// Bytes laid out by hand, every number 32-bit big-endian as in a CLF file.
struct ByteBuilder
{
    std::vector<uint8_t> bytes;

    ByteBuilder &Text(const char *text)
    {
        while (*text)
            bytes.push_back(static_cast<uint8_t>(*text++));
        return *this;
    }
    ByteBuilder &Word(uint32_t value)
    {
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<uint8_t>(value >> shift));
        return *this;
    }
    ByteBuilder &Fill(size_t count, uint8_t value)
    {
        bytes.insert(bytes.end(), count, value);
        return *this;
    }
    // A data record: tag, time, size, the unused word, then size bytes of fill.
    ByteBuilder &Record(uint32_t tag, uint32_t time, uint32_t size, uint8_t fill = 0x5A)
    {
        Word(tag).Word(time).Word(size).Word(0);
        return Fill(size, fill);
    }
};

inline std::wstring Wide(const std::string &path)
{
    return Utf8ToWide(path);
}
