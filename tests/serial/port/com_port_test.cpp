// The port component over the in-memory device: defaults, settings kept while closed and applied
// while open, the open and its failures, the automatic open, trace and log control, flow
// thresholds, changing the port while open, destruction while open and Assign.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "port_fixture.h"
#include "serial/dispatch/io_queue.h"
#include "serial/errors/errors.h"

namespace {

namespace fs = std::filesystem;

TEST(TSioComPortDefaults, EveryPropertyStartsAtItsDefault) {
    TSioComPort p(nullptr);
    EXPECT_EQ(p.Version(), "v5.00");
    p.SetVersion("v9");
    EXPECT_EQ(p.Version(), "v5.00");
    EXPECT_EQ(p.DeviceLayer(), TDeviceLayer::dlWin32);
    EXPECT_EQ(p.ComNumber(), 0);
    EXPECT_EQ(p.Baud(), 19200);
    EXPECT_TRUE(p.PromptForPort());
    EXPECT_EQ(p.Parity(), TParity::pNone);
    EXPECT_EQ(p.DataBits(), 8);
    EXPECT_EQ(p.StopBits(), 1);
    EXPECT_EQ(p.InSize(), 4096);
    EXPECT_EQ(p.OutSize(), 4096);
    EXPECT_TRUE(p.AutoOpen());
    EXPECT_FALSE(p.Open());
    EXPECT_TRUE(p.DTR());
    EXPECT_TRUE(p.RTS());
    EXPECT_TRUE(p.HWFlowOptions().Empty());
    EXPECT_EQ(p.SWFlowOptions(), TSWFlowOptions::swfNone);
    EXPECT_EQ(p.XOnChar(), 17);
    EXPECT_EQ(p.XOffChar(), 19);
    EXPECT_EQ(p.BufferFull(), 0);
    EXPECT_EQ(p.BufferResume(), 0);
    EXPECT_EQ(p.Tracing(), TTraceLogState::tlOff);
    EXPECT_EQ(p.TraceSize(), 10000u);
    EXPECT_EQ(p.TraceName(), "SIO.TRC");
    EXPECT_TRUE(p.TraceHex());
    EXPECT_FALSE(p.TraceAllHex());
    EXPECT_EQ(p.Logging(), TTraceLogState::tlOff);
    EXPECT_EQ(p.LogSize(), 10000u);
    EXPECT_EQ(p.LogName(), "SIO.LOG");
    EXPECT_TRUE(p.LogHex());
    EXPECT_FALSE(p.LogAllHex());
    EXPECT_TRUE(p.UseMSRShadow());
    EXPECT_TRUE(p.UseEventWord());
    EXPECT_EQ(p.CommNotificationLevel(), 10);
    EXPECT_EQ(p.TapiMode(), TTapiMode::tmAuto);
    EXPECT_FALSE(p.RS485Mode());
    EXPECT_EQ(p.ThreadBoost(), TSioThreadBoost::tbNone);
    EXPECT_EQ(p.TriggerLength(), 1);
    EXPECT_EQ(p.PortState(), TPortState::psClosed);
    EXPECT_EQ(p.ComWindow(), nullptr);
    // Readings of a closed port.
    EXPECT_EQ(p.InBuffFree(), 8192);
    EXPECT_EQ(p.OutBuffFree(), 4096);
    EXPECT_EQ(p.InBuffUsed(), 0);
    EXPECT_EQ(p.LineError(), 0);
    EXPECT_FALSE(p.DSR());
    EXPECT_EQ(p.BaseAddress(), 0);
}

TEST(TSioComPortDefaults, IgnoredSettings) {
    TSioComPort p(nullptr);
    p.SetUseMSRShadow(false);
    EXPECT_TRUE(p.UseMSRShadow());
    p.SetDeviceLayer(TDeviceLayer::dlWinsock);
    EXPECT_EQ(p.DeviceLayer(), TDeviceLayer::dlWin32);
    p.SetOutSize(512);
    EXPECT_EQ(p.OutBuffFree(), 512);
}

TEST(TSioComPortDefaults, TraceAndLogSizesAreLimited) {
    TSioComPort p(nullptr);
    p.SetTraceSize(5000000);
    p.SetLogSize(20000000);
    EXPECT_EQ(p.TraceSize(), 4000000u);
    EXPECT_EQ(p.LogSize(), 16000000u);
    p.SetTraceSize(123);
    EXPECT_EQ(p.TraceSize(), 123u);
}

TEST(TSioComPortDefaults, OnAClosedPortOnlyOffAndOnAreKept) {
    const TTraceLogState states[] = {TTraceLogState::tlOff,
                                     TTraceLogState::tlOn,
                                     TTraceLogState::tlDump,
                                     TTraceLogState::tlAppend,
                                     TTraceLogState::tlClear,
                                     TTraceLogState::tlPause,
                                     TTraceLogState::tlAppendAndContinue};
    for (TTraceLogState s : states) {
        TSioComPort p(nullptr);
        p.SetTracing(TTraceLogState::tlOn);
        p.SetLogging(TTraceLogState::tlOn);
        p.SetTracing(s);
        p.SetLogging(s);
        const TTraceLogState expected =
            s == TTraceLogState::tlOn ? TTraceLogState::tlOn : TTraceLogState::tlOff;
        EXPECT_EQ(p.Tracing(), expected) << static_cast<int>(s);
        EXPECT_EQ(p.Logging(), expected) << static_cast<int>(s);
    }
}

TEST(TSioComPortDefaults, FlowThresholds) {
    TSioComPort p(nullptr);
    p.SetSWFlowOptions(TSWFlowOptions::swfBoth);
    EXPECT_EQ(p.BufferFull(), 3072);
    EXPECT_EQ(p.BufferResume(), 1024);
    p.SetHWFlowOptions({THWFlowOptions::hwfUseRTS});
    EXPECT_EQ(p.BufferFull(), 3072) << "in range: kept";
    EXPECT_EQ(p.BufferResume(), 1024);
    EXPECT_FALSE(p.RS485Mode());

    TSioComPort q(nullptr);
    q.SetHWFlowOptions({THWFlowOptions::hwfRequireDSR});
    EXPECT_EQ(q.BufferFull(), 3686);
    EXPECT_EQ(q.BufferResume(), 409);
    // A threshold above the buffer is cut, and the flows are re-applied with it.
    q.SetBufferFull(5000);
    EXPECT_EQ(q.BufferFull(), 3686) << "4500 is still above InSize: the flow's own threshold";
    q.SetBufferResume(4000);
    EXPECT_EQ(q.BufferResume(), 368);
}

TEST(TSioComPortDefaults, RS485ModeDropsRtsFlowAndRts) {
    TSioComPort p(nullptr);
    p.SetHWFlowOptions(
        {THWFlowOptions::hwfUseRTS, THWFlowOptions::hwfRequireCTS, THWFlowOptions::hwfUseDTR});
    p.SetRS485Mode(true);
    EXPECT_TRUE(p.RS485Mode());
    EXPECT_EQ(p.HWFlowOptions(), THWFlowOptionSet{THWFlowOptions::hwfUseDTR});
    EXPECT_FALSE(p.RTS());
    // Switching RTS flow on again ends RS-485 mode.
    p.SetHWFlowOptions({THWFlowOptions::hwfUseRTS});
    EXPECT_FALSE(p.RS485Mode());
}

class OpenClose : public PortTest {
  protected:
    uint16_t Number() const override { return 11; }
};

TEST_F(OpenClose, OpenPushesTheSettingsAndCloseFreesTheDispatcher) {
    port->SetBaud(9600);
    port->SetParity(TParity::pEven);
    port->SetDataBits(7);
    port->SetStopBits(2);
    port->SetDTR(false);
    EXPECT_EQ(created, 0) << "settings on a closed port need no device";
    port->SetOpen(true);
    ASSERT_TRUE(port->Open());
    ASSERT_EQ(port->PortState(), TPortState::psOpen);
    ASSERT_NE(port->Dispatcher(), nullptr);
    EXPECT_EQ(port->Dispatcher()->DeviceName, "\\\\.\\COM11");
    EXPECT_NE(port->ComWindow(), nullptr);
    const TSioDCB dcb = device->DeviceDCB();
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.Parity, 2);
    EXPECT_EQ(dcb.ByteSize, 7);
    EXPECT_EQ(dcb.StopBits, 2) << "two stop bits";
    EXPECT_FALSE(device->DtrLine());
    EXPECT_TRUE(device->RtsLine());
    EXPECT_TRUE(device->DeviceOpen());

