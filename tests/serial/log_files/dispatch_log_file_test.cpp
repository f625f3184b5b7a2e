// The dispatch log: its entry lines (prefix, renderings, wrap, texts), its header, and the file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/dispatch/dispatch_log_file.h"
#include "serial/dispatch/io_queue.h"
#include "tests/serial/log_files/test_files.h"

namespace {

using DT = TDispatchType;
using DST = TDispatchSubType;

std::span<const uint8_t> Bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

std::string Entry(DT type, DST subtype, uint32_t time, uint32_t data, const std::string& bytes,
                  bool inHex = false, bool allHex = false) {
    return FormatDispatchEntry(type, subtype, time, data, Bytes(bytes), inHex, allHex);
}

TEST(DispatchLogText, TimeText) {
    EXPECT_EQ(LogTimeText(2500), "0002.500");
    EXPECT_EQ(LogTimeText(1234), "0001.234");
    EXPECT_EQ(LogTimeText(0), "0000.000");
    EXPECT_EQ(LogTimeText(123456789), "123456.789");
    EXPECT_EQ(LogTimeText(4294967295u), "4294967.295");
}

TEST(DispatchLogText, ReadEntryHasThe44CharacterPrefix) {
    std::string line = Entry(DT::dtDispatch, DST::dstReadCom, 2500, 4, "OK\r\n");
    EXPECT_EQ(line, "0002.500  Dispatch  ReadCom       00000004  OK[13][10]\r\n");
    EXPECT_EQ(line.find("OK"), 44u);
}

TEST(DispatchLogText, ZeroLengthReadHasNothingAfterThePrefix) {
    EXPECT_EQ(Entry(DT::dtDispatch, DST::dstReadCom, 0, 0, ""),
              "0000.000  Dispatch  ReadCom       00000000  \r\n");
}

TEST(DispatchLogText, HundredByteReadWrapsOnto44SpaceLines) {
    std::string bytes;
    for (int i = 0; i < 100; ++i) bytes += static_cast<char>('A' + i % 26);
    std::string pad(44, ' ');
    std::string expected = "0000.010  Dispatch  ReadCom       00000064  " + bytes.substr(0, 33) +
                           "\r\n" + pad + bytes.substr(33, 33) + "\r\n" + pad +
                           bytes.substr(66, 33) + "\r\n" + pad + bytes.substr(99) + "\r\n";
    EXPECT_EQ(Entry(DT::dtDispatch, DST::dstReadCom, 10, 100, bytes), expected);
}

TEST(DispatchLogText, WideItemsMoveWholeToTheNextLine) {
    // 31 letters reach column 76; "[13]" would end at 80.
    std::string bytes = std::string(31, 'x') + "\r";
    EXPECT_EQ(Entry(DT::dtDispatch, DST::dstWriteCom, 0, 32, bytes),
              "0000.000  Dispatch  WriteCom      00000020  " + std::string(31, 'x') + "\r\n" +
                  std::string(44, ' ') + "[13]\r\n");
}

TEST(DispatchLogText, ByteRenderings) {
    struct Case {
        DT type;
        bool inHex, allHex;
        std::string bytes;
        const char* expected;
    };
    const Case cases[] = {
        {DT::dtDispatch, false, false, "\r\n", "[13][10]"},
        {DT::dtDispatch, true, false, "\r\n", "[0D][0A]"},
        {DT::dtDispatch, true, false, "a b", "a[20]b"},
        {DT::dtDispatch, false, false, "a b", "a b"},
        {DT::dtDispatch, false, true, "Hi", "[48][69]"},
        {DT::dtUser, false, true, "Hi there", "Hi there"},
        {DT::dtUser, false, false, "x\x01", "x[1]"},
        {DT::dtDispatch, false, false, std::string("\0\xff", 2), "[0][255]"},
    };
    for (const Case& c : cases) {
        std::string line = Entry(c.type, DST::dstReadCom, 0, 0, c.bytes, c.inHex, c.allHex);
        EXPECT_EQ(line.substr(44), std::string(c.expected) + "\r\n")
            << "inHex " << c.inHex << " allHex " << c.allHex;
    }
}

TEST(DispatchLogText, StatusTriggerKindTexts) {
    EXPECT_EQ(Entry(DT::dtTriggerAlloc, DST::dstStatusTrigger, 0, 0x18, "\x03"),
              "0000.000  TrigAllc  Status        00000018  (Output buffer free)\r\n");
    EXPECT_EQ(Entry(DT::dtTriggerDispose, DST::dstStatusTrigger, 0, 0x18, std::string(1, '\0')),
              "0000.000  TrigDisp  Status        00000018  (Not active)\r\n");
    const char* kinds[] = {"(Not active)",         "(Modem status)",       "(Line status)",
                           "(Output buffer free)", "(Output buffer used)", "(Output sent)"};
    for (uint8_t k = 0; k < 6; ++k) EXPECT_EQ(StatusTriggerKindText(k), kinds[k]);
    EXPECT_EQ(StatusTriggerKindText(6), "");
    // A status trigger's data change shows its four bytes, not a kind.
    EXPECT_EQ(Entry(DT::dtTriggerDataChange, DST::dstStatusTrigger, 0, 0x18,
                    std::string("\x10\0\0\0\x01\0", 6))
                  .substr(44),
              "[16][0][0][0][1][0]\r\n");
}

TEST(DispatchLogText, ModemStatusBitNames) {
    EXPECT_EQ(ModemStatusBitsText(0x31), "(DCTS CTS DSR)");
    EXPECT_EQ(ModemStatusBitsText(0xFF), "(DCTS DDSR TERI DDCD CTS DSR RI DCD)");
    EXPECT_EQ(ModemStatusBitsText(0), "()");
    EXPECT_EQ(Entry(DT::dtDispatch, DST::dstModemStatus, 0, 0x90, "!").substr(44),
              "!(CTS DCD)\r\n");
}

TEST(DispatchLogText, LabelsOfTheLoggedEntries) {
    EXPECT_EQ(Entry(DT::dtTrigger, DST::dstAvail, 55, 7, ""),
              "0000.055  Trigger   Avail         00000007  \r\n");
    EXPECT_EQ(Entry(DT::dtTriggerHandlerAlloc, DST::dstEventHandler, 0, 1, ""),
              "0000.000  TrgHdAlc  Method        00000001  \r\n");
    EXPECT_EQ(Entry(DT::dtPacket, DST::dstStringPacket, 0, 0, ""),
              "0000.000  Packet    StringPacket  00000000  \r\n");
    EXPECT_EQ(Entry(DT::dtTriggerDataChange, DST::dstTimerTrigger, 0, 0xABCDEF, "Deactivated"),
              "0000.000  TrDatChg  Timer         00ABCDEF  Deactivated\r\n");
    EXPECT_EQ(DispatchTypeLabel(DT::dtNone), "No event");
    EXPECT_EQ(DispatchTypeLabel(DT::dtScript), "Script");
    EXPECT_EQ(DispatchSubTypeLabel(DST::dstNone), "");
    EXPECT_EQ(DispatchSubTypeLabel(DST::dstThreadDataWritten), "Data Written");
    EXPECT_EQ(DispatchSubTypeLabel(DST::dstPacketTimeout), "PcktTimeout");
}

TEST(DispatchLogText, Header) {
    std::string h = DispatchLogHeader("\\\\.\\COM3", std::string(100, 'o'), "10/12/26, 12:34:56");
    std::vector<std::string> lines;
    for (size_t p = 0; p < h.size();) {
        size_t e = h.find("\r\n", p);
        ASSERT_NE(e, std::string::npos);
        lines.push_back(h.substr(p, e - p));
        p = e + 2;
    }
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "SIO v5.00");
    EXPECT_EQ(lines[1].rfind("Compiler : ", 0), 0u);
    EXPECT_LE(lines[1].size(), 11u + 80u);
    EXPECT_EQ(lines[2], "Operating System : " + std::string(80, 'o'));
    EXPECT_EQ(lines[3], "Device: \\\\.\\COM3");
    EXPECT_EQ(lines[4], "Date/time: 10/12/26, 12:34:56");
    EXPECT_EQ(lines[5], "Time      Type      SubType       Data      OtherData");
    EXPECT_EQ(lines[6], "--------  --------  ------------  --------  ---------");
}

