#pragma once

#include <cstdint>

// Result codes of every engine operation: 0 is success, failures are 0x8000xxxx and negative
// as signed 32-bit values. The texts of VantorErrorText are fixed and shown to the user.
constexpr int32_t VantorCode(uint32_t value)
{
    return static_cast<int32_t>(value);
}

constexpr int32_t VANTOR_OK = 0;

// Codes with a message.
constexpr int32_t VANTOR_E_OUT_OF_MEMORY = VantorCode(0x80000001);
constexpr int32_t VANTOR_E_THREAD = VantorCode(0x80000002);
constexpr int32_t VANTOR_E_SYSTEM_INIT = VantorCode(0x80000003);
constexpr int32_t VANTOR_E_NETWORK_SYSTEM = VantorCode(0x80000004);
constexpr int32_t VANTOR_E_FILE_NOT_FOUND = VantorCode(0x80000010);
constexpr int32_t VANTOR_E_FILE_CREATION = VantorCode(0x80000011);
constexpr int32_t VANTOR_E_UNSUPPORTED_FUNCTION = VantorCode(0x80000016);
constexpr int32_t VANTOR_E_RANDOM_ACCESS = VantorCode(0x80000017);
constexpr int32_t VANTOR_E_UNSUPPORTED_URL = VantorCode(0x80000018);
constexpr int32_t VANTOR_E_UNSUPPORTED_FILE = VantorCode(0x80000019);
constexpr int32_t VANTOR_E_STREAM_SYNTAX = VantorCode(0x8000001a);
constexpr int32_t VANTOR_E_UNSUPPORTED_AUDIO = VantorCode(0x80000030);
constexpr int32_t VANTOR_E_UNSUPPORTED_VIDEO = VantorCode(0x80000031);
constexpr int32_t VANTOR_E_UNSUPPORTED_TEXT = VantorCode(0x80000032);
constexpr int32_t VANTOR_E_AUDIO_DECODER_INIT = VantorCode(0x80000033);
constexpr int32_t VANTOR_E_VIDEO_DECODER_INIT = VantorCode(0x80000034);
constexpr int32_t VANTOR_E_TEXT_DECODER_INIT = VantorCode(0x80000035);
constexpr int32_t VANTOR_E_AUDIO_OUTPUT_INIT = VantorCode(0x8000003b);
constexpr int32_t VANTOR_E_VIDEO_OUTPUT_INIT = VantorCode(0x8000003c);
constexpr int32_t VANTOR_E_PROTOCOL_SYNTAX = VantorCode(0x80000041);
constexpr int32_t VANTOR_E_RECV = VantorCode(0x80000043);
constexpr int32_t VANTOR_E_TIME_OUT = VantorCode(0x80000044);
constexpr int32_t VANTOR_E_SERVER_ERROR = VantorCode(0x80000045);
constexpr int32_t VANTOR_E_NO_CONNECTION = VantorCode(0x80000046);
constexpr int32_t VANTOR_E_DISCONNECTED = VantorCode(0x80000047);
constexpr int32_t VANTOR_E_NO_DATA_RECEIVED = VantorCode(0x80000049);
constexpr int32_t VANTOR_E_INVALID_REQUEST = VantorCode(0x8000004a);

// Internal codes without a message.
constexpr int32_t VANTOR_E_INVALID_ARG = VantorCode(0x80000000);
constexpr int32_t VANTOR_E_READ = VantorCode(0x80000012);
constexpr int32_t VANTOR_E_WRITE = VantorCode(0x80000013);
constexpr int32_t VANTOR_E_SEEK = VantorCode(0x80000015);
constexpr int32_t VANTOR_E_BUFFER_TOO_SMALL = VantorCode(0x80000051);
// A read that used up its slice of work without an answer: ask again (the kind goes on).
constexpr int32_t VANTOR_E_AGAIN = VantorCode(0x80000052);
constexpr int32_t VANTOR_E_NOT_YET = VantorCode(0x80000053);
constexpr int32_t VANTOR_E_END_OF_STREAM = VantorCode(0x80000054);
constexpr int32_t VANTOR_E_PICTURE_REPEATED = VantorCode(0x80000056);
constexpr int32_t VANTOR_E_NO_STREAM = VantorCode(0x80000057);
constexpr int32_t VANTOR_E_LATE_CLASS_1 = VantorCode(0x80000058);
constexpr int32_t VANTOR_E_LATE_CLASS_2 = VantorCode(0x80000059);
constexpr int32_t VANTOR_E_LATE_CLASS_3 = VantorCode(0x8000005a);
constexpr int32_t VANTOR_E_LATE_CLASS_4 = VantorCode(0x8000005b);

// The message of the error table, "Unknown error" for any other value. Static text.
const char *VantorErrorText(int32_t code);
