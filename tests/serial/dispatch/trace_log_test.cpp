// The trace and the dispatch log as the dispatcher keeps them: what is recorded on an open port,
// the state after a file is written (or cannot be), the size limits and the log's byte budget.
// The file formats themselves are pinned by the log-file tests.
#include <gtest/gtest.h>

#include <filesystem>

#include "serial/dispatch/io_queue.h"
#include "tests/serial/dispatch/dispatch_fixture.h"
#include "tests/serial/log_files/test_files.h"

namespace {

class TraceAndLog : public OpenPort {
  protected:
    // Bytes arrive and are taken by the program, then it sends some.
    void TakeAndSend(const std::string& in, const std::string& out) {
        ReceiveAndPass(in);
        EXPECT_EQ(in, ReadAll());
        EXPECT_EQ(0, d->PutString(out));
    }
    ScratchFolder dir;
};

TEST_F(TraceAndLog, DumpTraceWritesTheTraceAndStartsItAgain) {
    ASSERT_EQ(0, d->InitTracing(100));
    TakeAndSend("OK\r\n", "AB");
    const std::string name = dir.Path("SIO.TRC");
    ASSERT_EQ(0, d->DumpTrace(name, false, false));
    EXPECT_EQ("Receive: \r\nOK[13][10]\r\n\r\nTransmit: \r\nAB", ReadFileBytes(name));
    // Emptied and recording again, at the size it had.
    EXPECT_EQ(0u, d->TraceIndex);
    EXPECT_FALSE(d->TraceWrapped);
    EXPECT_TRUE(d->TracingOn.load());
    EXPECT_EQ(100u, d->TraceMax);

    TakeAndSend("x", "");
    ASSERT_EQ(0, d->AppendTrace(name, false, false));
    EXPECT_EQ("Receive: \r\nOK[13][10]\r\n\r\nTransmit: \r\nAB\r\n\r\nReceive: \r\nx",
              ReadFileBytes(name));
    EXPECT_EQ(0u, d->TraceIndex);
}

TEST_F(TraceAndLog, DumpTraceWithNothingRecordedLeavesTheFileAlone) {
    const std::string name = dir.Path("SIO.TRC");
    EXPECT_EQ(0, d->DumpTrace(name, false, false)) << "no queue at all";
    EXPECT_FALSE(std::filesystem::exists(name));
    WriteFileBytes(name, "kept");
    ASSERT_EQ(0, d->InitTracing(10));
    EXPECT_EQ(0, d->DumpTrace(name, false, false));
    EXPECT_EQ(0, d->AppendTrace(name, false, false));
    EXPECT_EQ("kept", ReadFileBytes(name));
}

TEST_F(TraceAndLog, ATraceFileThatCannotBeOpenedEndsTracing) {
    ASSERT_EQ(0, d->InitTracing(10));
    TakeAndSend("ab", "");
    EXPECT_LT(d->DumpTrace(dir.Path("missing/SIO.TRC"), false, false), 0);
    EXPECT_FALSE(d->TracingOn.load());
    EXPECT_FALSE(d->TraceAllocated) << "the queue is freed";
    d->StartTracing();
    EXPECT_FALSE(d->TracingOn.load()) << "nothing to record into";
    TakeAndSend("cd", "");
    EXPECT_EQ(0u, d->TraceIndex);
}

TEST_F(TraceAndLog, TraceQueueSizeLimitAndAnExistingQueueKeepsItsSize) {
    EXPECT_EQ(-1002, d->InitTracing(4000001));
    EXPECT_FALSE(d->TraceAllocated);
    EXPECT_FALSE(d->TracingOn.load());

    ASSERT_EQ(0, d->InitTracing(3));
    TakeAndSend("abcde", "");
    EXPECT_TRUE(d->TraceWrapped);
    ASSERT_EQ(0, d->InitTracing(50));
    EXPECT_EQ(3u, d->TraceMax) << "the existing queue is only emptied";
    EXPECT_EQ(0u, d->TraceIndex);
    EXPECT_FALSE(d->TraceWrapped);
    EXPECT_EQ(0, d->InitTracing(4000001)) << "an existing queue ignores the size asked for";
    EXPECT_EQ(3u, d->TraceMax);
}

TEST_F(TraceAndLog, DumpDispatchLogWritesAndEmptiesTheQueue) {
    const std::string name = dir.Path("SIO.LOG");
    EXPECT_EQ(0, d->DumpDispatchLog(name, false, false));
    EXPECT_FALSE(std::filesystem::exists(name)) << "an empty log touches no file";

    d->InitDispatchLogging(0);
    TakeAndSend("in", "out");
    d->AddStringToLog("note");
    const int32_t entries = d->DLoggingQueue->Count();
    ASSERT_GE(entries, 3);

    EXPECT_LT(d->DumpDispatchLog(dir.Path("missing/SIO.LOG"), false, false), 0);
    EXPECT_EQ(entries, d->DLoggingQueue->Count()) << "a file that cannot be opened loses nothing";
    EXPECT_TRUE(d->DLoggingOn.load());

    ASSERT_EQ(0, d->DumpDispatchLog(name, false, false));
    const std::string text = ReadFileBytes(name);
    EXPECT_EQ(0u, text.find("SIO v5.00\r\n"));
    for (const char* part : {"ReadCom", "in\r\n", "WriteCom", "out\r\n", "User", "note\r\n"})
        EXPECT_NE(std::string::npos, text.find(part)) << part;
    EXPECT_EQ(0, d->DLoggingQueue->Count());
    EXPECT_TRUE(d->DLoggingOn.load()) << "logging goes on";
}

TEST_F(TraceAndLog, TheLogBudgetDropsTheOldestEntriesBeforeAddingOne) {
    d->InitDispatchLogging(10);
    for (const char* s : {"first.", "second", "third."}) d->AddStringToLog(s);
    ASSERT_EQ(2, d->DLoggingQueue->Count());
    EXPECT_EQ(12, d->DLoggingQueue->BytesQueued()) << "over the budget by the newest entry";
    auto oldest = d->DLoggingQueue->Pop();
    auto* entry = dynamic_cast<TLogBuffer*>(oldest.get());
    ASSERT_NE(nullptr, entry);
    EXPECT_EQ("second", std::string(reinterpret_cast<const char*>(entry->drBuffer()), 6));

    d->InitDispatchLogging(0);
    EXPECT_EQ(0, d->DLoggingQueue->Count()) << "a new start empties the log";
    for (int i = 0; i < 20; ++i) d->AddStringToLog("123456");
    EXPECT_EQ(20, d->DLoggingQueue->Count()) << "0: no budget";
}

}  // namespace
