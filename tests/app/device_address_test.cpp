// Device number conversions and the step buttons of the main page.
#include "app/device_address.h"

#include <gtest/gtest.h>

#include <optional>

#include "app/main_window.h"
#include "app/serial_services_double.h"

namespace {

std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

TEST(DeviceAddress, OctalReading) {
    const struct {
        std::wstring text;
        int32_t def;
        int32_t value;
    } cases[] = {
        {L"", -1, 0},
        {L"0", -1, 0},
        {L"7", -1, 7},
        {L"10", -1, 8},
        {L"077", -1, 63},
        {L"107", -1, 71},
        {L"08", -1, -1},
        {L"80", 5, 5},
        {L"81", 5, 5},
        {L"1 ", -1, -1},
        {L"-1", 9, 9},
        {L"X0", 3, 3},
        {L"37777777777", 0, -1},
        {L"777", 0, 511},
    };
    for (const auto& c : cases) EXPECT_EQ(OctToInt(c.text, c.def), c.value) << Narrow(c.text);
}

// A long text is read in one pass and wraps at 32 bits as the digit-by-digit sum does: 8^11 and
// every higher power are 0 modulo 2^32, so only the last 11 digits count.
TEST(DeviceAddress, OctalReadingOfLongTexts) {
    const std::wstring tail = L"37777777777";  // 2^32 - 1
    EXPECT_EQ(OctToInt(std::wstring(100000, L'7') + tail, 0), -1);
    EXPECT_EQ(OctToInt(std::wstring(100000, L'7') + L"00000000012", 0), 10);
    EXPECT_EQ(OctToInt(std::wstring(100000, L'7') + L"8", 4), 4);
}

TEST(DeviceAddress, DeviceNumberInViewRefusesDevicesNoMonitorShows) {
    const struct {
        std::wstring text;
        bool fx;
        std::optional<int32_t> value;  // def is -5
    } cases[] = {
        {L"X000", false, 0},
        {L"XFFFFFF", false, 0xFFFFFF},
        {L"X00FFFFFF", false, 0xFFFFFF},
        {L"X1000000", false, std::nullopt},
        {L"X7FFFFFFF", false, std::nullopt},
        {L"XFFFFFFFF", false, std::nullopt},  // reads as -1, which is no device either
        {L"X000000010", false, std::nullopt},
        {L"X77777777", true, 0xFFFFFF},
        {L"X177777777", true, std::nullopt},
        {L"X17777777777", true, std::nullopt},
        {L"X" + std::wstring(26000, L'7'), true, std::nullopt},
        {L"X" + std::wstring(26000, L'Z'), false, std::nullopt},  // too long before it is read
        {L"Xzz", false, -5},
        {L"X08", true, -5},
        {L"X", false, -5},
        {L"X", true, 0},
        {L"", false, -5},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DeviceNumberInView(c.text, c.fx, -5), c.value)
            << Narrow(c.text.substr(0, 12)) << (c.fx ? " FX" : " hex");
    }
}

TEST(DeviceAddress, HexadecimalReading) {
    const struct {
        std::wstring text;
        int32_t value;
    } cases[] = {
        {L"", -7},         {L"0", 0},          {L"9F", 159},       {L"9f", 159},
        {L"100", 256},     {L"G", -7},         {L" 1", -7},        {L"+1", -7},
        {L"FFFFFFFF", -1}, {L"100000000", -7}, {L"000000010", 16},
    };
    for (const auto& c : cases) EXPECT_EQ(HexToInt(c.text, -7), c.value) << Narrow(c.text);
}

TEST(DeviceAddress, WritingWithMinimumWidth) {
    EXPECT_EQ(IntToOct(0, 1), L"0");
    EXPECT_EQ(IntToOct(0, 3), L"000");
    EXPECT_EQ(IntToOct(8, 3), L"010");
    EXPECT_EQ(IntToOct(71, 3), L"107");
    EXPECT_EQ(IntToOct(4096, 3), L"10000");
    EXPECT_EQ(IntToOct(5, 0), L"5");
    EXPECT_EQ(IntToHex(0, 1), L"0");
    EXPECT_EQ(IntToHex(159, 3), L"09F");
    EXPECT_EQ(IntToHex(128, 1), L"80");
    EXPECT_EQ(IntToHex(0xABCDE, 3), L"ABCDE");
    EXPECT_EQ(IntToHex(-1, 3), L"FFFFFFFF");
}

