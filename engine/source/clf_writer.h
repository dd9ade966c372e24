#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/source/clf_format.h"

// Writes CLF clips the way the recorder lays them out: "CLF ", a header listing the video, audio
// and text streams, then tagged records in time order and a zero-size end record. Every number
// is 32-bit big-endian. Used by the demo-card maker and by tests to make fixtures; the same
// input always gives the same bytes.

// Sample kinds, numbered as the engine numbers them.
constexpr int32_t kClfKindAudio = 1;
constexpr int32_t kClfKindVideo = 2;
constexpr int32_t kClfKindText = 3;

// A four-character code as the header stores it: the first letter in the highest byte, so the
// file holds the letters in reading order ("XVID", "TRVX").
constexpr uint32_t ClfFourcc(const char (&code)[5])
{
    return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 |
           uint32_t(uint8_t(code[2])) << 8 | uint32_t(uint8_t(code[3]));
}

struct ClfVideoEntry
{
    uint32_t dwFourcc = 0;
    uint32_t nWidth = 0;
    uint32_t nHeight = 0;
    uint32_t nFrameRate1000 = 0; // thousandths of a frame per second
    uint32_t dwExtraValue = 0;   // handed through to the engine's media information unchanged
    std::vector<uint8_t> extraData;
};

struct ClfAudioEntry
{
    uint32_t dwFormat = 0; // WAVE format code; 0xFF is raw AAC frames
    uint32_t nSampleRate = 0;
    uint32_t nChannels = 0;
    uint32_t nBitsPerSample = 0;
    uint32_t nBitRate = 0; // bits per second
    std::vector<uint8_t> extraData;
};

struct ClfTextEntry
{
    uint32_t dwCodec = 0; // "TRVX" for the recorder's GPS sentences
    uint32_t dwParam1 = 0;
    uint32_t dwParam2 = 0;
};

// The streams of one clip. Records carry only their kind's tag, so the reader plays the first
// stream of each kind; further entries are listed in the header only.
struct ClfLayout
{
    std::vector<ClfVideoEntry> video;
    std::vector<ClfAudioEntry> audio;
    std::vector<ClfTextEntry> text;
};

// One clip being written. The header's durations and largest sample sizes are only known at the
// end, so Finish rewrites the header in place. Every call returns 0 or an engine failure code;
// after a failure the writer stays failed and returns that code again. Not thread-safe.
class ClfWriter
{
public:
    ClfWriter() = default;
    ~ClfWriter();
    ClfWriter(const ClfWriter &) = delete;
    ClfWriter &operator=(const ClfWriter &) = delete;

    // Creates or truncates the file and writes the header. VANTOR_E_FILE_CREATION when the file
    // cannot be created, VANTOR_E_WRITE when the header cannot be written.
    int32_t Open(const std::string &path, const ClfLayout &layout);

    // Appends one sample of a kind. Within a kind the times must not go back, because the reader
    // finds a position by the first record at or after it; an empty sample is refused because a
    // zero-size record ends every stream. durationMs is how long the sample lasts: the stream's
    // duration is the latest time + duration. keyFrame goes into the record's spare word (1 for
    // a key frame), which readers may ignore.
    int32_t WriteSample(int32_t kind, uint32_t timeMs, const void *data, size_t size,
                        uint32_t durationMs = 0, bool keyFrame = true);

    // Appends a zero-size record: every stream ends there for a reader, even where more records
    // follow. Finish writes one of its own; this one is for files that must end early.
    int32_t WriteEndRecord(uint32_t timeMs);

    // Writes the end record, rewrites the header with durations and largest sizes, and closes
    // the file. A writer destroyed without Finish leaves a file without end record.
    int32_t Finish();

    // The media duration so far: the longest stream.
    uint32_t DurationMs() const;

private:
    struct StreamTotals
    {
        uint64_t endMs = 0;      // latest time + duration
        uint32_t lastTimeMs = 0; // time of the latest record
        uint32_t largest = 0;    // largest sample size
        bool any = false;
    };

    std::vector<uint8_t> Header() const;
    int32_t Append(const void *data, size_t size);
    int32_t Flush();
    int32_t Fail(int32_t code);
    void CloseFile();

    int m_nFd = -1;
    int32_t m_nError = 0;
    bool m_bFinished = false;
    ClfLayout m_Layout;
    StreamTotals m_Totals[4];       // indexed by kind
    std::vector<uint8_t> m_Pending; // records not yet written to the file
};
