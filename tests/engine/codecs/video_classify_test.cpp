// Synchronisation points told from hand-made bitstream pieces.
#include <vector>

#include <gtest/gtest.h>

#include "engine/codecs/video_classify.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

constexpr int32_t kSync = kClassifySyncPoint;
constexpr int32_t kNot = kClassifyNotSyncPoint;

struct Case
{
    const char *name;
    Bytes sample;
    int32_t expected;
};

const Bytes kVisualObjectSequence = {0x00, 0x00, 0x01, 0xB0, 0x01};
const Bytes kVol = {0x00, 0x00, 0x01, 0x20, 0x00, 0x84, 0x40, 0xFA};
const Bytes kGov = {0x00, 0x00, 0x01, 0xB3, 0x00, 0x10, 0x07};

TEST(ClassifyMpeg4, CodingTypeOfTheFirstVop)
{
    const Case cases[] = {
        {"I-VOP after the headers",
         Join({kVisualObjectSequence, kVol, kGov, {0, 0, 1, 0xB6, 0x10, 0x42}}), kSync},
        {"I-VOP alone", {0, 0, 1, 0xB6, 0x3F, 0xFF}, kSync},
        {"P-VOP", {0, 0, 1, 0xB6, 0x50, 0x00}, kNot},
        {"B-VOP", {0, 0, 1, 0xB6, 0x90, 0x00}, kNot},
        {"S-VOP", {0, 0, 1, 0xB6, 0xD0, 0x00}, kNot},
        {"packed P then B", {0, 0, 1, 0xB6, 0x50, 0x11, 0, 0, 1, 0xB6, 0x90}, kNot},
        {"packed I then B", {0, 0, 1, 0xB6, 0x10, 0x11, 0, 0, 1, 0xB6, 0x90}, kSync},
        {"headers without a VOP", Join({kVisualObjectSequence, kVol}), kNot},
        {"VOP start code cut off", {0, 0, 1, 0xB6}, kNot},
        {"empty", {}, kNot},
        // H.263 picture headers (short video header): PSC, TR, PTYPE.
        {"H.263 INTRA", {0x00, 0x00, 0x80, 0x06, 0x08, 0x00}, kSync},
        {"H.263 INTER", {0x00, 0x00, 0x80, 0x06, 0x0A, 0x00}, kNot},
        {"H.263+ INTRA (PLUSPTYPE, UFEP 1)",
         {0x00, 0x00, 0x80, 0x06, 0x1C, 0x80, 0x00, 0x00, 0x00},
         kSync},
        {"H.263+ INTER (PLUSPTYPE, UFEP 1)",
         {0x00, 0x00, 0x80, 0x06, 0x1C, 0x80, 0x00, 0x04, 0x00},
         kNot},
        {"H.263 header cut off", {0x00, 0x00, 0x80, 0x06}, kNot},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ClassifyMpeg4Sample(c.sample.data(), uint32_t(c.sample.size())), c.expected)
            << c.name;
    EXPECT_EQ(ClassifyMpeg4Sample(nullptr, 0), kNot);
}

TEST(ClassifyMsMpeg4, PictureTypeInTheFirstTwoBits)
{
    const Case cases[] = {
        {"I", {0x1F, 0x00}, kSync},
        {"P", {0x4F, 0x00}, kNot},
        {"empty", {}, kNot},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ClassifyMsMpeg4Sample(c.sample.data(), uint32_t(c.sample.size())), c.expected)
            << c.name;
}

