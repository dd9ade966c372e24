#include "engine/source/detect.h"

#include <cwchar>
#include <iterator>

#include "engine/source/avi_reader.h"
#include "engine/source/clf_reader.h"
#include "engine/source/lavf_reader.h"

namespace {

// Readers by kind.
constexpr ReaderEntry kReaders[] = {
    {ReaderKind::Refused, "refused", nullptr},
    {ReaderKind::Mp4, "MP4", &g_Mp4ReaderOps},
    {ReaderKind::Asf, "ASF", &g_AsfReaderOps},
    {ReaderKind::Avi, "AVI", &g_AviReaderOps},
    {ReaderKind::Flv, "FLV", &g_FlvReaderOps},
    {ReaderKind::ProgramStream, "MPEG-PS", &g_ProgramStreamReaderOps},
    {ReaderKind::Ogg, "Ogg", &g_OggReaderOps},
    {ReaderKind::RealMedia, "RealMedia", &g_RealMediaReaderOps},
    {ReaderKind::Clf, "CLF", &g_ClfReaderOps},
    {ReaderKind::TransportStream, "MPEG-TS", &g_TransportStreamReaderOps},
    {ReaderKind::Wave, "WAVE", &g_WaveReaderOps},
    {ReaderKind::Qcelp, "QCELP", &g_QcelpReaderOps},
    {ReaderKind::Jpeg, "JPEG", &g_JpegReaderOps},
    {ReaderKind::ElementaryAudio, "audio", &g_ElementaryAudioReaderOps},
    {ReaderKind::Rtsp, "RTSP", &g_RtspReaderOps},
};

constexpr bool RegistryFollowsKinds()
{
    for (size_t i = 0; i < std::size(kReaders); ++i) {
        if (static_cast<size_t>(kReaders[i].kind) != i)
            return false;
    }
    return true;
}
static_assert(RegistryFollowsKinds(), "the reader registry is indexed by kind");

constexpr bool Has(const uint8_t *head, size_t size, size_t at, const char *text, size_t length)
{
    if (size < at + length)
        return false;
    for (size_t i = 0; i < length; ++i) {
        if (head[at + i] != static_cast<uint8_t>(text[i]))
            return false;
    }
    return true;
}

constexpr bool IsRiff(const uint8_t *h, size_t n, const char *form)
{
    return Has(h, n, 0, "RIFF", 4) && Has(h, n, 8, form, 4);
}

constexpr uint8_t kAsfHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                        0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

constexpr bool IsMp4(const uint8_t *h, size_t n)
{
    return Has(h, n, 4, "ftyp", 4) || Has(h, n, 4, "mdat", 4) || Has(h, n, 4, "moov", 4);
}

constexpr bool IsAsf(const uint8_t *h, size_t n)
{
    if (n < 16)
        return false;
    for (size_t i = 0; i < 16; ++i) {
        if (h[i] != kAsfHeaderGuid[i])
            return false;
    }
    return true;
}

// Three letters: "AVIX" (an OpenDML continuation) opens the AVI reader as well.
constexpr bool IsAvi(const uint8_t *h, size_t n)
{
    return Has(h, n, 0, "RIFF", 4) && Has(h, n, 8, "AVI", 3);
}

constexpr bool IsMatroska(const uint8_t *h, size_t n)
{
    return Has(h, n, 8, "matroska", 8);
}

constexpr bool IsFlv(const uint8_t *h, size_t n)
{
    return Has(h, n, 0, "FLV", 3);
}

constexpr bool IsProgramStream(const uint8_t *h, size_t n)
{
    return Has(h, n, 0, "\x00\x00\x01\xBA", 4) || IsRiff(h, n, "CDXA");
}

constexpr bool IsOgg(const uint8_t *h, size_t n)
{
    return Has(h, n, 0, "OggS", 4);
}

constexpr bool IsRealMedia(const uint8_t *h, size_t n)
{
    return Has(h, n, 0, ".RMF", 4);
}

constexpr bool IsClf(const uint8_t *h, size_t n)
{
    return Has(h, n, 0, "CLF", 3);
}

constexpr bool IsTransportStream(const uint8_t *h, size_t n)
{
    return n >= 1 && h[0] == 0x47;
}

constexpr bool IsWave(const uint8_t *h, size_t n)
{
    return IsRiff(h, n, "WAVE");
}

constexpr bool IsQcelp(const uint8_t *h, size_t n)
{
    return IsRiff(h, n, "QLCM");
}

constexpr bool IsCmid(const uint8_t *h, size_t n)
{
    return Has(h, n, 0, "cmid", 4);
}

constexpr bool IsJpeg(const uint8_t *h, size_t n)
{
    return Has(h, n, 0, "\xFF\xD8", 2);
}

// Ringtone and synthetic-music formats the engine does not play.
constexpr bool IsRefusedMusic(const uint8_t *h, size_t n)
{
    return Has(h, n, 0, "\x02\x4A\x3A\x51", 4) || Has(h, n, 0, "BEGI", 4) ||
           Has(h, n, 0, "MMMD", 4) || Has(h, n, 0, "MThd", 4) || Has(h, n, 0, "XMF_", 4) ||
           Has(h, n, 0, "cmid", 4) || Has(h, n, 0, "melo", 4);
}

struct DetectRule
{
    bool (*matches)(const uint8_t *head, size_t size);
    ReaderKind kind;
};

// Tested in this order; the first match wins, and what matches nothing is elementary audio.
constexpr DetectRule kDetectRules[] = {
    {IsMp4, ReaderKind::Mp4},
    {IsAsf, ReaderKind::Asf},
    {IsAvi, ReaderKind::Avi},
    {IsMatroska, ReaderKind::Refused},
    {IsFlv, ReaderKind::Flv},
    {IsProgramStream, ReaderKind::ProgramStream},
    {IsOgg, ReaderKind::Ogg},
    {IsRealMedia, ReaderKind::RealMedia},
    {IsClf, ReaderKind::Clf},
    {IsTransportStream, ReaderKind::TransportStream},
    {IsWave, ReaderKind::Wave},
    {IsQcelp, ReaderKind::Qcelp},
    {IsCmid, ReaderKind::Refused},
    {IsJpeg, ReaderKind::Jpeg},
    {IsRefusedMusic, ReaderKind::Refused},
};

constexpr ReaderKind Detect(const uint8_t *head, size_t size)
{
    for (const DetectRule &rule : kDetectRules) {
        if (rule.matches(head, size))
            return rule.kind;
    }
    return ReaderKind::ElementaryAudio;
}

constexpr uint8_t kClfHead[] = {'C', 'L', 'F', ' '};
constexpr uint8_t kAvixHead[] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', 'X'};
static_assert(Detect(kClfHead, sizeof kClfHead) == ReaderKind::Clf);
static_assert(Detect(kAvixHead, sizeof kAvixHead) == ReaderKind::Avi);
static_assert(Detect(kAvixHead, 0) == ReaderKind::ElementaryAudio);

wchar_t AsciiLower(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? c - L'A' + L'a' : c;
}

// The text after the last '.', compared without regard to ASCII case.
bool ExtensionIs(const wchar_t *locator, const wchar_t *extension)
{
    const wchar_t *dot = std::wcsrchr(locator, L'.');
    if (!dot)
        return false;
    const wchar_t *a = dot + 1;
    const wchar_t *b = extension;
    for (; *a && *b; ++a, ++b) {
        if (AsciiLower(*a) != *b)
            return false;
    }
    return *a == 0 && *b == 0;
}

bool StartsWithAscii(const wchar_t *text, const char *prefix)
{
    for (; *prefix; ++prefix, ++text) {
        if (*text != static_cast<unsigned char>(*prefix))
            return false;
    }
    return true;
}

} // namespace

const ReaderEntry &ReaderFor(ReaderKind kind)
{
    return kReaders[static_cast<size_t>(kind)];
}

ReaderKind DetectContainer(const uint8_t *head, size_t size)
{
    return Detect(head, size);
}

bool IsSessionLocator(const wchar_t *locator, bool hasAlternativeLocator)
{
    for (const SessionScheme &scheme : kSessionSchemes) {
        if (StartsWithAscii(locator, scheme.szPrefix))
            return true;
    }
    return !hasAlternativeLocator && ExtensionIs(locator, L"sdp");
}

int32_t FormatHintOf(const wchar_t *locator)
{
    if (ExtensionIs(locator, L"evrc"))
        return 337;
    if (ExtensionIs(locator, L"qcelp"))
        return 336;
    return 0;
}
