// Opening the port, line settings, modem lines and status, line errors, flow control, options.
#include <gtest/gtest.h>

#include <chrono>

#include "tests/serial/dispatch/dispatch_fixture.h"

namespace {

using LineControl = OpenPort;

TEST_F(LineControl, OpenAppliesTheLineAndRaisesDtrAndRts) {
    TSioDCB dcb = d->DeviceDCB();
    EXPECT_EQ(9600u, dcb.BaudRate);
    EXPECT_EQ(8, dcb.ByteSize);
    EXPECT_EQ(0, dcb.Parity);
    EXPECT_EQ(0, dcb.StopBits);
    EXPECT_TRUE(dcb.Flags & dcb::fBinary);
    EXPECT_TRUE(d->DtrLine());
    EXPECT_TRUE(d->RtsLine());
    EXPECT_EQ(9600, d->LastBaud);
}

TEST_F(LineControl, UnchangedSettingsTouchNothing) {
    int writes = d->WriteDeviceStateCalls();
    int lines = d->LineControlCalls();
    EXPECT_EQ(0, d->SetLine(9600, 0, 8, 1));
    EXPECT_EQ(0, d->SetLine(0, 5, 9, 3));
    EXPECT_EQ(0, d->ChangeBaud(0));
    EXPECT_EQ(writes, d->WriteDeviceStateCalls());
    EXPECT_EQ(lines, d->LineControlCalls());
    EXPECT_EQ(0, d->ChangeBaud(19200));
    EXPECT_EQ(writes + 1, d->WriteDeviceStateCalls());
    EXPECT_EQ(19200u, d->DeviceDCB().BaudRate);
}

TEST_F(LineControl, FiveDataBitsSelectOneAndAHalfStopBits) {
    EXPECT_EQ(0, d->SetLine(0, 2, 5, 1));
    EXPECT_EQ(1, d->DeviceDCB().StopBits);
    int32_t baud;
    uint16_t parity;
    TDatabits bits;
    TStopbits stop;
    d->GetLine(baud, parity, bits, stop);
    EXPECT_EQ(9600, baud);
    EXPECT_EQ(2, parity);
    EXPECT_EQ(5, bits);
    EXPECT_EQ(2, stop) << "one and a half is reported as 2";
}

TEST_F(LineControl, BaudCodes) {
    EXPECT_EQ(115200, TSioBaseDispatcher::BaudFromCode(0xFEFF));
    EXPECT_EQ(110, TSioBaseDispatcher::BaudFromCode(0xFF10));
    EXPECT_EQ(9600, TSioBaseDispatcher::BaudFromCode(0xFF16));
    EXPECT_EQ(256000, TSioBaseDispatcher::BaudFromCode(0xFF27));
    EXPECT_EQ(0xFF19, TSioBaseDispatcher::BaudFromCode(0xFF19)) << "no rate there";
    EXPECT_EQ(4800, TSioBaseDispatcher::BaudFromCode(4800));
}

TEST_F(LineControl, DtrUnderHardwareFlowControlIsLeftAlone) {
    ASSERT_EQ(0, d->HWFlowOptions(3686, 409, 1));
    int lines = d->LineControlCalls();
    EXPECT_EQ(1, d->SetDtr(false));
    EXPECT_EQ(1, d->SetModem(false, false));
    EXPECT_EQ(lines, d->LineControlCalls()) << "SetModem leaves RTS alone after DTR said 1";
    EXPECT_TRUE(d->RtsLine());
    EXPECT_EQ(dcb::DtrHandshake, d->DeviceDCB().Flags & dcb::DtrControlMask);
}

TEST_F(LineControl, FailingLineFunctionIsABadArgumentButTheLevelIsKept) {
    d->FailLineControl(true);
    EXPECT_EQ(-1002, d->SetRts(false));
    EXPECT_FALSE(d->RTSState);
    d->FailLineControl(false);
    EXPECT_EQ(0, d->SetModem(false, true));
    EXPECT_FALSE(d->DtrLine());
    EXPECT_TRUE(d->RtsLine());
}

TEST_F(LineControl, BreaksOnAndOff) {
    d->SetBreak(true);
    EXPECT_TRUE(d->BreakOn());
    d->SetBreak(false);
    EXPECT_FALSE(d->BreakOn());
    d->SendBreak(0, false);
    EXPECT_FALSE(d->BreakOn());
}

TEST_F(LineControl, ModemStatusChangeBits) {
    d->SetModemLines(0x10 | 0x20);
    d->SignalEvent(0x8 | 0x10);
    Pass();
    EXPECT_EQ(0x33, d->GetModemStatus());
    EXPECT_EQ(0x30, d->GetModemStatus()) << "change bits are reported once";

    d->SetModemLines(0x00);
    d->SignalEvent(0x8 | 0x10);
    Pass();
    EXPECT_TRUE(d->CheckDeltaCTS());
    EXPECT_FALSE(d->CheckDeltaCTS()) << "reading clears only that bit";
    EXPECT_TRUE(d->CheckDeltaDSR());
    EXPECT_FALSE(d->CheckCTS());

    d->SetModemLines(0x80);
    d->SignalEvent(0x20 | 0x100);  // carrier change and a ring
    Pass();
    EXPECT_TRUE(d->CheckDeltaRI()) << "a ring event sets the trailing-edge bit";
    EXPECT_TRUE(d->CheckDCD());
    EXPECT_FALSE(d->CheckDeltaDCD()) << "reading the line cleared its change bit";
    EXPECT_EQ(0x80, d->GetModemStatus());
}

TEST_F(LineControl, LineErrorCodes) {
    struct Case {
        uint32_t bits;
        int32_t code;
    } cases[] = {{1, 1}, {2, 2}, {4, 3}, {8, 4}, {16, 9}, {2 | 8, 2}, {0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bits);
        d->AddLineErrors(c.bits);
        EXPECT_GE(d->OutBuffUsed(), 0);  // reads the device's errors
        EXPECT_EQ(c.code, d->GetLineError());
        EXPECT_EQ(0, d->GetLineError() % 9) << "all but the break are cleared";
        d->CheckLineBreak();
    }
}

TEST_F(LineControl, BreakStaysUntilAskedFor) {
    d->AddLineErrors(16);
    d->SignalEvent(0x40);
    Pass();
    EXPECT_EQ(9, d->GetLineError());
    EXPECT_EQ(9, d->GetLineError());
    EXPECT_TRUE(d->CheckLineBreak());
    EXPECT_FALSE(d->CheckLineBreak());
    EXPECT_EQ(0, d->GetLineError());
}

TEST_F(LineControl, FlowControlRangesAreChecked) {
    TSioDCB before = d->DeviceDCB();
    EXPECT_EQ(-1002, d->HWFlowOptions(100, 200, 2));
    EXPECT_EQ(-1002, d->HWFlowOptions(4097, 10, 2));
    EXPECT_EQ(-1002, d->SWFlowEnable(100, 200, 3));
    EXPECT_EQ(-1002, d->SWFlowEnable(5000, 0, 3));
    EXPECT_EQ(before.Flags, d->DeviceDCB().Flags);
    EXPECT_EQ(0, d->HWFlowOptions(4096, 4096, 0));
}

TEST_F(LineControl, HardwareFlowStates) {
    EXPECT_EQ(1, d->HWFlowState());
    ASSERT_EQ(0, d->HWFlowOptions(3686, 409, 2 | 8));
    EXPECT_EQ(410, d->DeviceDCB().XoffLim);
    EXPECT_EQ(409, d->DeviceDCB().XonLim);
    EXPECT_EQ(2, d->HWFlowState());
    d->SetHoldFlags(1);
    EXPECT_EQ(4, d->HWFlowState());
    ASSERT_EQ(0, d->HWFlowOptions(3686, 409, 1 | 4));
    d->SetHoldFlags(2);
    EXPECT_EQ(3, d->HWFlowState());
    d->SetHoldFlags(0);
    EXPECT_EQ(2, d->HWFlowState());
    uint32_t hw = 0, sw = 0, full = 0, resume = 0;
    char on = 0, off = 0;
    EXPECT_EQ(0, d->GetFlowOptions(hw, sw, full, resume, on, off));
    EXPECT_EQ(1u | 4u, hw);
    EXPECT_EQ(0u, sw);
    ASSERT_EQ(0, d->HWFlowOptions(0, 0, 0));
    EXPECT_EQ(1, d->HWFlowState());
    EXPECT_EQ(0, d->SetDtr(true)) << "manual control again";
}

TEST_F(LineControl, SoftwareFlowStates) {
    EXPECT_EQ(1, d->SWFlowState());
    ASSERT_EQ(0, d->SWFlowEnable(3072, 1024, 3));
    EXPECT_EQ(1024, d->DeviceDCB().XoffLim);
    EXPECT_EQ(17, d->DeviceDCB().XonChar);
    struct Case {
        uint32_t flags;
        int32_t state;
    } cases[] = {{0, 2}, {8, 6}, {16, 7}, {8 | 16, 8}};
    for (const auto& c : cases) {
        d->SetHoldFlags(c.flags);
        EXPECT_EQ(c.state, d->SWFlowState()) << c.flags;
    }
    ASSERT_EQ(0, d->SWFlowChars('a', 'b'));
    uint32_t hw = 0, sw = 0, full = 0, resume = 0;
    char on = 0, off = 0;
    EXPECT_EQ(0, d->GetFlowOptions(hw, sw, full, resume, on, off));
    EXPECT_EQ(3u, sw);
    EXPECT_EQ('a', on);
    EXPECT_EQ('b', off);
    ASSERT_EQ(0, d->SWFlowDisable());
    EXPECT_EQ(1, d->SWFlowState());
}

TEST_F(LineControl, OptionsAndDataPointers) {
    d->OptionsOn(4 | 1);
    EXPECT_TRUE(d->OptionsAreOn(4));
    d->OptionsOff(1);
    EXPECT_TRUE(d->OptionsAreOn(4));
    EXPECT_FALSE(d->OptionsAreOn(4 | 1));
    int value = 0;
    void* p = nullptr;
    EXPECT_EQ(0, d->SetDataPointer(&value, 3));
    EXPECT_EQ(0, d->GetDataPointer(p, 3));
    EXPECT_EQ(&value, p);
    EXPECT_EQ(-1002, d->SetDataPointer(&value, 0));
    EXPECT_EQ(-1002, d->GetDataPointer(p, 4));
}

// A failed open leaves no device, no buffers and no threads, whatever step failed.
TEST(InitPortFailure, LeavesNothingBehind) {
    struct Case {
        const char* name;
        std::function<void(TSioMemoryDispatcher&)> fail;
        int32_t result;
    } cases[] = {
        {"missing port", [](auto&) { TSioMemoryDispatcher::SetPortMissing(L"\\\\.\\COM7", true); },
         -2},
        {"out of memory", [](auto& d) { d.FailOpen(-8); }, -8},
        {"in use", [](auto& d) { d.FailOpen(5); }, -5},
        {"queue sizes", [](auto& d) { d.FailSetupQueues(87); }, -87},
        {"line settings", [](auto& d) { d.FailWriteDeviceState(31); }, -31},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TSioMemoryDispatcher d;
        c.fail(d);
        EXPECT_EQ(c.result, d.InitPort(L"\\\\.\\COM7", 9600, 0, 8, 1, 4096, 4096, 3));
        EXPECT_LT(d.CidEx.load(), 0);
        EXPECT_FALSE(d.DeviceOpen());
        EXPECT_EQ(nullptr, d.DBuffer);
        EXPECT_EQ(nullptr, d.OBuffer);
        EXPECT_EQ(0, d.ActiveThreads.load());
        EXPECT_FALSE(d.DispActive.load());
        EXPECT_EQ(nullptr, d.FDispThread);
        TSioMemoryDispatcher::SetPortMissing(L"\\\\.\\COM7", false);
    }
}

TEST(InitPortFailure, PortInUseByAnotherDispatcher) {
    TSioMemoryDispatcher first, second;
    first.SetRunThreads(false);
    ASSERT_EQ(0, first.InitPort(L"\\\\.\\COM9", 9600, 0, 8, 1, 4096, 4096, 3));
    EXPECT_EQ(-5, second.InitPort(L"\\\\.\\COM9", 9600, 0, 8, 1, 4096, 4096, 3));
    first.DonePort();
    second.SetRunThreads(false);
    EXPECT_EQ(0, second.InitPort(L"\\\\.\\COM9", 9600, 0, 8, 1, 4096, 4096, 3));
}

TEST(DispatcherList, IndexesAreReusedAndTheListShrinks) {
    size_t before = DispatcherList.size();
    auto a = std::make_unique<TSioMemoryDispatcher>();
    auto b = std::make_unique<TSioMemoryDispatcher>();
    EXPECT_EQ(a->Handle() + 1, b->Handle());
    EXPECT_EQ(b.get(), DispatcherList[static_cast<size_t>(b->Handle())]);
    int32_t aIndex = a->Handle();
    a.reset();
    auto c = std::make_unique<TSioMemoryDispatcher>();
    EXPECT_EQ(aIndex, c->Handle());
    c.reset();
    b.reset();
    EXPECT_EQ(before, DispatcherList.size());
}

// A line change waits for the characters of the old settings to leave the wire: at 110 baud the
// time of 18 characters, 1.6 s. The in-memory device has no wire (fuzzing and tests open one per
// case), so the change applies at once.
TEST(MemoryDeviceOpen, ALineChangeDoesNotWaitForAWire) {
    TSioMemoryDispatcher device;
    device.SetRunThreads(false);
    ASSERT_EQ(0, device.InitPort(L"\\\\.\\COM1", 110, 0, 8, 1, 4096, 4096, 3));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(0, device.SetLine(9600, 0, 8, 1));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(9600u, device.DeviceDCB().BaudRate);
}

}  // namespace