    port->SetOpen(true);  // already open: nothing
    EXPECT_EQ(created, 1);
    port->SetOpen(false);
    EXPECT_FALSE(port->Open());
    EXPECT_EQ(port->PortState(), TPortState::psClosed);
    port->SetAutoOpen(false);
    EXPECT_EQ(port->Dispatcher(), nullptr);
    port->SetOpen(false);  // already closed: nothing
}

TEST_F(OpenClose, SettingsAreAppliedWhileOpenOnlyWhenTheyChange) {
    port->SetOpen(true);
    const int writes = device->WriteDeviceStateCalls();
    port->SetBaud(19200);  // unchanged
    port->SetParity(TParity::pNone);
    EXPECT_EQ(device->WriteDeviceStateCalls(), writes);
    port->SetBaud(4800);
    EXPECT_GT(device->WriteDeviceStateCalls(), writes);
    EXPECT_EQ(device->DeviceDCB().BaudRate, 4800u);
    port->SetStopBits(2);
    EXPECT_EQ(device->DeviceDCB().BaudRate, 4800u) << "SetLine gets all four values";
    EXPECT_EQ(device->DeviceDCB().StopBits, 2);

    const int lines = device->LineControlCalls();
    port->SetDTR(true);  // unchanged
    EXPECT_EQ(device->LineControlCalls(), lines);
    port->SetForce(true);
    port->SetDTR(true);  // Force: applied anyway
    port->SetForce(false);
    EXPECT_GT(device->LineControlCalls(), lines);
    port->SetRTS(false);
    EXPECT_FALSE(device->RtsLine());
    EXPECT_FALSE(port->RTS());

    port->SetSWFlowOptions(TSWFlowOptions::swfBoth);
    EXPECT_TRUE(device->DeviceDCB().Flags & dcb::fOutX);
    EXPECT_TRUE(device->DeviceDCB().Flags & dcb::fInX);
    port->SetXOnChar('Q');
    EXPECT_EQ(device->DeviceDCB().XonChar, 'Q');

    port->SetTriggerLength(5);
    EXPECT_EQ(port->Dispatcher()->LenTrigger, 5u);
}

