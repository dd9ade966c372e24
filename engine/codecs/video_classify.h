#pragma once

#include <cstdint>

// Whether a compressed sample starts a picture that needs no earlier one: the answers of a
// decoder's classify operation, worked out from the bitstream alone.
constexpr int32_t kClassifySyncPoint = 1;
constexpr int32_t kClassifyNotSyncPoint = 2;

// MPEG-4 Part 2: the coding type of the first VOP (I-VOP is a sync point); a sample without a
// VOP start code is read as an H.263 picture header (INTRA is a sync point).
int32_t ClassifyMpeg4Sample(const uint8_t *sample, uint32_t length);

// DivX 3 (MS-MPEG4 v3): the picture type in the first two bits.
int32_t ClassifyMsMpeg4Sample(const uint8_t *sample, uint32_t length);

// H.264: an IDR slice or a recovery point SEI anywhere in the sample is a sync point.
// lengthSize 1, 2 or 4 reads length-prefixed NAL units (avcC samples); 0 reads Annex B start
// codes.
int32_t ClassifyH264Sample(const uint8_t *sample, uint32_t length, int lengthSize);

// The NAL length size an avcC record declares, or 0 when the extra data is not one (Annex B).
int H264LengthSizeFromExtraData(const uint8_t *extra, uint32_t length);

// HEVC: an IRAP picture (IDR, CRA, BLA) anywhere in the sample is a sync point. lengthSize as
// for H.264 (hvcC samples carry length prefixes).
int32_t ClassifyHevcSample(const uint8_t *sample, uint32_t length, int lengthSize);

// The NAL length size an hvcC record declares, or 0 when the extra data is not one (Annex B).
int HevcLengthSizeFromExtraData(const uint8_t *extra, uint32_t length);
