// The peer's decoding of READ replies and its device naming.
#include "tools/peer/read_reply.h"

#include <gtest/gtest.h>

using namespace peer;

namespace {
std::string Reply(const std::string& kind, const std::string& device, const std::string& words,
                  const std::string& prev) {
    std::string field = (device + "      ").substr(0, 6);
    return kind + field + words + prev + "\r\n";
}
const std::string kZeros(40, '0');
}  // namespace

TEST(ReadReply, ParsesTheWordsAndTheDeviceField) {
    auto r = ParseReadReply(Reply("FX", "X000", "0081" + std::string(36, '0'), kZeros));
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->fx);
    EXPECT_EQ(r->firstDevice, "X000");
    EXPECT_EQ(r->words[0], 0x81);
    EXPECT_EQ(r->prev[0], 0);
}

TEST(ReadReply, RejectsWhatIsNotAReadReply) {
    for (const std::string& line :
         {std::string("OK\r\n"), std::string("??\r\n"), std::string("QL\r\n"),
          Reply("ZZ", "X0", kZeros, kZeros), Reply("QR", "X0", "00G0" + kZeros.substr(4), kZeros),
          Reply("QR", "X0", kZeros, kZeros).substr(1)})
        EXPECT_FALSE(ParseReadReply(line)) << line;
}

TEST(ReadReply, NamesDevicesInTheBaseOfTheMode) {
    struct Case {
        std::string first;
        int base;
        uint32_t offset;
        std::string name;
    } cases[] = {
        {"X000", 8, 8, "X010"},  {"X000", 8, 7, "X007"},   {"Y1F", 16, 1, "Y20"},
        {"XA0", 16, 0x10, "XB0"}, {"X0", 16, 159, "X9F"}, {"M", 16, 0, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(DeviceNameAt(c.first, c.base, c.offset), c.name) << c.first;
}

TEST(ReadReply, DecodesRowsOfEightInFxModeAndMarksChanges) {
    std::string words = "0081" + std::string(4, '0') + "0100" + std::string(28, '0');
    auto r = ParseReadReply(Reply("FX", "X000", words, "0001" + kZeros.substr(4)));
    ASSERT_TRUE(r);
    auto devices = DecodeDevices(*r);
    ASSERT_EQ(devices.size(), 80u);
    EXPECT_TRUE(devices[0].on);
    EXPECT_FALSE(devices[0].changed);
    EXPECT_TRUE(devices[7].on);
    EXPECT_TRUE(devices[7].changed);
    EXPECT_EQ(devices[7].name, "X007");
    // Bit 8 of an FX row is not a device: row 2's word 0x0100 names nothing.
    EXPECT_EQ(devices[16].name, "X020");
    EXPECT_FALSE(devices[16].on);
}

TEST(ReadReply, DecodesRowsOfSixteenOutsideFxMode) {
    auto r = ParseReadReply(Reply("QR", "X020", "8000" + kZeros.substr(4), kZeros));
    ASSERT_TRUE(r);
    auto devices = DecodeDevices(*r);
    ASSERT_EQ(devices.size(), 160u);
    EXPECT_EQ(devices[15].name, "X02F");
    EXPECT_TRUE(devices[15].on);
    std::string table = FormatDeviceTable(*r);
    EXPECT_NE(table.find("ON: X02F"), std::string::npos) << table;
}