TEST_F(OpenClose, ARefusedLineChangeRaisesAndKeepsTheOldValue) {
    port->SetOpen(true);
    device->FailLineControl(true);
    EXPECT_THROW(port->SetDTR(false), std::exception);
    EXPECT_TRUE(port->DTR());
    device->FailLineControl(false);
}

TEST_F(OpenClose, NoPortNumberAndNoPromptRaisesNoPortSelected) {
    port->SetComNumber(0);
    port->SetPromptForPort(false);
    port->SetAutoOpen(false);
    try {
        port->SetOpen(true);
        FAIL() << "no exception";
    } catch (const ENoPortSelected& e) {
        EXPECT_EQ(e.ErrorCode(), -2011);
        EXPECT_STREQ(e.what(), "The ComNumber property of the TSioComPort has not been set");
    }
    EXPECT_FALSE(port->Open());
    EXPECT_EQ(port->Dispatcher(), nullptr);
    EXPECT_EQ(created, 0);
}

TEST_F(OpenClose, AMissingPortRaisesBadIdAndRollsBack) {
    TSioMemoryDispatcher::SetPortMissing(Name(11), true);
    try {
        port->SetOpen(true);
        FAIL() << "no exception";
    } catch (const EBadId& e) {
        EXPECT_EQ(e.ErrorCode(), -2001);
    }
    TSioMemoryDispatcher::SetPortMissing(Name(11), false);
    EXPECT_FALSE(port->Open());
    EXPECT_EQ(port->PortState(), TPortState::psClosed);
    port->SetAutoOpen(false);
    EXPECT_EQ(port->Dispatcher(), nullptr);
    port->SetOpen(true);
    EXPECT_TRUE(port->Open()) << "the next open works";
}

