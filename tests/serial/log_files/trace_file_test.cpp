// The trace file: its text for runs, renderings and the 78-column wrap, and how it is written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/dispatch/trace_file.h"
#include "tests/serial/log_files/test_files.h"

namespace {

std::vector<TTraceRecord> Entries(char type, const std::string& bytes) {
    std::vector<TTraceRecord> v;
    for (char c : bytes) v.push_back({type, c});
    return v;
}

std::vector<TTraceRecord> operator+(std::vector<TTraceRecord> a,
                                    const std::vector<TTraceRecord>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string Text(const std::vector<TTraceRecord>& v, bool inHex = false, bool allHex = false) {
    return FormatTraceText(inHex, allHex, v, {});
}

TEST(TraceText, ReceiveRunThenTransmitRun) {
    auto v = Entries('R', "OK\r\n") + Entries('T', "AB");
    EXPECT_EQ(Text(v), "Receive: \r\nOK[13][10]\r\n\r\nTransmit: \r\nAB");
}

TEST(TraceText, AlternatingDirectionsGiveAHeaderForEveryEntry) {
    auto v = Entries('R', "a") + Entries('T', "b") + Entries('R', "c");
    EXPECT_EQ(Text(v), "Receive: \r\na\r\n\r\nTransmit: \r\nb\r\n\r\nReceive: \r\nc");
}

TEST(TraceText, SpecialEntriesAreHeadedWithTheirType) {
    auto v = Entries('X', "!") + Entries('R', "r");
    EXPECT_EQ(Text(v), "Special-X: \r\n!\r\n\r\nReceive: \r\nr");
}

TEST(TraceText, OldestEntriesOfAWrappedQueueComeFirst) {
    // A queue of three after five entries holds 4 and 5 at its start and 3 at the write index.
    std::vector<TTraceRecord> ring = {{'R', '4'}, {'R', '5'}, {'R', '3'}};
    std::span<const TTraceRecord> all(ring);
    EXPECT_EQ(FormatTraceText(false, false, all.subspan(2), all.subspan(0, 2)), "Receive: \r\n345");
}

TEST(TraceText, ByteRenderings) {
    struct Case {
        bool inHex, allHex;
        std::string bytes;
        const char* expected;
    };
    const Case cases[] = {
        {false, false, " ", " "},
        {true, false, " ", "[20]"},
        {false, false, "\r", "[13]"},
        {true, false, "\r", "[0D]"},
        {false, true, "A", "[41]"},
        {true, true, "~", "[7E]"},
        {false, false, std::string("\0\x7f\xff", 3), "[0][127][255]"},
        {true, false, std::string("\x7f\xff!~", 4), "[7F][FF]!~"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Text(Entries('R', c.bytes), c.inHex, c.allHex),
                  std::string("Receive: \r\n") + c.expected)
            << "inHex " << c.inHex << " allHex " << c.allHex;
    }
}

TEST(TraceText, LinesWrapAt78Columns) {
    std::string line78(78, 'x');
    EXPECT_EQ(Text(Entries('T', line78)), "Transmit: \r\n" + line78);
    EXPECT_EQ(Text(Entries('T', line78 + "y")), "Transmit: \r\n" + line78 + "\r\ny");
    // An item that would pass column 78 moves whole to the next line.
    std::string line76(76, 'x');
    EXPECT_EQ(Text(Entries('T', line76 + "\r")), "Transmit: \r\n" + line76 + "\r\n[13]");
    // Twenty hexadecimal items are 80 columns: 19 on the first line.
    std::string hexLine;
    for (int i = 0; i < 19; ++i) hexLine += "[41]";
    EXPECT_EQ(Text(Entries('T', std::string(20, 'A')), false, true),
              "Transmit: \r\n" + hexLine + "\r\n[41]");
}

TEST(TraceText, ColumnCountStartsAgainAfterANewRun) {
    std::string line78(78, 'x');
    auto v = Entries('R', std::string(70, 'r')) + Entries('T', line78);
    EXPECT_EQ(Text(v), "Receive: \r\n" + std::string(70, 'r') + "\r\n\r\nTransmit: \r\n" + line78);
}

TEST(TraceFile, WritesTheTextAndReplacesAnOldFile) {
    ScratchFolder dir;
    std::string name = dir.Path("SIO.TRC");
    WriteFileBytes(name, "old contents that must go");
    auto v = Entries('R', "OK\r\n") + Entries('T', "AB");
    EXPECT_EQ(WriteTraceRecords(name, false, false, false, v, {}), 0);
    EXPECT_EQ(ReadFileBytes(name), "Receive: \r\nOK[13][10]\r\n\r\nTransmit: \r\nAB");
}

TEST(TraceFile, NothingRecordedLeavesTheFileAlone) {
    ScratchFolder dir;
    std::string name = dir.Path("SIO.TRC");
    EXPECT_EQ(WriteTraceRecords(name, false, false, false, {}, {}), 0);
    EXPECT_FALSE(std::filesystem::exists(name));
    WriteFileBytes(name, "kept");
    EXPECT_EQ(WriteTraceRecords(name, false, false, false, {}, {}), 0);
    EXPECT_EQ(ReadFileBytes(name), "kept");
}

TEST(TraceFile, AppendKeepsTheOldTraceApartFromTheNewOne) {
    ScratchFolder dir;
    std::string name = dir.Path("SIO.TRC");
    auto first = Entries('T', "AB");
    auto second = Entries('R', "CD");
    ASSERT_EQ(WriteTraceRecords(name, true, false, false, first, {}), 0);  // creates it
    ASSERT_EQ(WriteTraceRecords(name, true, false, false, second, {}), 0);
    EXPECT_EQ(ReadFileBytes(name), "Transmit: \r\nAB\r\n\r\nReceive: \r\nCD");
}

TEST(TraceFile, OpenFailureIsTheNegatedErrorCode) {
    ScratchFolder dir;
    auto v = Entries('R', "x");
    // A missing folder: the system's "path not found".
    EXPECT_EQ(WriteTraceRecords(dir.Path("missing/SIO.TRC"), false, false, false, v, {}), -3);
}

#ifndef _WIN32
TEST(TraceFile, WriteFailureIsTheNegatedErrorCode) {
    // /dev/full accepts the open and fails every write with "disk full".
    auto v = Entries('R', std::string(100000, 'x'));
    EXPECT_EQ(WriteTraceRecords("/dev/full", false, false, false, v, {}), -112);
}
#endif

}  // namespace
