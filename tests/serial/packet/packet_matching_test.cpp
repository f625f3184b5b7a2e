// Cutting received bytes into packets: the program's line configuration, start strings, case,
// wildcards, sizes, IncludeStrings, several packets on one port, and the growing buffer.
#include "tests/serial/packet/packet_fixture.h"

using Matching = PacketFixture;

namespace {
const std::string CRLF = "\r\n";
}

TEST_F(Matching, LinesInTheProgramsConfiguration) {
    struct Case {
        const char* name;
        std::vector<std::string> reads;
        std::vector<std::string> lines;
    } cases[] = {
        {"a line in one read", {"CPU\r\n"}, {"CPU\r\n"}},
        {"two lines in one read", {"CPU\r\nREAD\r\n"}, {"CPU\r\n", "READ\r\n"}},
        {"a line split across reads", {"CP", "U\r\n"}, {"CPU\r\n"}},
        {"a bare CR LF", {"\r\n"}, {"\r\n"}},
        {"A CR CR LF", {"A\r\r\n"}, {"A\r\r\n"}},
        {"A CR B LF", {"A\rB\n"}, {}},
        {"A CR B LF, then a line end", {"A\rB\n", "\r\n"}, {"A\rB\n\r\n"}},
        {"CR and LF in separate reads", {"READ\r", "\n", "CPU\r\n"}, {"READ\r\n", "CPU\r\n"}},
        {"three lines and a partial one", {"A\r\nB\r\nC\r\nDE"}, {"A\r\n", "B\r\n", "C\r\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        TSioDataPacket& p = LinePacket();
        for (const std::string& r : c.reads) Feed(r);
        EXPECT_EQ(Got, c.lines);
        EXPECT_TRUE(p.Enabled()) << "re-armed after each line";
        EXPECT_EQ(p.PacketMode(), TPacketMode::dpCollecting);
    }
}

TEST_F(Matching, ALineLongerThanTheDispatchBufferArrivesWhole) {
    LinePacket();
    std::string line(20000, 'x');
    for (size_t i = 0; i < line.size(); ++i) line[i] = static_cast<char>('a' + i % 26);
    line += CRLF;
    Feed(line.substr(0, 8192));
    EXPECT_EQ(Manager->BufferCapacity(), 8192);
    Feed(line.substr(8192, 8192));
    EXPECT_EQ(Manager->BufferCapacity(), 16384) << "grows in 8192-byte steps";
    Feed(line.substr(16384));
    ASSERT_EQ(Got.size(), 1u);
    EXPECT_EQ(Got[0], line);
    EXPECT_EQ(Manager->BufferCapacity(), 0) << "released once empty";
    Feed("READ\r\n");
    EXPECT_EQ(Got.back(), "READ\r\n");
}

TEST_F(Matching, BytesNoPacketIsMatchingAreDropped) {
    TSioDataPacket& p = AddPacket();
    p.SetStartString("OK");
    p.SetEnabled(true);
    Feed("xxxxxxxx");
    EXPECT_EQ(Manager->BufferedBytes(), 0);
    Feed("xxO");
    EXPECT_EQ(Manager->BufferedBytes(), 3) << "a partial start match keeps the buffer";
    Feed("K");
    EXPECT_EQ(Got, std::vector<std::string>{"OK"});
    EXPECT_EQ(Manager->BufferedBytes(), 0);
}

TEST_F(Matching, StartStringWithoutEndConditionMakesEachOccurrenceAPacket) {
    TSioDataPacket& p = AddPacket();
    p.SetStartString("OK");
    p.SetEnabled(true);
    Feed("xxOKyyOKOKo");
    Feed("k");
    EXPECT_EQ(Got, (std::vector<std::string>{"OK", "OK", "OK", "ok"}));
}

TEST_F(Matching, IgnoreCaseFoldsAsciiLettersOnly) {
    struct Case {
        bool ignoreCase;
        std::string input;
        size_t packets;
    } cases[] = {
        {true, "ABC", 1},  {true, "abc", 1},  {true, "aBc", 1},
        {false, "ABC", 0}, {false, "abc", 1}, {false, "aBc", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input + (c.ignoreCase ? " folded" : " exact"));
        Restart();
        TSioDataPacket& p = AddPacket();
        p.SetIgnoreCase(c.ignoreCase);
        p.SetStartString("abc");
        p.SetEnabled(true);
        Feed(c.input);
        EXPECT_EQ(Got.size(), c.packets);
    }
    Restart();
    TSioDataPacket& high = AddPacket();
    high.SetStartString("\xe9");
    high.SetEnabled(true);
    Feed("\xc9");
    EXPECT_TRUE(Got.empty()) << "bytes 128 to 255 are compared exactly";
    Feed("\xe9");
    EXPECT_EQ(Got.size(), 1u);
}

TEST_F(Matching, WildcardsAndEscapesInAStartString) {
    struct Case {
        std::string pattern, input;
        std::vector<std::string> packets;
    } cases[] = {
        {"A?C", "ABC", {"ABC"}},   {"A?C", "A?C", {"A?C"}},   {"A\\?C", "ABC", {}},
        {"A\\?C", "A?C", {"A?C"}}, {"A\\\\", "A\\", {"A\\"}}, {"A\\\\", "AB", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern + " on " + c.input);
        Restart();
        TSioDataPacket& p = AddPacket();
        p.SetStartString(c.pattern);
        p.SetEnabled(true);
        Feed(c.input);
        EXPECT_EQ(Got, c.packets);
    }
}

TEST_F(Matching, OverlappingStartAndEndStringsAreNotMissed) {
    TSioDataPacket& p = AddPacket();
    p.SetStartString("AAB");
    p.SetEnabled(true);
    p.SetOnPacket([this](TComponent*, const uint8_t* Data, int32_t Size) {
        // The match begins at the second A: nothing of the first A is in the packet.
        Got.push_back("at " + std::string(reinterpret_cast<const char*>(Data), size_t(Size)));
    });
    Feed("AAAB");
    EXPECT_EQ(Got, (std::vector<std::string>{"at AAB", "AAB"}));

    Restart();
    TSioDataPacket& q = AddPacket();
    q.SetStartCond(TPacketStartCond::scAnyData);
    q.SetEndCond({TPacketEndCond::ecString});
    q.SetEndString("ABAC");
    q.SetEnabled(true);
    Feed("xABABAC");
    EXPECT_EQ(Got, std::vector<std::string>{"xABABAC"});
}

TEST_F(Matching, IncludeStringsFalseDropsStartAndEndStrings) {
    TSioDataPacket& p = AddPacket();
    p.SetIncludeStrings(false);
    p.SetStartString("[");
    p.SetEndCond({TPacketEndCond::ecString});
    p.SetEndString("]");
    p.SetEnabled(true);
    Feed("junk[abc]more[]");
    EXPECT_EQ(Got, (std::vector<std::string>{"abc", ""}));
}

TEST_F(Matching, SizeOnlyPackets) {
    struct Case {
        bool include;
        std::string start;
        int32_t size;
        std::string input;
        std::vector<std::string> packets;
    } cases[] = {
        {true, "AB", 4, "ABCDEF", {"ABCD"}},
        {false, "AB", 4, "ABCDEF", {"CD"}},
        {true, "AB", 2, "xABxAB", {"AB", "AB"}},  // the start string alone fills the size
        {false, "AB", 2, "AB", {""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input + " size " + std::to_string(c.size));
        Restart();
        TSioDataPacket& p = AddPacket();
        p.SetIncludeStrings(c.include);
        p.SetStartString(c.start);
        p.SetEndCond({TPacketEndCond::ecPacketSize});
        p.SetPacketSize(c.size);
        p.SetEnabled(true);
        Feed(c.input);
        EXPECT_EQ(Got, c.packets);
    }

    Restart();
    TSioDataPacket& any = AddPacket();
    any.SetStartCond(TPacketStartCond::scAnyData);
    any.SetEndCond({TPacketEndCond::ecPacketSize, TPacketEndCond::ecString});
    any.SetEndString("\r\n");
    any.SetPacketSize(4);
    any.SetEnabled(true);
    Feed("A\r\nBCDEFG");
    EXPECT_EQ(Got, (std::vector<std::string>{"A\r\n", "BCDE"}));
}

TEST_F(Matching, TwoAnyDataPacketsOnOnePortTakeTurnsByCapture) {
    TSioDataPacket& first = LinePacket("First");
    TSioDataPacket& second = LinePacket("Second");
    EXPECT_EQ(first.PacketMode(), TPacketMode::dpCollecting);
    EXPECT_EQ(second.PacketMode(), TPacketMode::dpIdle) << "held while the first collects";
    Feed("A\r\nB\r\n");
    ASSERT_EQ(Senders.size(), 2u);
    EXPECT_EQ(Senders[0], &first);
    EXPECT_EQ(Senders[1], &first) << "the first enabled one takes the capture after each event";

    first.SetEnabled(false);
    Feed("C\r\n");
    ASSERT_EQ(Senders.size(), 3u);
    EXPECT_EQ(Senders[2], &second);
    EXPECT_EQ(Got.back(), "C\r\n");
}

TEST_F(Matching, ChangingTheEndStringOfAnEnabledPacketDropsItsPartialMatch) {
    TSioDataPacket& p = LinePacket();
    Feed("AB");
    p.SetEndString("X");
    EXPECT_TRUE(p.Enabled());
    Feed("C\r\nDX");
    EXPECT_EQ(Got, std::vector<std::string>{"C\r\nDX"});

    // Changing the start string only counts from the next arming.
    Restart();
    TSioDataPacket& s = AddPacket();
    s.SetStartString("ON");
    s.SetEnabled(true);
    s.SetStartString("GO");
    Feed("GOON");
    EXPECT_EQ(Got, std::vector<std::string>{"ON"});
    Feed("GOON");
    EXPECT_EQ(Got, (std::vector<std::string>{"ON", "GO"})) << "re-armed after the delivery";
}

TEST_F(Matching, DisablingDropsThePartialPacket) {
    TSioDataPacket& p = LinePacket();
    Feed("REA");
    p.SetEnabled(false);
    Feed("D\r\n");
    EXPECT_TRUE(Got.empty());
    p.SetEnabled(true);
    Feed("CPU\r\n");
    EXPECT_EQ(Got, std::vector<std::string>{"CPU\r\n"});
}

TEST_F(Matching, BothEndConditionsWithoutIncludeStringsWhenTheSizeWins) {
    // Ended by size, nothing is an end string to drop; the start string still goes, and the size
    // counts it.
    struct Case {
        TPacketStartCond start;
        std::string input;
        std::vector<std::string> packets;
    } cases[] = {
        {TPacketStartCond::scAnyData, "ABCDEF", {"ABCD"}},
        {TPacketStartCond::scAnyData, "A\r\nBCDE", {"A", "BCDE"}},
        {TPacketStartCond::scAnyData, "ABC\r\n", {"ABC\r"}},
        {TPacketStartCond::scString, "x[ABCDE", {"ABC"}},
        {TPacketStartCond::scString, "[A\r\n", {"A\r\n"}},  // a tie: the size wins
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        Restart();
        TSioDataPacket& p = AddPacket();
        p.SetStartCond(c.start);
        p.SetStartString("[");
        p.SetIncludeStrings(false);
        p.SetEndCond({TPacketEndCond::ecPacketSize, TPacketEndCond::ecString});
        p.SetEndString("\r\n");
        p.SetPacketSize(4);
        p.SetEnabled(true);
        Feed(c.input);
        EXPECT_EQ(Got, c.packets);
    }
}
