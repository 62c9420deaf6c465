// The trace and levelled log channels and the memory report.
#include <gtest/gtest.h>

#include <string>

#include "tests/test_support.h"

namespace zt {
namespace {

class LevelledLog : public ::testing::Test {
protected:
    void SetUp() override { saved_ = LogSetMask(LOG_WARNING | LOG_ERROR); }
    void TearDown() override { LogSetMask(saved_); }
    std::uint32_t saved_ = 0;
};

TEST_F(LevelledLog, InitialMaskPassesOnlyWarningsAndErrors) {
    EXPECT_EQ(LogGetMask(), 0x30u);
    ::testing::internal::CaptureStdout();
    LogPrintf(LOG_ERROR, "disk %d", 1);
    LogPrintf(LOG_WARNING, "low %s", "memory");
    for (std::int32_t level : {LOG_TRACE, LOG_DBG, LOG_INFO, LOG_MEM, LOG_ASSERT})
        EXPECT_EQ(LogPrintf(level, "dropped"), 0);
    LogPrintf(0x30, "combined");  // passes the mask, but no single level: no prefix
    EXPECT_EQ(LogPrintf(0, "never"), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "error: disk 1\nwarning: low memory\ncombined\n");
}

TEST_F(LevelledLog, SetMaskReturnsThePreviousMaskAndPrefixesFollowTheLevel) {
    EXPECT_EQ(LogSetMask(0x7F), 0x30u);
    ::testing::internal::CaptureStdout();
    LogPrintf(LOG_TRACE, "a");
    LogPrintf(LOG_DBG, "b");
    LogPrintf(LOG_INFO, "c");
    LogPrintf(LOG_MEM, "d");
    LogPrintf(LOG_ASSERT, "e");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "trace: a\ndbg: b\ninfo: c\nmem: d\nassert: e\n");
    EXPECT_EQ(LogSetMask(0), 0x7Fu);
}

TEST_F(LevelledLog, LongMessagesAreCutAt511Characters) {
    const std::string text(600, 'x');
    ::testing::internal::CaptureStdout();
    LogPrintf(LOG_ERROR, "%s", text.c_str());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "error: " + std::string(511, 'x') + "\n");
}

TEST_F(LevelledLog, ShutdownSilencesTheLevelledChannelButNotTheTrace) {
    LogShutdown();
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(LogPrintf(LOG_ERROR, "after shutdown"), 0);
    EXPECT_EQ(TraceLog("still %s", "tracing"), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "still tracing\n");
}

TEST(TraceChannel, LinesHaveNoPrefixAndOneLineEnd) {
    ::testing::internal::CaptureStderr();
    TraceLog("FindState failed for id %d", 42);
    TraceLog("Add Context %u", 7u);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "FindState failed for id 42\nAdd Context 7\n");
}

std::int32_t CallSink(unsigned severity, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::int32_t r = DefaultTraceSink(severity, format, args);
    va_end(args);
    return r;
}

TEST(TraceChannel, SinkSeveritiesFiveAndSixCarryCapitalisedPrefixes) {
    ::testing::internal::CaptureStderr();
    CallSink(5, "w%d", 1);
    CallSink(6, "e%d", 2);
    CallSink(4, "plain");
    CallSink(7, "other");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Warning: w1\nError: e2\nplain\nother\n");
}

TEST(TraceChannel, EmptyHooksDiscardAndReturnZero) {
    TraceSink trace = TraceHook;
    LogSink log = LogHook;
    TraceHook = nullptr;
    LogHook = nullptr;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(TraceLog("gone"), 0);
    EXPECT_EQ(LogPrintf(LOG_ERROR, "gone"), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    TraceHook = trace;
    LogHook = log;
}

TEST(MemoryReport, ListsContextsWithTheirStatesThenEveryState) {
    test::ResetLibrary();
    test::TraceCapture trace;
    LogMemoryReport();
    EXPECT_TRUE(trace.lines().empty());

    E_CREATESTATE2(1);  // 1, listed nowhere
    Dll_Add(7);
    Dll_Context(7);
    E_CREATESTATE2(0);  // 2
    E_CREATESTATE2(1);  // 3
    E_DESTROYSTATE(2);
    E_CREATESTATE2(1);  // 4
    Dll_Add(3);
    trace.clear();
    LogMemoryReport();
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{"Context 3 with 0 states", "Context 7 with 2 states",
                                                       "  state 3", "  state 4", "state 1, gc = 1",
                                                       "state 3, gc = 1", "state 4, gc = 1"}));
}

}  // namespace
}  // namespace zt