TEST(DispatchLogText, DateTimeUsesTheSeparatorsGiven) {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 0;
    t.tm_mday = 5;
    t.tm_hour = 7;
    t.tm_min = 8;
    t.tm_sec = 9;
    EXPECT_EQ(LogDateTimeText(t, '/', ':'), "05/01/26, 07:08:09");
    EXPECT_EQ(LogDateTimeText(t, '.', '.'), "05.01.26, 07.08.09");
}

void PushEntry(TIOQueue& q, DT type, DST subtype, uint32_t time, uint32_t data,
               const std::string& bytes) {
    q.Push(std::make_unique<TLogBuffer>(type, subtype, time, data,
                                        reinterpret_cast<const uint8_t*>(bytes.data()),
                                        static_cast<int32_t>(bytes.size())));
}

TEST(DispatchLogFile, WritesHeaderAndDrainsTheQueueOldestFirst) {
    ScratchFolder dir;
    std::string name = dir.Path("SIO.LOG");
    TIOQueue q;
    PushEntry(q, DT::dtDispatch, DST::dstReadCom, 2500, 2, "OK");
    PushEntry(q, DT::dtUser, DST::dstNone, 2600, 0, "note");
    ASSERT_EQ(WriteDispatchLogFile(name, false, false, false, "\\\\.\\COM1", q), 0);
    EXPECT_EQ(q.Count(), 0);
    std::string text = ReadFileBytes(name);
    size_t body = text.find("---------\r\n");
    ASSERT_NE(body, std::string::npos);
    EXPECT_EQ(text.rfind("SIO v5.00\r\n", 0), 0u);
    EXPECT_NE(text.find("\r\nDevice: \\\\.\\COM1\r\n"), std::string::npos);
    EXPECT_EQ(text.substr(body + 11),
              "0002.500  Dispatch  ReadCom       00000002  OK\r\n"
              "0002.600  User                    00000000  note\r\n");
}

