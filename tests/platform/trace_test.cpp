#include <string>

#include <gtest/gtest.h>

#include "platform/trace.h"

// Runs with ROADLOG_TRACE=1 (see CMakeLists.txt).
TEST(Trace, WideFormatsReachStderrAsUtf8)
{
    ASSERT_TRUE(TraceEnabled());
    testing::internal::CaptureStderr();
    Trace(L"Play nCount=%d, nSelect=%d, g_PlayInfor.nListType=%d \r\n", 3, -1, 0);
    Trace(L"%ls\r\n", L"E\u00E9");
    TraceA("%s %d\r\n", "CMPlayer.cpp", 7);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Play nCount=3, nSelect=-1, g_PlayInfor.nListType=0 \r\n"
              "E\xC3\xA9\r\n"
              "CMPlayer.cpp 7\r\n");
}

TEST(Trace, OverlongTextIsCutNotOverrun)
{
    const std::wstring wide(5000, L'w');
    const std::string narrow(5000, 'n');
    testing::internal::CaptureStderr();
    Trace(L"%ls", wide.c_str());
    TraceA("%s", narrow.c_str());
    const std::string out = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, std::string(1023, 'w') + std::string(1023, 'n'));
}