const Bytes kSps = {0x67, 0x42, 0xC0, 0x1E, 0xD9, 0x00};
const Bytes kPps = {0x68, 0xCE, 0x3C, 0x80};
const Bytes kIdr = {0x65, 0x88, 0x84, 0x00};
const Bytes kSlice = {0x41, 0x9A, 0x21, 0x6C};
const Bytes kSeiRecovery = {0x06, 0x06, 0x01, 0x84, 0x80};
const Bytes kSeiBuffering = {0x06, 0x00, 0x01, 0xC0, 0x80};
// user data unregistered (type 5, 16 bytes whose 00 00 01 is escaped to 00 00 03 01), then the
// recovery point in the same NAL unit.
const Bytes kSeiUserDataThenRecovery = {0x06, 0x05, 0x10, 0x00, 0x00, 0x03, 0x01, 4,
                                        5,    6,    7,    8,    9,    10,   11,   12,
                                        13,   14,   15,   16,   0x06, 0x01, 0x84, 0x80};

Bytes AnnexB(std::initializer_list<Bytes> nals)
{
    Bytes out;
    bool first = true;
    for (const Bytes &nal : nals) {
        if (first)
            out.insert(out.end(), {0, 0, 0, 1});
        else
            out.insert(out.end(), {0, 0, 1});
        first = false;
        out.insert(out.end(), nal.begin(), nal.end());
    }
    return out;
}

Bytes Prefixed(int lengthSize, std::initializer_list<Bytes> nals)
{
    Bytes out;
    for (const Bytes &nal : nals) {
        for (int i = lengthSize - 1; i >= 0; --i)
            out.push_back(uint8_t(nal.size() >> (8 * i)));
        out.insert(out.end(), nal.begin(), nal.end());
    }
    return out;
}

TEST(ClassifyH264, IdrOrRecoveryPointInAnnexB)
{
    const Case cases[] = {
        {"SPS PPS IDR", AnnexB({kSps, kPps, kIdr}), kSync},
        {"slice", AnnexB({kSlice}), kNot},
        {"SPS PPS slice", AnnexB({kSps, kPps, kSlice}), kNot},
        {"recovery point SEI, slice", AnnexB({kSeiRecovery, kSlice}), kSync},
        {"buffering period SEI, slice", AnnexB({kSeiBuffering, kSlice}), kNot},
        {"user data then recovery point in one SEI", AnnexB({kSeiUserDataThenRecovery, kSlice}),
         kSync},
        {"SEI sizes past its end", AnnexB({{0x06, 0x05, 0x40, 0x00}, kSlice}), kNot},
        // Length-prefixed samples whose container gave no avcC record.
        {"prefixed without record, IDR", Prefixed(4, {kSps, kIdr}), kSync},
        {"prefixed without record, slice", Prefixed(4, {kSlice}), kNot},
        {"empty", {}, kNot},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ClassifyH264Sample(c.sample.data(), uint32_t(c.sample.size()), 0), c.expected)
            << c.name;
}

TEST(ClassifyH264, LengthPrefixedSamplesOfEachLengthSize)
{
    for (int size : {1, 2, 4}) {
        SCOPED_TRACE(size);
        const Case cases[] = {
            {"IDR", Prefixed(size, {kIdr}), kSync},
            {"slice", Prefixed(size, {kSlice}), kNot},
            {"recovery point then slice", Prefixed(size, {kSeiRecovery, kSlice}), kSync},
            {"slice then IDR", Prefixed(size, {kSlice, kIdr}), kSync},
        };
        for (const Case &c : cases)
            EXPECT_EQ(ClassifyH264Sample(c.sample.data(), uint32_t(c.sample.size()), size),
                      c.expected)
                << c.name;
    }
    // A length that runs past the sample ends the walk without reading beyond it.
    Bytes cut = Prefixed(4, {kSlice, kIdr});
    cut.resize(cut.size() - 2);
    EXPECT_EQ(ClassifyH264Sample(cut.data(), uint32_t(cut.size()), 4), kNot);
}

