#include <string>

#include <gtest/gtest.h>

#include "engine/core/vantor_errors.h"
#include "engine/source/detect.h"
#include "engine/source/source_object.h"
#include "source_test_util.h"

namespace {

std::vector<uint8_t> Head(const std::string &bytes, size_t padTo = 0)
{
    std::vector<uint8_t> head(bytes.begin(), bytes.end());
    if (head.size() < padTo)
        head.resize(padTo, 0x11);
    return head;
}

struct DetectCase
{
    const char *name;
    std::string bytes;
    ReaderKind kind;
};

const std::string kAsfGuid("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16);

const DetectCase kDetectCases[] = {
    {"mp4 ftyp",
     std::string("\0\0\0\x18"
                 "ftypisom",
                 12),
     ReaderKind::Mp4},
    {"mp4 mdat",
     std::string("\0\0\0\x08"
                 "mdat",
                 8),
     ReaderKind::Mp4},
    {"mp4 moov",
     std::string("\0\0\0\x08"
                 "moov",
                 8),
     ReaderKind::Mp4},
    {"asf", kAsfGuid, ReaderKind::Asf},
    {"asf guid cut short", kAsfGuid.substr(0, 15), ReaderKind::ElementaryAudio},
    {"avi",
     std::string("RIFF\x10\0\0\0"
                 "AVI LIST",
                 16),
     ReaderKind::Avi},
    {"avix",
     std::string("RIFF\x10\0\0\0"
                 "AVIX",
                 12),
     ReaderKind::Avi},
    {"matroska",
     std::string("\x1A\x45\xDF\xA3\x93\x42\x82\x88"
                 "matroska",
                 16),
     ReaderKind::Refused},
    {"flv", "FLV\x01", ReaderKind::Flv},
    {"program stream pack", std::string("\0\0\x01\xBA", 4), ReaderKind::ProgramStream},
    {"riff cdxa", std::string("RIFF\0\0\0\0CDXA", 12), ReaderKind::ProgramStream},
    {"ogg", "OggS", ReaderKind::Ogg},
    {"realmedia", ".RMF", ReaderKind::RealMedia},
    {"clf", "CLF ", ReaderKind::Clf},
    {"clf on three letters", "CLFX", ReaderKind::Clf},
    {"transport stream", "G\x40\x11", ReaderKind::TransportStream},
    {"wave", std::string("RIFF\0\0\0\0WAVEfmt ", 16), ReaderKind::Wave},
    {"qcelp", std::string("RIFF\0\0\0\0QLCM", 12), ReaderKind::Qcelp},
    {"riff of another form", std::string("RIFF\0\0\0\0XYZW", 12), ReaderKind::ElementaryAudio},
    {"cmid", "cmid", ReaderKind::Refused},
    {"jpeg", "\xFF\xD8\xFF\xE0", ReaderKind::Jpeg},
    {"refused 024A3A51", "\x02\x4A\x3A\x51", ReaderKind::Refused},
    {"refused BEGI", "BEGIN:IMELODY", ReaderKind::Refused},
    {"refused MMMD", "MMMD", ReaderKind::Refused},
    {"refused MThd", "MThd", ReaderKind::Refused},
    {"refused XMF_", "XMF_2.00", ReaderKind::Refused},
    {"refused melo", "melo", ReaderKind::Refused},
    {"mpeg audio", "\xFF\xFB\x90\x64", ReaderKind::ElementaryAudio},
    {"amr", "#!AMR\n", ReaderKind::ElementaryAudio},
    {"empty", "", ReaderKind::ElementaryAudio},
};

TEST(DetectContainer, EachSignatureOnShortAndFullWindows)
{
    for (const DetectCase &c : kDetectCases) {
        // As given (a file shorter than the window), and padded out to a full window.
        for (size_t pad : {size_t{0}, size_t{kDetectWindow}}) {
            const std::vector<uint8_t> head = Head(c.bytes, pad ? pad : 0);
            EXPECT_EQ(DetectContainer(head.data(), head.size()), c.kind)
                << c.name << (pad ? " padded" : " short");
        }
    }
}

TEST(DetectContainer, OrderDecidesBetweenOverlappingSignatures)
{
    // Each head matches two rules; the earlier one wins.
    struct Overlap
    {
        const char *name;
        std::string bytes;
        ReaderKind kind;
    };
    const Overlap overlaps[] = {
        {"avi before matroska", std::string("RIFF\0\0\0\0AVI matroska", 20), ReaderKind::Avi},
        {"mp4 before transport stream", std::string("G\0\0\0ftyp", 8), ReaderKind::Mp4},
        {"cmid refused before jpeg test", "cmid\xFF\xD8", ReaderKind::Refused},
        {"matroska before clf", std::string("CLF     matroska", 16), ReaderKind::Refused},
    };
    for (const Overlap &o : overlaps) {
        const std::vector<uint8_t> head = Head(o.bytes);
        EXPECT_EQ(DetectContainer(head.data(), head.size()), o.kind) << o.name;
    }
}

TEST(Locator, SessionRuleAndFormatHint)
{
    struct Case
    {
        const wchar_t *locator;
        bool hasAlternative;
        bool session;
        int32_t hint;
    };
    const Case cases[] = {
        {L"rtsp://cam/live", false, true, 0},      {L"rtspt://cam/live", true, true, 0},
        {L"rtspu://cam/live", false, true, 0},     {L"rtsph://cam/live", false, true, 0},
        {L"rtspm://cam/live", false, true, 0},     {L"rtspr://cam/live", false, true, 0},
        {L"RTSP://cam/live", false, false, 0},     {L"/card/x.sdp", false, true, 0},
        {L"/card/x.SDP", false, true, 0},          {L"/card/x.sdp", true, false, 0},
        {L"/card/x.sdp.avi", false, false, 0},     {L"/card.sdp/clip", false, false, 0},
        {L"/card/x.sdpx", false, false, 0},        {L"/card/voice.evrc", false, false, 337},
        {L"/card/voice.QCELP", false, false, 336}, {L"/card/voice.qcelp.bak", false, false, 0},
        {L"/card/noextension", false, false, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(IsSessionLocator(c.locator, c.hasAlternative), c.session)
            << WideToUtf8(c.locator) << " alt " << c.hasAlternative;
        EXPECT_EQ(FormatHintOf(c.locator), c.hint) << WideToUtf8(c.locator);
    }
}

std::vector<uint8_t> MinimalClf()
{
    ByteBuilder b;
    b.Text("CLF ").Word(1000).Word(0).Word(0).Word(0).Word(0).Word(0);
    b.Record(0x74646174, 0, 3).Word(0).Word(0).Word(0).Word(0);
    return b.bytes;
}

struct OpenOutcome
{
    int32_t result;
    ReaderKind kind;
};

OpenOutcome OpenPath(const std::string &path, const wchar_t *alternative = nullptr,
                     SourceOpenRequest *out = nullptr)
{
    const std::wstring locator = Wide(path);
    SourceOpenRequest request{};
    request.szLocator = locator.c_str();
    request.szAlternativeLocator = alternative;
    SourceObject *source = nullptr;
    const int32_t result = SourceOpen(&request, &source);
    const ReaderKind kind = source ? source->kind : ReaderKind::Refused;
    SourceClose(source);
    if (out)
        *out = request;
    return {result, kind};
}

TEST(SourceOpen, SignaturesThroughFiles)
{
    TempFolder folder;
    int i = 0;
    for (const DetectCase &c : kDetectCases) {
        if (c.kind == ReaderKind::Clf)
            continue; // the CLF reader checks four letters; covered below
        const std::string path = folder.Write("f" + std::to_string(i++), Head(c.bytes, 4096));
        if (c.kind == ReaderKind::Avi) {
            // The AVI reader is built in and takes "AVI " and "AVIX" forms.
            EXPECT_EQ(OpenPath(path).result, VANTOR_OK) << c.name;
            EXPECT_EQ(OpenPath(path).kind, ReaderKind::Avi) << c.name;
            continue;
        }
        const OpenOutcome outcome = OpenPath(path);
        if (c.kind == ReaderKind::Refused) {
            // Refused even though the whole window was read.
            EXPECT_EQ(outcome.result, VANTOR_E_UNSUPPORTED_FILE) << c.name;
        } else if (outcome.result == VANTOR_OK) {
            EXPECT_EQ(outcome.kind, c.kind) << c.name;
        } else if (c.kind == ReaderKind::ElementaryAudio) {
            // Neither MPEG audio nor AMR, or a frame header with nothing behind it.
            EXPECT_TRUE(outcome.result == VANTOR_E_UNSUPPORTED_FILE ||
                        outcome.result == VANTOR_E_STREAM_SYNTAX)
                << c.name << " " << outcome.result;
        } else {
            // A bare signature in zeros: the chosen reader finds no container behind it.
            EXPECT_EQ(outcome.result, VANTOR_E_STREAM_SYNTAX) << c.name;
        }
    }
}

TEST(SourceOpen, ResultsByLocatorAndContent)
{
    TempFolder folder;
    const std::string clf = folder.Write("clip.avi", MinimalClf());
    std::vector<uint8_t> wrongMagic = MinimalClf();
    wrongMagic[3] = 'X';
    const std::string clfx = folder.Write("clfx.avi", wrongMagic);
    const std::string sdpNamed = folder.Write("clip.sdp", MinimalClf());

    EXPECT_EQ(OpenPath(clf).result, VANTOR_OK);
    EXPECT_EQ(OpenPath(clf).kind, ReaderKind::Clf);
    EXPECT_EQ(OpenPath(clfx).result, VANTOR_E_STREAM_SYNTAX);
    EXPECT_EQ(OpenPath(folder.Path("missing.avi")).result, VANTOR_E_FILE_NOT_FOUND);
    // Nothing listens on port 1 of this machine.
    EXPECT_EQ(OpenPath("http://127.0.0.1:1/clip.avi").result, VANTOR_E_NO_CONNECTION);
    // Session locators go to the session reader: nothing listens on port 1 here, and the
    // ".sdp" file opens there (its get info finds no RTP stream in it).
    EXPECT_EQ(OpenPath("rtsp://127.0.0.1:1/clip").result, VANTOR_E_NO_CONNECTION);
    EXPECT_EQ(OpenPath(sdpNamed).kind, ReaderKind::Rtsp);
    // With an alternative locator the sdp name no longer matters: the stream comes from there.
    const std::wstring alternative = Wide(clf);
    EXPECT_EQ(OpenPath(sdpNamed, alternative.c_str()).result, VANTOR_OK);
}

TEST(SourceOpen, WritesSizeAndHintIntoTheRequest)
{
    TempFolder folder;
    const std::vector<uint8_t> bytes = MinimalClf();
    const std::string path = folder.Write("voice.EVRC", bytes);
    SourceOpenRequest request{};
    ASSERT_EQ(OpenPath(path, nullptr, &request).result, VANTOR_OK);
    EXPECT_EQ(request.nStreamArgument, bytes.size());
    EXPECT_EQ(request.nFormatHint, 337);

    const std::wstring alternative = Wide(path);
    ASSERT_EQ(OpenPath(folder.Path("named.qcelp"), alternative.c_str(), &request).result,
              VANTOR_OK);
    EXPECT_EQ(request.nStreamArgument, 0u) << "left alone with an alternative locator";
    EXPECT_EQ(request.nFormatHint, 336) << "the hint follows the locator, not the stream";
}

TEST(SourceOpen, MemoryBlockIsNotReadAsAName)
{
    const std::vector<uint8_t> clf = MinimalClf();
    std::vector<uint8_t> block(4 + clf.size());
    block[2] = static_cast<uint8_t>(clf.size() >> 8);
    block[3] = static_cast<uint8_t>(clf.size());
    std::copy(clf.begin(), clf.end(), block.begin() + 4);
    SourceOpenRequest request{};
    request.szLocator = reinterpret_cast<const wchar_t *>(block.data());
    request.nStreamArgument = block.size();
    SourceObject *source = nullptr;
    ASSERT_EQ(SourceOpen(&request, &source), VANTOR_OK);
    EXPECT_EQ(source->kind, ReaderKind::Clf);
    EXPECT_EQ(request.nStreamArgument, clf.size());
    SourceClose(source);
}

} // namespace
