// Arming checks, time-outs, events and re-entry, handler exceptions, the port's open and close,
// the dispatch log, the waits and the manager's deferred free.
#include <optional>
#include <stdexcept>
#include <thread>

#include "serial/errors/sio_exception.h"
#include "tests/serial/packet/packet_fixture.h"

using Events = PacketFixture;

TEST_F(Events, ArmingChecksReportTheFirstFailureAndLeaveThePacketOff) {
    using E = TPacketEndCond;
    struct Case {
        TPacketStartCond start;
        std::string startString;
        TPacketEndSet end;
        std::string endString;
        int32_t size;
        int32_t code;
        const char* message;
    } cases[] = {
        {TPacketStartCond::scString, "", {}, "", 0, -5501, "Start string is empty"},
        {TPacketStartCond::scString, "", {E::ecPacketSize}, "", 0, -5501, "Start string is empty"},
        {TPacketStartCond::scString,
         "ABC",
         {E::ecPacketSize},
         "",
         2,
         -5502,
         "Packet size cannot be smaller than start string"},
        {TPacketStartCond::scString,
         "AB",
         {E::ecPacketSize},
         "",
         0,
         -5502,
         "Packet size cannot be smaller than start string"},
        {TPacketStartCond::scAnyData,
         "",
         {},
         "",
         0,
         -5503,
         "CharCount packets must have an end-condition"},
        {TPacketStartCond::scAnyData, "", {E::ecString}, "", 0, -5504, "End string is empty"},
        {TPacketStartCond::scAnyData,
         "",
         {E::ecString, E::ecPacketSize},
         "",
         0,
         -5504,
         "End string is empty"},
        {TPacketStartCond::scAnyData,
         "",
         {E::ecPacketSize},
         "",
         0,
         -5505,
         "Packet size cannot be zero"},
        // A lone escape character compiles to nothing: as empty as an empty string.
        {TPacketStartCond::scString, "\\", {}, "", 0, -5501, "Start string is empty"},
        {TPacketStartCond::scAnyData, "", {E::ecString}, "\\", 0, -5504, "End string is empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        Restart();
        TSioDataPacket& p = AddPacket();
        p.SetStartCond(c.start);
        p.SetStartString(c.startString);
        p.SetEndCond(c.end);
        p.SetEndString(c.endString);
        p.SetPacketSize(c.size);
        try {
            p.SetEnabled(true);
            ADD_FAILURE() << "no exception";
        } catch (const EInvalidProperty& e) {
            EXPECT_EQ(e.ErrorCode(), c.code);
            EXPECT_STREQ(e.what(), c.message);
        }
        EXPECT_FALSE(p.Enabled());
        EXPECT_EQ(p.PacketMode(), TPacketMode::dpIdle);
        // It holds no capture: a line packet added now collects.
        TSioDataPacket& line = LinePacket("Line");
        EXPECT_EQ(line.PacketMode(), TPacketMode::dpCollecting);
        EXPECT_TRUE(Link.ActiveTimers.count(CaptureTimer));
    }
}

TEST_F(Events, EnablingWhileThePortIsClosedArmsWhenItOpens) {
    Link.Changed(TPacketPortEvent::Closed);
    TSioDataPacket& p = LinePacket();
    EXPECT_TRUE(p.Enabled());
    EXPECT_EQ(p.PacketMode(), TPacketMode::dpIdle);
    EXPECT_TRUE(Link.Handlers.empty());

    TSioDataPacket& bad = AddPacket("Bad");
    EXPECT_NO_THROW(bad.SetEnabled(true)) << "the checks run when the port opens";
    bad.SetEnabled(false);

    Link.Changed(TPacketPortEvent::Opened);
    EXPECT_EQ(Link.Handlers.size(), 1u);
    EXPECT_EQ(p.PacketMode(), TPacketMode::dpCollecting);
    Feed("CPU\r\n");
    EXPECT_EQ(Got, std::vector<std::string>{"CPU\r\n"});
}

TEST_F(Events, PortCloseIdlesPacketsAndDropsTheBufferReopenArmsThem) {
    TSioDataPacket& p = LinePacket();
    Feed("REA");
    Link.Changed(TPacketPortEvent::Closed);
    EXPECT_TRUE(p.Enabled()) << "keeps Enabled while the port is closed";
    EXPECT_EQ(p.PacketMode(), TPacketMode::dpIdle);
    EXPECT_TRUE(Link.Handlers.empty());
    EXPECT_EQ(Manager->BufferCapacity(), 0);
    Link.Changed(TPacketPortEvent::Opened);
    Feed("D\r\nCPU\r\n");
    EXPECT_EQ(Got, (std::vector<std::string>{"D\r\n", "CPU\r\n"}));
}

TEST_F(Events, TimeOutReportsTheCollectedBytesDiscardsThemAndStaysDisabled) {
    TSioDataPacket& p = LinePacket();
    EXPECT_EQ(Link.ActiveTimers[CaptureTimer], 500) << "runs from the arming";
    Feed("PAR");
    FireTimer(CaptureTimer);
    EXPECT_EQ(Timeouts, std::vector<std::string>{"PAR"});
    EXPECT_FALSE(p.Enabled());
    EXPECT_EQ(Manager->BufferedBytes(), 0);
    EXPECT_FALSE(Link.ActiveTimers.count(CaptureTimer));
    Feed("T\r\nCPU\r\n");
    EXPECT_TRUE(Got.empty()) << "input after a time-out is read and dropped";
    EXPECT_EQ(Manager->BufferedBytes(), 0);

    p.SetEnabled(true);
    Feed("READ\r\n");
    EXPECT_EQ(Got, std::vector<std::string>{"READ\r\n"});
    EXPECT_EQ(Link.ActiveTimers[CaptureTimer], 500) << "each delivery re-arms and restarts it";
    FireTimer(CaptureTimer);
    EXPECT_EQ(Timeouts.back(), "") << "nothing collected since the last line";
}

TEST_F(Events, TimeOutWithoutFlushKeepsTheBytesForTheHandler) {
    TSioDataPacket& p = LinePacket();
    p.SetFlushOnTimeout(false);
    Feed("PAR");
    FireTimer(CaptureTimer);
    EXPECT_EQ(Timeouts, std::vector<std::string>{"PAR"});
    EXPECT_EQ(Manager->BufferedBytes(), 3);
}

TEST_F(Events, EnableTimeoutRunsFromArmingWhateverThePacketDoes) {
    TSioDataPacket& p = AddPacket();
    p.SetStartString("GO");
    p.SetEnableTimeout(100);
    p.SetEnabled(true);
    const uint32_t enableTimer = 16;  // the one after the manager's capture timer
    EXPECT_EQ(Link.ActiveTimers[enableTimer], 100);
    Feed("xG");
    FireTimer(enableTimer);
    EXPECT_EQ(Timeouts.size(), 1u);
    EXPECT_FALSE(p.Enabled());
    EXPECT_EQ(Link.RemovedTriggers, std::vector<uint32_t>{enableTimer});
}

TEST_F(Events, ArmingRequestedDuringAnEventHappensOnceAtItsEnd) {
    TSioDataPacket& line = LinePacket();
    TSioDataPacket& other = AddPacket("Other");
    other.SetStartString("X");
    TPacketMode seenDuring = TPacketMode::dpCollecting;
    bool enabledDuring = false;
    line.SetOnStringPacket([&](TComponent*, const std::string& Data) {
        Got.push_back(Data);
        if (Got.size() > 1) return;
        other.SetEnabled(true);
        seenDuring = other.PacketMode();
        enabledDuring = other.Enabled();
        line.SetEndString("\n");  // takes effect when AutoEnable re-arms it at the end
    });
    Feed("A\r\nB\nX");
    EXPECT_TRUE(enabledDuring);
    EXPECT_EQ(seenDuring, TPacketMode::dpIdle) << "deferred while the event runs";
    EXPECT_EQ(Got, (std::vector<std::string>{"A\r\n", "B\n"}));
    EXPECT_EQ(other.PacketMode(), TPacketMode::dpWaitStart);
}

TEST_F(Events, HandlerExceptionsAreShownAndMatchingGoesOn) {
    TSioDataPacket& p = LinePacket();
    int packets = 0;
    p.SetOnPacket([&](TComponent*, const uint8_t*, int32_t) {
        if (++packets == 1) throw std::runtime_error("bad line");
    });
    Feed("ONE\r\nTWO\r\n");
    EXPECT_EQ(Shown, std::vector<std::string>{"bad line"});
    EXPECT_EQ(Got, std::vector<std::string>{"TWO\r\n"}) << "OnStringPacket skipped after a raise";
    EXPECT_TRUE(p.Enabled());

    p.SetOnTimeout([](TComponent*) { throw std::runtime_error("late"); });
    FireTimer(CaptureTimer);
    EXPECT_EQ(Shown.back(), "late");
    EXPECT_FALSE(p.Enabled());
}

TEST_F(Events, EventsRunThroughSyncWhenAsked) {
    Link.HasDispatcherThread = true;
    TSioDataPacket& p = LinePacket();
    Feed("A\r\n");
    FireTimer(CaptureTimer);
    EXPECT_EQ(Link.SyncCalls, 2) << "one delivery, one time-out";
    p.SetSyncEvents(false);
    p.SetEnabled(true);
    Feed("B\r\n");
    EXPECT_EQ(Link.SyncCalls, 2);
    EXPECT_EQ(Got, (std::vector<std::string>{"A\r\n", "B\r\n"}));
}

TEST_F(Events, DispatchLogEntries) {
    Link.LoggingOn = true;
    TSioDataPacket& p = LinePacket("Pk");
    using S = TDispatchSubType;
    auto entries = [&] {
        std::vector<std::pair<S, std::string>> out;
        for (const auto& e : Link.Log) out.emplace_back(e.SubType, e.Bytes);
        Link.Log.clear();
        return out;
    };
    const std::vector<std::pair<S, std::string>> arming = {
        {S::dstEnable, "Packet:Pk"}, {S::dstCollecting, "Packet:Pk"}, {S::dstEndStr, "\r\n"}};
    EXPECT_EQ(entries(), arming);

    Feed("CPU\r\n");
    std::vector<std::pair<S, std::string>> delivery = {{S::dstIdle, "Packet:Pk"},
                                                       {S::dstDisable, "Packet:Pk"},
                                                       {S::dstStringPacket, "Packet:Pk"},
                                                       {S::dstStringPacket, "CPU\r\n"}};
    delivery.insert(delivery.end(), arming.begin(), arming.end());
    EXPECT_EQ(entries(), delivery);

    FireTimer(CaptureTimer);
    const std::vector<std::pair<S, std::string>> timeout = {{S::dstIdle, "Packet:Pk"},
                                                            {S::dstDisable, "Packet:Pk"},
                                                            {S::dstPacketTimeout, "Packet:Pk"}};
    EXPECT_EQ(entries(), timeout);

    Link.LoggingOn = false;
    p.SetEnabled(true);
    EXPECT_TRUE(Link.Log.empty());
}

TEST_F(Events, TheLastPacketLeavingFreesTheManagerLaterOnTheMainThread) {
    const size_t before = PacketManagers().Count();
    LinePacket();
    Packets.clear();
    EXPECT_TRUE(Link.Handlers.empty()) << "withdrawn from the dispatcher at once";
    EXPECT_EQ(PacketManagers().Count(), before) << "still listed until the message is handled";
    EXPECT_EQ(PacketManagers().GetPortManager(nullptr), nullptr);
    PumpAll();
    EXPECT_EQ(PacketManagers().Count(), before - 1);
    EXPECT_FALSE(Link.Watching) << "no longer a user of the port";
}

TEST_F(Events, KeepAliveKeepsAnEmptyManager) {
    const size_t before = PacketManagers().Count();
    Manager->SetKeepAlive(true);
    LinePacket();
    Packets.clear();
    PumpAll();
    EXPECT_EQ(PacketManagers().Count(), before);
    EXPECT_TRUE(Link.Watching);
    PacketManagers().Remove(Manager).reset();
}

TEST_F(Events, APacketFreedByItsOwnHandlerIsForgottenSafely) {
    const size_t before = PacketManagers().Count();
    TSioDataPacket& p = LinePacket();
    TSioDataPacket& other = LinePacket("Other");
    p.SetOnStringPacket([&](TComponent*, const std::string& Data) {
        Got.push_back(Data);
        Packets.clear();  // frees both packets, the last of the manager
        EXPECT_EQ(PacketManagers().Count(), before);
    });
    (void)other;
    Feed("A\r\nB\r\n");
    EXPECT_EQ(Got, std::vector<std::string>{"A\r\n"});
    EXPECT_TRUE(Link.Handlers.empty());
    EXPECT_EQ(PacketManagers().Count(), before);
    PumpAll();
    EXPECT_EQ(PacketManagers().Count(), before - 1);
}

TEST_F(Events, WaitForStringReturnsTheNextPacketOrFalseAfterATimeOut) {
    TSioDataPacket& p = AddPacket();
    p.SetStartCond(TPacketStartCond::scAnyData);
    p.SetEndCond({TPacketEndCond::ecString});
    p.SetEndString("\r\n");

    // The remote end answers once the wait has armed the packet.
    auto whenArmed = [&p] {
        while (!p.Enabled()) std::this_thread::yield();
    };
    std::thread line([&] {
        whenArmed();
        Feed("READ\r\nCPU\r\n");
    });
    std::string data;
    const bool got = p.WaitForString(data);
    line.join();
    EXPECT_TRUE(got);
    EXPECT_EQ(data, "READ\r\n");
    EXPECT_FALSE(p.AutoEnable());
    EXPECT_FALSE(p.Enabled()) << "a wait takes one packet";

    std::thread silence([&] {
        whenArmed();
        Manager->DispatcherEventHandler(TriggerTimerMsg, CaptureTimer, 0);
    });
    const uint8_t* bytes = nullptr;
    int32_t size = -1;
    EXPECT_FALSE(p.WaitForPacket(bytes, size));
    silence.join();
}

TEST_F(Events, EnablingWhileLoadingWaitsForLoaded) {
    TSioDataPacket& p = AddPacket();
    p.BeginLoading();
    p.SetStartCond(TPacketStartCond::scAnyData);
    p.SetEndCond({TPacketEndCond::ecString});
    p.SetEndString("\r\n");
    p.SetEnabled(true);
    EXPECT_TRUE(p.Enabled());
    EXPECT_EQ(p.PacketMode(), TPacketMode::dpIdle) << "a stored form is still being read";
    p.Loaded();
    EXPECT_EQ(p.PacketMode(), TPacketMode::dpCollecting);
    Feed("CPU\r\n");
    EXPECT_EQ(Got, std::vector<std::string>{"CPU\r\n"});
}

TEST_F(Events, AFailureAsTheEventBeginsStillEndsItAndLaterLinesArrive) {
    LinePacket();
    // Stopping the capture timer fails (the dispatcher no longer knows its handle): the delivery
    // is abandoned and shown, but the event must end, or every later line is parked.
    Link.StopTimerResult = -5003;
    Feed("A\r\n");
    EXPECT_EQ(Shown, std::vector<std::string>{"Bad trigger handle"});
    EXPECT_FALSE(Manager->InEvent());
    Link.StopTimerResult = 0;
    Feed("B\r\n");
    ASSERT_FALSE(Got.empty());
    EXPECT_EQ(Got.back(), "B\r\n");
    EXPECT_EQ(Manager->BufferedBytes(), 0) << "nothing is left to grow";

    // The same on the time-out path.
    Link.StopTimerResult = -5003;
    Feed("C");
    FireTimer(CaptureTimer);
    EXPECT_FALSE(Manager->InEvent());
    Link.StopTimerResult = 0;
}

TEST_F(Events, OutsideItsEventsAPacketHasNoCollectedData) {
    TSioDataPacket& p = LinePacket();
    auto collected = [&p] {
        std::string text = "stale";
        p.GetCollectedString(text);
        const uint8_t* data = reinterpret_cast<const uint8_t*>("x");
        int32_t size = -1;
        p.GetCollectedData(data, size);
        EXPECT_EQ(data == nullptr, size == 0) << text;
        return size == 0 ? text : text + " (" + std::to_string(size) + " bytes in place)";
    };
    EXPECT_EQ(collected(), "") << "before any event";
    std::string during;
    p.SetOnStringPacket([&](TComponent*, const std::string&) { during = collected(); });
    p.SetOnTimeout([&](TComponent*) { during = collected(); });
    Feed("CPU\r\n");
    EXPECT_EQ(during, "CPU\r\n (5 bytes in place)");
    // The manager's buffer the bytes lay in has been released since.
    EXPECT_EQ(collected(), "") << "after a delivery";
    Feed("RE");
    FireTimer(CaptureTimer);
    EXPECT_EQ(during, "RE (2 bytes in place)");
    EXPECT_EQ(collected(), "") << "after a time-out";
}

TEST_F(Events, AWaitThatCanNeverEndRaisesAtOnce) {
    // Each wait runs on a thread of its own that finds a quit message first: a wait without the
    // checks would end there, quietly, with false (and without it, it would never end).
    auto errorOf = [](const std::function<bool()>& wait) {
        std::optional<int32_t> code;
        std::thread t([&] {
            platform::PostQuit(0);
            try {
                wait();
            } catch (const ESioException& e) {
                code = e.ErrorCode();
            }
        });
        t.join();
        return code;
    };
    std::string data;

    TSioDataPacket loose(nullptr);  // bound to no port
    loose.SetStartCond(TPacketStartCond::scAnyData);
    loose.SetEndCond({TPacketEndCond::ecString});
    loose.SetEndString("\r\n");
    EXPECT_EQ(errorOf([&] { return loose.WaitForString(data); }), -1005) << "unbound";

    TSioDataPacket& p = LinePacket();
    Link.Changed(TPacketPortEvent::Closed);
    EXPECT_EQ(errorOf([&] { return p.WaitForString(data); }), -2007) << "port closed";
    Link.Changed(TPacketPortEvent::Opened);

    // Inside an event no delivery can come until the event has returned.
    std::optional<int32_t> inEvent;
    p.SetOnStringPacket([&](TComponent*, const std::string&) {
        inEvent = errorOf([&] { return p.WaitForString(data); });
    });
    p.SetEnabled(true);
    Feed("CPU\r\n");
    EXPECT_EQ(inEvent, -1002) << "inside an event";
}

TEST_F(Events, EnableTimeoutOfAPacketHeldWhileAnotherCollects) {
    TSioDataPacket& first = LinePacket("First");
    TSioDataPacket& held = AddPacket("Held");
    held.SetStartCond(TPacketStartCond::scAnyData);
    held.SetEndCond({TPacketEndCond::ecString});
    held.SetEndString("\n");
    held.SetEnableTimeout(40);
    held.SetEnabled(true);
    EXPECT_EQ(held.PacketMode(), TPacketMode::dpIdle) << "held while the first collects";
    const uint32_t enableTimer = 16;
    EXPECT_EQ(Link.ActiveTimers[enableTimer], 40) << "runs from arming, held or not";
    // A held packet is not matching anything: its enable time-out does not end it.
    FireTimer(enableTimer);
    EXPECT_TRUE(Timeouts.empty());
    EXPECT_TRUE(held.Enabled());
    // Once the first lets go, the held one collects the next bytes.
    first.SetEnabled(false);
    Feed("AB\n");
    EXPECT_EQ(Got, std::vector<std::string>{"AB\n"});
    EXPECT_EQ(Senders.back(), &held);
}

TEST_F(Events, APacketThatLeavesBeforeItsSynchronisedEventRunsIsNotCalled) {
    // Between the manager's unlock and the main thread taking the call, the main thread may free
    // the packet (the last one: the manager lets go of the port too).
    Link.HasDispatcherThread = true;
    TSioDataPacket& p = LinePacket();
    p.SetOnStringPacket([&](TComponent* Sender, const std::string& Data) {
        std::string collected;
        static_cast<TSioDataPacket*>(Sender)->GetCollectedString(collected);
        Got.push_back(Data + collected);
    });
    Link.BeforeSync = [&] { Packets.clear(); };
    Feed("CPU\r\n");
    EXPECT_EQ(Link.SyncCalls, 1);
    EXPECT_TRUE(Got.empty()) << "the freed packet's event ran";
    EXPECT_TRUE(Link.Handlers.empty());
}
