#include "engine/source/clf_writer.h"

#include <algorithm>
#include <cerrno>
#include <limits>

#include <fcntl.h>
#include <unistd.h>

#include "engine/core/vantor_errors.h"

namespace {

constexpr uint32_t kClfMagic = 0x434C4620; // "CLF "
constexpr size_t kFlushSize = 256 * 1024;

void PutU32(std::vector<uint8_t> &out, uint32_t value)
{
    out.push_back(uint8_t(value >> 24));
    out.push_back(uint8_t(value >> 16));
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

void PutBytes(std::vector<uint8_t> &out, const std::vector<uint8_t> &bytes)
{
    PutU32(out, uint32_t(bytes.size()));
    out.insert(out.end(), bytes.begin(), bytes.end());
}

uint32_t Clamp32(uint64_t value)
{
    return uint32_t(std::min<uint64_t>(value, std::numeric_limits<uint32_t>::max()));
}

uint32_t TagOf(int32_t kind)
{
    switch (kind) {
    case kClfKindAudio:
        return CLF_TAG_AUDIO;
    case kClfKindVideo:
        return CLF_TAG_VIDEO;
    case kClfKindText:
        return CLF_TAG_TEXT;
    }
    return 0;
}

bool WriteAllAt(int fd, const uint8_t *data, size_t size, off_t offset, bool positioned)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = positioned ? ::pwrite(fd, data + done, size - done, offset + off_t(done))
                                     : ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        done += size_t(n);
    }
    return true;
}

} // namespace

ClfWriter::~ClfWriter()
{
    CloseFile();
}

void ClfWriter::CloseFile()
{
    if (m_nFd >= 0) {
        ::close(m_nFd);
        m_nFd = -1;
    }
}

int32_t ClfWriter::Fail(int32_t code)
{
    if (m_nError == 0)
        m_nError = code;
    return m_nError;
}

int32_t ClfWriter::Open(const std::string &path, const ClfLayout &layout)
{
    if (m_nFd >= 0 || m_bFinished)
        return VANTOR_E_INVALID_ARG;
    constexpr size_t kMaxExtra = std::numeric_limits<uint32_t>::max();
    for (const auto &video : layout.video)
        if (video.extraData.size() > kMaxExtra)
            return VANTOR_E_INVALID_ARG;
    for (const auto &audio : layout.audio)
        if (audio.extraData.size() > kMaxExtra)
            return VANTOR_E_INVALID_ARG;
    m_Layout = layout;
    m_nFd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_nFd < 0)
        return Fail(VANTOR_E_FILE_CREATION);
    // The header goes out now with zero durations and sizes; Finish rewrites it, same length.
    const std::vector<uint8_t> header = Header();
    return Append(header.data(), header.size());
}

std::vector<uint8_t> ClfWriter::Header() const
{
    std::vector<uint8_t> out;
    PutU32(out, kClfMagic);
    PutU32(out, DurationMs());

    // Only the first stream of a kind gets records, so only it has a duration and a size.
    auto totals = [this](int32_t kind, size_t index) {
        const StreamTotals &t = m_Totals[kind];
        return index == 0 ? std::pair{Clamp32(t.endMs), t.largest} : std::pair{0u, 0u};
    };

    PutU32(out, uint32_t(m_Layout.video.size()));
    for (size_t i = 0; i < m_Layout.video.size(); ++i) {
        const ClfVideoEntry &v = m_Layout.video[i];
        const auto [duration, largest] = totals(kClfKindVideo, i);
        PutU32(out, v.dwFourcc);
        PutU32(out, v.nWidth);
        PutU32(out, v.nHeight);
        PutU32(out, v.nFrameRate1000);
        PutU32(out, v.dwExtraValue);
        PutU32(out, duration);
        PutU32(out, largest);
        PutBytes(out, v.extraData);
    }
    PutU32(out, uint32_t(m_Layout.audio.size()));
    for (size_t i = 0; i < m_Layout.audio.size(); ++i) {
        const ClfAudioEntry &a = m_Layout.audio[i];
        const auto [duration, largest] = totals(kClfKindAudio, i);
        PutU32(out, a.dwFormat);
        PutU32(out, a.nSampleRate);
        PutU32(out, a.nChannels);
        PutU32(out, a.nBitsPerSample);
        PutU32(out, a.nBitRate);
        PutU32(out, duration);
        PutU32(out, largest);
        PutBytes(out, a.extraData);
    }
    PutU32(out, uint32_t(m_Layout.text.size()));
    for (size_t i = 0; i < m_Layout.text.size(); ++i) {
        const ClfTextEntry &t = m_Layout.text[i];
        const auto [duration, largest] = totals(kClfKindText, i);
        PutU32(out, t.dwCodec);
        PutU32(out, t.dwParam1);
        PutU32(out, t.dwParam2);
        PutU32(out, duration);
        PutU32(out, largest);
    }
    // Two words the reader steps over before the data section.
    PutU32(out, 0);
    PutU32(out, 0);
    return out;
}