TEST(DeviceAddress, IntPower) {
    EXPECT_EQ(IntPower(8, 0), 1);
    EXPECT_EQ(IntPower(8, -3), 1);
    EXPECT_EQ(IntPower(8, 1), 8);
    EXPECT_EQ(IntPower(8, 3), 512);
    EXPECT_EQ(IntPower(-2, 3), -8);
    EXPECT_EQ(IntPower(0, 0), 1);
}

TEST(DeviceAddress, BitStateIndexOfAnOffset) {
    EXPECT_EQ(BitStateIndex(0, false), 0);
    EXPECT_EQ(BitStateIndex(17, false), 17);
    EXPECT_EQ(BitStateIndex(159, false), 159);
    EXPECT_EQ(BitStateIndex(160, false), -1);
    EXPECT_EQ(BitStateIndex(-1, false), -1);
    EXPECT_EQ(BitStateIndex(7, true), 7);
    EXPECT_EQ(BitStateIndex(8, true), 16);
    EXPECT_EQ(BitStateIndex(71, true), 135);
    EXPECT_EQ(BitStateIndex(79, true), 151);
    EXPECT_EQ(BitStateIndex(80, true), -1);
}

class StepButtonsTest : public ::testing::Test {
  protected:
    StepButtonsTest() : form(serial.services, L"unused.ini") {
        form.ControlsForTest().changeFirstButton.SetOnClick(
            [this](ui::Object*) { ++firstDeviceChanges; });
        form.OwnBridge().Capture().BitStates.fill(0);
    }
    void SetFx(bool fx) { form.ControlsForTest().fxModeBox.SetChecked(fx); }

    SerialServicesDouble serial;
    MainWindow form;
    int firstDeviceChanges = 0;
};

struct TargetCase {
    const char* name;
    bool fx;
    std::wstring first, target;
    int button;  // 1: "+1", 3: "+10", 2: "-1", 4: "-10"
    std::optional<int> undecidedEntry;
    std::wstring expected;
};

TEST_F(StepButtonsTest, TargetSteps) {
    const TargetCase cases[] = {
        {"FX +1 carries into the next octal digit", true, L"X000", L"X007", 1, {}, L"X010"},
        {"FX +10 is one row of 8", true, L"X000", L"X077", 3, {}, L"X107"},
        {"FX +10 onto an undecided entry 135", true, L"X000", L"X077", 3, 135, L"X077"},
        {"FX +1 past the 80 sampled devices", true, L"X000", L"X117", 1, {}, L"X117"},
        {"hex +1 onto offset 160", false, L"X000", L"X09F", 1, {}, L"X09F"},
        {"hex +1 onto offset 159", false, L"X000", L"X09E", 1, {}, L"X09F"},
        {"hex +10 is one row of 16", false, L"X000", L"X005", 3, {}, L"X015"},
        {"hex +1 onto an undecided entry", false, L"X000", L"X005", 1, 6, L"X005"},
        // X021 is offset 17 from X010: entry 17 decides, not entry 33 (the absolute number).
        {"hex +1 consults the entry of the offset", false, L"X010", L"X020", 1, 17, L"X020"},
        {"hex +1 ignores the entry of the number", false, L"X010", L"X020", 1, 33, L"X021"},
        {"target before the first device is refused", false, L"X010", L"X000", 1, {}, L"X000"},
        {"malformed target reads as 0", false, L"X000", L"Xzz", 1, {}, L"X001"},
        {"-1 at the first device is refused", false, L"X000", L"X000", 2, {}, L"X000"},
        {"-1 above it", false, L"X000", L"X001", 2, {}, L"X000"},
        {"hex -10 below the first device", false, L"X010", L"X01F", 4, {}, L"X01F"},
        {"hex -10", false, L"X010", L"X020", 4, {}, L"X010"},
        {"FX -10 is one row of 8", true, L"Y000", L"Y010", 4, {}, L"Y000"},
        {"-1 consults no state", false, L"X000", L"X010", 2, 15, L"X00F"},
        {"FX -1 consults no state", true, L"X000", L"X010", 2, 7, L"X007"},
        {"empty target starts from 0", false, L"X000", L"", 1, {}, L"001"},
        // A first device past what a monitor shows is no view: no step lands anywhere.
        {"+1 with no view", false, L"X1000000", L"X1000000", 1, {}, L"X1000000"},
        {"-1 with no view", false, L"X1000000", L"X1000001", 2, {}, L"X1000001"},
        {"+1 at the last first device", false, L"XFFFFFF", L"XFFFFFF", 1, {}, L"X1000000"},
    };
    for (const TargetCase& c : cases) {
        SCOPED_TRACE(c.name);
        form.OwnBridge().Capture().BitStates.fill(1);
        // at(): an entry outside the table fails the case instead of landing in PrevBitStates.
        if (c.undecidedEntry)
            form.OwnBridge().Capture().BitStates.at(static_cast<size_t>(*c.undecidedEntry)) = -1;
        SetFx(c.fx);
        form.ControlsForTest().firstDeviceEdit.SetText(c.first);
        form.ControlsForTest().toggleTargetEdit.SetText(c.target);
        ui::SpeedButton* buttons[] = {nullptr, &form.ControlsForTest().targetUpButton,
                                      &form.ControlsForTest().targetDownButton,
                                      &form.ControlsForTest().targetRowUpButton,
                                      &form.ControlsForTest().targetRowDownButton};
        buttons[c.button]->Click();
        EXPECT_EQ(form.ControlsForTest().toggleTargetEdit.Text(), c.expected);
        EXPECT_EQ(firstDeviceChanges, 0);
    }
}