TEST_F(OpenClose, APortInUseRaisesAlreadyOpen) {
    port->SetOpen(true);
    TSioComPort second(nullptr);
    second.SetComNumber(11);
    UseMemoryDevice(second);
    try {
        second.SetOpen(true);
        FAIL() << "no exception";
    } catch (const EAlreadyOpen& e) {
        EXPECT_EQ(e.ErrorCode(), -2008);
        EXPECT_STREQ(e.what(), "ie_Open - device already open");
    }
    EXPECT_FALSE(second.Open());
}

TEST_F(OpenClose, OtherDeviceFailuresArriveAsTheirRuntimeError) {
    port->SetCustomDispatcher([](TComponent* owner) {
        auto d = std::make_unique<TSioMemoryDispatcher>(owner);
        d->SetRunThreads(false);
        d->FailOpen(31);
        return std::unique_ptr<TSioBaseDispatcher>(std::move(d));
    });
    try {
        port->SetOpen(true);
        FAIL() << "no exception";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), 31);
        EXPECT_EQ(std::string(e.what()), SystemErrorMessage(31));
    }
    EXPECT_FALSE(port->Open());
}

TEST_F(OpenClose, ADispatcherFactoryThatGivesNothingIsNullApi) {
    port->SetCustomDispatcher([](TComponent*) { return std::unique_ptr<TSioBaseDispatcher>(); });
    try {
        port->SetOpen(true);
        FAIL() << "no exception";
    } catch (const ENullApi& e) {
        EXPECT_EQ(e.ErrorCode(), -3001);
        EXPECT_STREQ(e.what(), "No device layer specified");
    }
    EXPECT_FALSE(port->Open());
}

TEST_F(OpenClose, APortWithoutANumberOpensThePortItsPromptChooses) {
    port->SetComNumber(0);
    int asked = 0;
    port->SetPortPrompt([&]() -> std::optional<uint16_t> {
        ++asked;
        return 13;
    });
    port->SetOpen(true);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(port->ComNumber(), 13);
    EXPECT_TRUE(port->Open());
    EXPECT_EQ(device->DeviceName, "\\\\.\\COM13");
    // The number chosen is kept: the next open asks nothing.
    port->SetOpen(false);
    port->SetOpen(true);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(port->Open());
}

