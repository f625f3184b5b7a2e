// The stand-in's device names: what the first-device field and the control channel accept, and
// how the monitor writes them.
#include "tools/standin/device_memory.h"

#include <gtest/gtest.h>

namespace standin {
namespace {

TEST(DeviceNames, ParseByMode) {
    struct Case {
        const wchar_t* text;
        bool fx;
        bool valid;
        Device device;
    } cases[] = {
        {L"X000", false, true, {L'X', 0}}, {L"X1F", false, true, {L'X', 31}},
        {L"y1f", false, true, {L'Y', 31}}, {L"M1FFF", false, true, {L'M', 0x1FFF}},
        {L"X2000", false, false, {}},      {L"X0000000000002000", false, false, {}},
        {L"X17", true, true, {L'X', 15}},  {L"X08", true, false, {}},
        {L"X1F", true, false, {}},         {L"X17777", true, true, {L'X', 8191}},
        {L"X20000", true, false, {}},      {L"X", false, false, {}},
        {L"", false, false, {}},           {L"Q10", false, false, {}},
        {L"X 10", false, false, {}},       {L"X10 ", false, false, {}},
        {L"X-1", false, false, {}},        {L"XX1", false, false, {}},
    };
    for (const auto& c : cases) {
        auto parsed = ParseDevice(c.text, c.fx);
        EXPECT_EQ(parsed.has_value(), c.valid) << (c.fx ? "fx " : "hex ") << c.text;
        if (parsed && c.valid) {
            EXPECT_EQ(*parsed, c.device) << c.text;
        }
    }
}

TEST(DeviceNames, WrittenWithAtLeastThreeDigits) {
    EXPECT_EQ(FormatDevice({L'X', 0}, false), L"X000");
    EXPECT_EQ(FormatDevice({L'Y', 31}, false), L"Y01F");
    EXPECT_EQ(FormatDevice({L'Y', 31}, true), L"Y037");
    EXPECT_EQ(FormatDevice({L'M', 0x1FFF}, false), L"M1FFF");
    EXPECT_EQ(FormatDevice({L'M', 0x1FFF}, true), L"M17777");
    for (int n : {0, 7, 8, 63, 64, 511, 4095, 8191})
        for (bool fx : {false, true})
            EXPECT_EQ(ParseDevice(FormatDevice({L'X', n}, fx), fx), (Device{L'X', n})) << n;
}

TEST(DeviceNames, OffsetsStayInsideTheMemory) {
    EXPECT_EQ(DeviceAt({L'X', 10}, 5), (Device{L'X', 15}));
    EXPECT_FALSE(DeviceAt({L'X', 10}, -1));
    EXPECT_TRUE(DeviceAt({L'X', 8190}, 1));
    EXPECT_FALSE(DeviceAt({L'X', 8190}, 2));
}

}  // namespace
}  // namespace standin