TEST(DispatchLogFile, AppendAddsASecondBlock) {
    ScratchFolder dir;
    std::string name = dir.Path("SIO.LOG");
    TIOQueue q;
    PushEntry(q, DT::dtUser, DST::dstNone, 0, 0, "first");
    ASSERT_EQ(WriteDispatchLogFile(name, true, false, false, "COM1", q), 0);
    PushEntry(q, DT::dtUser, DST::dstNone, 0, 0, "second");
    ASSERT_EQ(WriteDispatchLogFile(name, true, false, false, "COM1", q), 0);
    std::string text = ReadFileBytes(name);
    EXPECT_EQ(text.find("SIO v5.00"), 0u);
    EXPECT_NE(text.find("first\r\nSIO v5.00\r\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 8), "second\r\n");
}

TEST(DispatchLogFile, EmptyQueueDoesNotCreateTheFile) {
    ScratchFolder dir;
    std::string name = dir.Path("SIO.LOG");
    TIOQueue q;
    EXPECT_EQ(WriteDispatchLogFile(name, false, false, false, "COM1", q), 0);
    EXPECT_FALSE(std::filesystem::exists(name));
}

TEST(DispatchLogFile, OpenFailureKeepsTheEntries) {
    ScratchFolder dir;
    TIOQueue q;
    PushEntry(q, DT::dtUser, DST::dstNone, 0, 0, "kept");
    EXPECT_EQ(WriteDispatchLogFile(dir.Path("missing/SIO.LOG"), false, false, false, "COM1", q),
              -3);
    EXPECT_EQ(q.Count(), 1);
}

#ifndef _WIN32
TEST(DispatchLogFile, WriteFailureIsTheNegatedErrorCode) {
    TIOQueue q;
    for (int i = 0; i < 3000; ++i) PushEntry(q, DT::dtUser, DST::dstNone, 0, 0, "entry text");
    EXPECT_EQ(WriteDispatchLogFile("/dev/full", false, false, false, "COM1", q), -112);
    EXPECT_EQ(q.Count(), 0);  // taken entries are gone
}
#endif

}  // namespace