TEST_F(OpenClose, APortWithoutANumberThatGetsNoneFromItsPromptDoesNotOpen) {
    struct Case {
        const char* what;
        bool promptForPort;
        bool installed;
        std::optional<uint16_t> answer;
        int asked;
    };
    const Case cases[] = {
        {"the prompt gives none", true, true, std::nullopt, 1},
        {"no prompt installed", true, false, std::nullopt, 0},
        {"prompting switched off", false, true, 13, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        port->SetComNumber(0);
        port->SetPromptForPort(c.promptForPort);
        int asked = 0;
        port->SetPortPrompt(nullptr);
        if (c.installed) {
            port->SetPortPrompt([&]() {
                ++asked;
                return c.answer;
            });
        }
        EXPECT_THROW(port->SetOpen(true), ENoPortSelected);
        EXPECT_EQ(asked, c.asked);
        EXPECT_FALSE(port->Open());
        EXPECT_EQ(port->ComNumber(), 0);
        EXPECT_EQ(created, 0);
    }
}

TEST_F(OpenClose, APromptThatRaisesFailsTheOpenWithItsException) {
    port->SetComNumber(0);
    port->SetPortPrompt([]() -> std::optional<uint16_t> { throw std::out_of_range("empty"); });
    EXPECT_THROW(port->SetOpen(true), std::out_of_range);
    EXPECT_FALSE(port->Open());
    EXPECT_EQ(port->ComNumber(), 0);
    EXPECT_EQ(created, 0);
}

TEST_F(OpenClose, AnOpenNotificationThatThrowsRollsTheOpenBack) {
    port->SetOnPortOpen([](TComponent*) { throw std::runtime_error("user refuses"); });
    EXPECT_THROW(port->SetOpen(true), std::runtime_error);
    EXPECT_FALSE(port->Open());
    EXPECT_EQ(port->PortState(), TPortState::psClosed);
    port->SetAutoOpen(false);
    EXPECT_EQ(port->Dispatcher(), nullptr);
    // The device was closed with the dispatcher: the port can be opened again.
    port->SetOnPortOpen(nullptr);
    port->SetOpen(true);
    EXPECT_TRUE(port->Open());
}

class AutoOpen : public PortTest {
  protected:
    uint16_t Number() const override { return 12; }
};

TEST_F(AutoOpen, PutStringOpensAClosedPort) {
    port->PutString(std::wstring(L"READ\r\n"));
    EXPECT_TRUE(port->Open());
    EXPECT_EQ(device->Transmit(), "READ\r\n");
    port->PutString(std::string());
    EXPECT_EQ(device->Transmit(), "") << "an empty text sends nothing";
}

TEST_F(AutoOpen, WithoutAutoOpenAnOperationOnAClosedPortIsCommNotOpen) {
    port->SetAutoOpen(false);
    try {
        port->PutString(std::string("X"));
        FAIL() << "no exception";
    } catch (const ECommNotOpen& e) {
        EXPECT_EQ(e.ErrorCode(), -2007);
    }
    EXPECT_THROW(port->AddTimerTrigger(), ECommNotOpen);
    EXPECT_FALSE(port->Open());
    EXPECT_EQ(created, 0);
}

TEST_F(AutoOpen, AnOpenThatFailsRaisesFromTheOperation) {
    TSioMemoryDispatcher::SetPortMissing(Name(12), true);
    EXPECT_THROW(port->PutString(std::string("X")), EBadId);
    TSioMemoryDispatcher::SetPortMissing(Name(12), false);
    EXPECT_FALSE(port->Open());
}

TEST_F(AutoOpen, LoadingAndDesigningNeverOpen) {
    port->BeginLoading();
    port->SetOpen(true);
    EXPECT_TRUE(port->Open()) << "the wish is recorded";
    EXPECT_EQ(created, 0);
    EXPECT_EQ(port->Dispatcher(), nullptr);
    port->Loaded();
    EXPECT_EQ(created, 1);
    EXPECT_EQ(port->PortState(), TPortState::psOpen);

    TSioComPort designed(nullptr);
    designed.SetComNumber(13);
    UseMemoryDevice(designed);
    designed.SetDesigning(true);
    designed.SetOpen(true);
    EXPECT_EQ(designed.Dispatcher(), nullptr);
    designed.Loaded();
    EXPECT_EQ(designed.PortState(), TPortState::psClosed);
}

TEST_F(AutoOpen, AFailedOpenAfterLoadingIsShownNotRaised) {
    TSioMemoryDispatcher::SetPortMissing(Name(12), true);
    port->BeginLoading();
    port->SetOpen(true);
    EXPECT_NO_THROW(port->Loaded());
    TSioMemoryDispatcher::SetPortMissing(Name(12), false);
    EXPECT_FALSE(port->Open());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "ie_BadId - Specified comport doesn't exist");
}