int32_t ClfWriter::Append(const void *data, size_t size)
{
    if (m_nError != 0)
        return m_nError;
    const auto *bytes = static_cast<const uint8_t *>(data);
    m_Pending.insert(m_Pending.end(), bytes, bytes + size);
    return m_Pending.size() >= kFlushSize ? Flush() : VANTOR_OK;
}

int32_t ClfWriter::Flush()
{
    if (m_nError != 0)
        return m_nError;
    if (!m_Pending.empty() && !WriteAllAt(m_nFd, m_Pending.data(), m_Pending.size(), 0, false))
        return Fail(VANTOR_E_WRITE);
    m_Pending.clear();
    return VANTOR_OK;
}

int32_t ClfWriter::WriteSample(int32_t kind, uint32_t timeMs, const void *data, size_t size,
                               uint32_t durationMs, bool keyFrame)
{
    if (m_nError != 0)
        return m_nError;
    if (m_nFd < 0)
        return VANTOR_E_INVALID_ARG;
    const uint32_t tag = TagOf(kind);
    if (tag == 0 || size == 0 || size > std::numeric_limits<uint32_t>::max() ||
        (data == nullptr && size != 0))
        return VANTOR_E_INVALID_ARG;
    const size_t streams = kind == kClfKindVideo   ? m_Layout.video.size()
                           : kind == kClfKindAudio ? m_Layout.audio.size()
                                                   : m_Layout.text.size();
    if (streams == 0)
        return VANTOR_E_NO_STREAM;
    StreamTotals &totals = m_Totals[kind];
    if (totals.any && timeMs < totals.lastTimeMs)
        return VANTOR_E_INVALID_ARG;

    std::vector<uint8_t> head;
    PutU32(head, tag);
    PutU32(head, timeMs);
    PutU32(head, uint32_t(size));
    PutU32(head, keyFrame ? 1 : 0);
    int32_t rc = Append(head.data(), head.size());
    if (rc == VANTOR_OK)
        rc = Append(data, size);
    if (rc != VANTOR_OK)
        return rc;

    totals.any = true;
    totals.lastTimeMs = timeMs;
    totals.endMs = std::max(totals.endMs, uint64_t(timeMs) + durationMs);
    totals.largest = std::max(totals.largest, uint32_t(size));
    return VANTOR_OK;
}

int32_t ClfWriter::WriteEndRecord(uint32_t timeMs)
{
    if (m_nError != 0)
        return m_nError;
    if (m_nFd < 0)
        return VANTOR_E_INVALID_ARG;
    std::vector<uint8_t> record;
    PutU32(record, 0);
    PutU32(record, timeMs);
    PutU32(record, 0);
    PutU32(record, 0);
    return Append(record.data(), record.size());
}

int32_t ClfWriter::Finish()
{
    if (m_nError != 0) {
        CloseFile();
        return m_nError;
    }
    if (m_nFd < 0)
        return VANTOR_E_INVALID_ARG;
    int32_t rc = WriteEndRecord(DurationMs());
    if (rc == VANTOR_OK)
        rc = Flush();
    if (rc == VANTOR_OK) {
        const std::vector<uint8_t> header = Header();
        if (!WriteAllAt(m_nFd, header.data(), header.size(), 0, true))
            rc = Fail(VANTOR_E_WRITE);
    }
    // A failing close can be a write the system had deferred (network or full media).
    const int fd = m_nFd;
    m_nFd = -1;
    if (::close(fd) != 0 && rc == VANTOR_OK)
        rc = Fail(VANTOR_E_WRITE);
    m_bFinished = true;
    return rc;
}

uint32_t ClfWriter::DurationMs() const
{
    uint64_t longest = 0;
    for (const StreamTotals &t : m_Totals)
        longest = std::max(longest, t.endMs);
    return Clamp32(longest);
}