TEST(ClassifyH264, LengthSizeFromTheAvcCRecord)
{
    const struct
    {
        Bytes extra;
        int size;
    } cases[] = {
        {{0x01, 0x42, 0xC0, 0x1E, 0xFF, 0xE1, 0x00}, 4},
        {{0x01, 0x42, 0xC0, 0x1E, 0xFD, 0xE1, 0x00}, 2},
        {{0x01, 0x42, 0xC0, 0x1E, 0xFC, 0xE1, 0x00}, 1},
        {{0x01, 0x42, 0xC0, 0x1E, 0xFE, 0xE1, 0x00}, 0}, // 3 is no valid size
        {{0x00, 0x00, 0x00, 0x01, 0x67, 0x42, 0xC0}, 0}, // Annex B parameter sets
        {{0x01, 0x42}, 0},
        {{}, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(H264LengthSizeFromExtraData(c.extra.data(), uint32_t(c.extra.size())), c.size);
}

// HEVC NAL units by their two header bytes: the type sits in bits 1..6 of the first.
Bytes HevcNal(int type)
{
    return {uint8_t(type << 1), 0x01, 0xAF, 0x09};
}

TEST(ClassifyHevc, IrapPicturesAreSyncPointsInEitherForm)
{
    const Bytes vps = HevcNal(32), sps = HevcNal(33), pps = HevcNal(34), sei = HevcNal(39);
    const struct
    {
        const char *name;
        Bytes nals[3];
        int32_t expected;
    } cases[] = {
        {"VPS SPS IDR_W_RADL", {vps, sps, HevcNal(19)}, kSync},
        {"IDR_N_LP", {HevcNal(20), {}, {}}, kSync},
        {"CRA", {sei, HevcNal(21), {}}, kSync},
        {"BLA_W_LP", {HevcNal(16), {}, {}}, kSync},
        {"trailing picture", {HevcNal(1), {}, {}}, kNot},
        {"RASL after parameter sets", {pps, HevcNal(8), {}}, kNot},
        {"reserved non-IRAP 24", {HevcNal(24), {}, {}}, kNot},
    };
    for (const auto &c : cases) {
        Bytes annexB, prefixed;
        for (const Bytes &nal : c.nals) {
            if (nal.empty())
                continue;
            annexB.insert(annexB.end(), {0x00, 0x00, 0x00, 0x01});
            annexB.insert(annexB.end(), nal.begin(), nal.end());
            prefixed.insert(prefixed.end(), {0x00, uint8_t(nal.size())});
            prefixed.insert(prefixed.end(), nal.begin(), nal.end());
        }
        EXPECT_EQ(ClassifyHevcSample(annexB.data(), uint32_t(annexB.size()), 0), c.expected)
            << c.name << ", Annex B";
        EXPECT_EQ(ClassifyHevcSample(prefixed.data(), uint32_t(prefixed.size()), 2), c.expected)
            << c.name << ", 2-byte lengths";
    }
    EXPECT_EQ(ClassifyHevcSample(nullptr, 0, 0), kNot);
}

TEST(ClassifyHevc, LengthSizeFromTheHvcCRecord)
{
    Bytes hvcc(23, 0x00);
    hvcc[0] = 0x01;
    const struct
    {
        uint8_t byte21;
        size_t length;
        int size;
    } cases[] = {
        {0xFF, 23, 4}, {0xFD, 23, 2}, {0xFC, 23, 1}, {0xFE, 23, 0}, // 3 is no valid size
        {0xFF, 22, 0},                                              // too short for a record
    };
    for (const auto &c : cases) {
        hvcc[21] = c.byte21;
        EXPECT_EQ(HevcLengthSizeFromExtraData(hvcc.data(), uint32_t(c.length)), c.size)
            << int(c.byte21) << " " << c.length;
    }
    const Bytes annexB = Join({{0x00, 0x00, 0x00, 0x01}, HevcNal(32), Bytes(20, 0xFF)});
    EXPECT_EQ(HevcLengthSizeFromExtraData(annexB.data(), uint32_t(annexB.size())), 0);
    EXPECT_EQ(HevcLengthSizeFromExtraData(nullptr, 0), 0);
}

} // namespace
