#include <string>

#include <gtest/gtest.h>

#include "engine/core/vantor_errors.h"

TEST(VantorErrorText, GivesTheFixedMessagesAndUnknownOtherwise)
{
    const struct
    {
        uint32_t code;
        const char *text;
    } cases[] = {
        {0x80000001, "Memory allocation failed."},
        {0x80000010, "File not found"},
        {0x80000019, "Unsupported file"},
        {0x8000001a, "Stream syntax error"},
        {0x80000044, "Time out is occurerd"},
        {0x8000004f, "Requested URL is moved."},
        {0x80000000, "Unknown error"}, // internal codes have no message
        {0x80000054, "Unknown error"},
        {0x8000004e, "Unknown error"},
        {0, "Unknown error"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(std::string(VantorErrorText(VantorCode(c.code))), c.text) << std::hex << c.code;
    EXPECT_LT(VANTOR_E_UNSUPPORTED_FILE, 0);
}