// Trace and log files in a fresh folder per test.
class TraceAndLog : public PortTest {
  protected:
    uint16_t Number() const override { return 14; }
    void SetUp() override {
        PortTest::SetUp();
        dir = fs::temp_directory_path() /
              ("pelkan-port-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        port->SetTraceName((dir / "SIO.TRC").string());
        port->SetLogName((dir / "SIO.LOG").string());
    }
    void TearDown() override {
        PortTest::TearDown();
        fs::remove_all(dir);
    }
    bool Written(const char* name) const {
        return fs::exists(dir / name) && fs::file_size(dir / name) > 0;
    }
    fs::path dir;
};

TEST_F(TraceAndLog, TracingSetWhileClosedStartsWithTheOpenAndIsWrittenAtTheClose) {
    port->SetTracing(TTraceLogState::tlOn);
    port->SetLogging(TTraceLogState::tlOn);
    port->SetOpen(true);
    EXPECT_TRUE(port->Dispatcher()->TracingOn.load());
    EXPECT_TRUE(port->Dispatcher()->DLoggingOn.load());
    port->PutString(std::string("AB"));
    port->SetOpen(false);
    EXPECT_TRUE(Written("SIO.TRC"));
    EXPECT_TRUE(Written("SIO.LOG"));
    EXPECT_EQ(port->Tracing(), TTraceLogState::tlOff);
    EXPECT_EQ(port->Logging(), TTraceLogState::tlOff);
}

TEST_F(TraceAndLog, StateTableOnAnOpenPort) {
    port->SetOpen(true);
    TSioBaseDispatcher* d = port->Dispatcher();
    port->SetTracing(TTraceLogState::tlDump);  // not running: nothing
    EXPECT_EQ(port->Tracing(), TTraceLogState::tlOff);
    EXPECT_FALSE(Written("SIO.TRC"));
    port->SetTracing(TTraceLogState::tlOn);
    EXPECT_TRUE(d->TracingOn.load());
    port->SetTracing(TTraceLogState::tlPause);
    EXPECT_EQ(port->Tracing(), TTraceLogState::tlPause);
    EXPECT_FALSE(d->TracingOn.load());
    port->SetTracing(TTraceLogState::tlOn);  // from pause: started again
    EXPECT_TRUE(d->TracingOn.load());
    port->PutString(std::string("AB"));
    port->SetTracing(TTraceLogState::tlAppendAndContinue);
    EXPECT_TRUE(Written("SIO.TRC"));
    EXPECT_EQ(port->Tracing(), TTraceLogState::tlOn);
    port->SetTracing(TTraceLogState::tlClear);
    EXPECT_EQ(port->Tracing(), TTraceLogState::tlOn);
    port->SetTracing(TTraceLogState::tlOff);
    EXPECT_EQ(port->Tracing(), TTraceLogState::tlOff);
    EXPECT_FALSE(d->TracingOn.load());
}

TEST_F(TraceAndLog, ChangingTheSizeOfAPausedTraceEndsIt) {
    port->SetOpen(true);
    port->SetTracing(TTraceLogState::tlOn);
    port->SetTraceSize(500);
    EXPECT_EQ(port->Tracing(), TTraceLogState::tlOn) << "restarted";
    port->SetTracing(TTraceLogState::tlPause);
    port->SetTraceSize(600);
    EXPECT_EQ(port->Tracing(), TTraceLogState::tlOff);
}

TEST_F(TraceAndLog, ASizeOverTheCapSetAgainDoesNotRestartTheTraceOrLog) {
    port->SetOpen(true);
    port->SetTracing(TTraceLogState::tlOn);
    port->SetLogging(TTraceLogState::tlOn);
    TSioBaseDispatcher* d = port->Dispatcher();
    port->SetTraceSize(5000000);
    port->SetLogSize(20000000);
    EXPECT_EQ(port->TraceSize(), MaxTraceSize);
    EXPECT_EQ(port->LogSize(), MaxLogSize);
    port->AddTraceEntry('R', 'x');
    port->AddStringToLog("kept");
    const uint32_t traced = d->TraceIndex;
    const int32_t logged = d->DLoggingQueue->Count();
    ASSERT_GT(traced, 0u);
    ASSERT_GT(logged, 0);
    // The same values again are the stored (capped) values: nothing changes, nothing restarts.
    port->SetTraceSize(5000000);
    port->SetLogSize(20000000);
    EXPECT_EQ(d->TraceIndex, traced) << "the trace was restarted";
    EXPECT_EQ(d->DLoggingQueue->Count(), logged) << "the dispatch log was restarted";
}

TEST_F(TraceAndLog, ChangingThePortWhileOpenKeepsTriggersAndRestartsTraceAndLog) {
    port->SetOpen(true);
    port->SetTracing(TTraceLogState::tlOn);
    port->SetLogging(TTraceLogState::tlOn);
    const uint16_t data = port->AddDataTrigger("OK", false);
    const uint16_t timer = port->AddTimerTrigger();
    port->PutString(std::string("AB"));
    port->SetComNumber(15);
    EXPECT_TRUE(Written("SIO.TRC"));
    EXPECT_TRUE(Written("SIO.LOG"));
    ASSERT_TRUE(port->Open());
    EXPECT_EQ(created, 2);
    TSioBaseDispatcher* after = port->Dispatcher();
    EXPECT_EQ(after->DeviceName, "\\\\.\\COM15");
    EXPECT_EQ(port->Tracing(), TTraceLogState::tlOn);
    EXPECT_EQ(port->Logging(), TTraceLogState::tlOn);
    EXPECT_TRUE(after->TracingOn.load());
    EXPECT_TRUE(after->DLoggingOn.load());
    ASSERT_EQ(after->DataTriggers.size(), 1u);
    EXPECT_EQ(after->DataTriggers[0].Handle, data);
    ASSERT_EQ(after->TimerTriggers.size(), 1u);
    EXPECT_EQ(after->TimerTriggers[0].Handle, timer);
    EXPECT_NO_THROW(port->RemoveTrigger(data));
}

TEST_F(TraceAndLog, DestroyingAnOpenPortClosesItAndWritesTheTrace) {
    port->SetTracing(TTraceLogState::tlOn);
    port->SetOpen(true);
    port->PutString(std::string("AB"));
    port.reset();
    EXPECT_TRUE(Written("SIO.TRC"));
    // The device was closed: another port can open it.
    TSioComPort again(nullptr);
    again.SetComNumber(14);
    UseMemoryDevice(again);
    again.SetOpen(true);
    EXPECT_TRUE(again.Open());
}

class AssignTest : public PortTest {
  protected:
    uint16_t Number() const override { return 16; }
};

TEST_F(AssignTest, CopiesSettingsWithoutOpening) {
    port->SetBaud(9600);
    port->SetParity(TParity::pOdd);
    port->SetTraceName("X.TRC");
    port->SetSWFlowOptions(TSWFlowOptions::swfReceive);
    port->SetUseEventWord(false);
    bool opened = false;
    port->SetOnPortOpen([&](TComponent*) { opened = true; });
    port->SetOpen(true);
    const uint16_t h = port->AddTimerTrigger();

    TSioComPort copy(nullptr);
    UseMemoryDevice(copy);
    copy.Assign(port.get());
    EXPECT_FALSE(copy.Open());
    EXPECT_EQ(copy.ComNumber(), 16);
    EXPECT_EQ(copy.Baud(), 9600);
    EXPECT_EQ(copy.Parity(), TParity::pOdd);
    EXPECT_EQ(copy.TraceName(), "X.TRC");
    EXPECT_EQ(copy.SWFlowOptions(), TSWFlowOptions::swfReceive);
    EXPECT_EQ(copy.BufferFull(), port->BufferFull());
    EXPECT_TRUE(copy.UseEventWord()) << "not copied";
    EXPECT_EQ(created, 1);

    // The copied triggers go to the copy's dispatcher when it opens.
    port->SetOpen(false);
    opened = false;
    copy.SetOpen(true);
    EXPECT_TRUE(opened) << "OnPortOpen was copied";
    ASSERT_EQ(device->TimerTriggers.size(), 1u);
    EXPECT_EQ(device->TimerTriggers[0].Handle, h);

    TComponent other(nullptr);
    TSioComPort untouched(nullptr);
    untouched.Assign(&other);
    EXPECT_EQ(untouched.Baud(), 19200);
}

}  // namespace

namespace {

class AssignOpen : public PortTest {
  protected:
    uint16_t Number() const override { return 17; }
};

TEST_F(AssignOpen, AnOpenTargetIsClosedAndItsUsersToldBeforeTheCopy) {
    std::vector<std::string> log;
    port->SetOnPortClose([&](TComponent*) { log.push_back("closed"); });
    port->SetOpen(true);
    TSioComPort source(nullptr);
    source.SetBaud(2400);
    source.SetComNumber(18);
    port->Assign(&source);
    EXPECT_EQ(log, (std::vector<std::string>{"closed"}));
    EXPECT_FALSE(port->Open());
    EXPECT_EQ(port->PortState(), TPortState::psClosed);
    EXPECT_EQ(port->Baud(), 2400);
    EXPECT_EQ(port->ComNumber(), 18);
}

}  // namespace