struct FirstDeviceCase {
    const char* name;
    bool fx;
    std::wstring start;
    int button;  // 5: "+80", 6: "+100", 7: "-80", 8: "-100", 9: "X", 10: "Y"
    std::wstring expected;
    bool changesFirstDevice;
    std::wstring saved;  // SavedFirstDevice afterwards (it starts as "keep")
};

TEST_F(StepButtonsTest, FirstDeviceSteps) {
    const FirstDeviceCase cases[] = {
        {"hex +80", false, L"X000", 5, L"X80", true, L"X000"},
        {"FX +40", true, L"X000", 5, L"X40", true, L"X000"},
        {"hex +100", false, L"X0F0", 6, L"X1F0", true, L"X0F0"},
        {"FX +100", true, L"X100", 6, L"X200", true, L"X100"},
        {"+80 from an empty field", false, L"", 5, L"80", true, L""},
        {"hex -100 below zero", false, L"X0F0", 8, L"X0F0", false, L"keep"},
        {"hex -100", false, L"X1F0", 8, L"XF0", true, L"keep"},
        {"hex -80 to zero", false, L"Y080", 7, L"Y0", true, L"keep"},
        {"FX -40", true, L"X100", 7, L"X40", true, L"keep"},
        {"FX -100 below zero", true, L"X77", 8, L"X77", false, L"keep"},
        {"lower-case x counts as X", false, L"x100", 9, L"x100", false, L"keep"},
        {"Y becomes X", false, L"Y100", 9, L"X100", true, L"keep"},
        {"X becomes Y", false, L"X100", 10, L"Y100", true, L"keep"},
        {"empty field gets the letter", false, L"", 9, L"X", true, L"keep"},
        {"y counts as Y", true, L"y7", 10, L"y7", false, L"keep"},
    };
    for (const FirstDeviceCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetFx(c.fx);
        form.OwnBridge().SavedFirstDevice() = L"keep";
        form.ControlsForTest().requestedFirstEdit.SetText(c.start);
        firstDeviceChanges = 0;
        ui::SpeedButton* buttons[] = {
            &form.ControlsForTest().firstUpButton,   &form.ControlsForTest().firstBlockUpButton,
            &form.ControlsForTest().firstDownButton, &form.ControlsForTest().firstBlockDownButton,
            &form.ControlsForTest().letterXButton,   &form.ControlsForTest().letterYButton};
        buttons[c.button - 5]->Click();
        EXPECT_EQ(form.ControlsForTest().requestedFirstEdit.Text(), c.expected);
        EXPECT_EQ(firstDeviceChanges, c.changesFirstDevice ? 1 : 0);
        EXPECT_EQ(form.OwnBridge().SavedFirstDevice(), c.saved);
    }
}

// The step reaches "先頭変更" only after requestedFirstEdit holds the new text.
TEST_F(StepButtonsTest, FirstDeviceChangeSeesTheNewText) {
    std::wstring seen;
    form.ControlsForTest().changeFirstButton.SetOnClick(
        [&](ui::Object*) { seen = form.ControlsForTest().requestedFirstEdit.Text(); });
    form.ControlsForTest().requestedFirstEdit.SetText(L"X000");
    form.ControlsForTest().firstUpButton.Click();
    EXPECT_EQ(seen, L"X80");
}

}  // namespace
