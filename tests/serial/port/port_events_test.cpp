// The port's event side: trigger messages through the hidden window and their order, handler
// flags, the deferred close and a reopen requested meanwhile, and users told newest first.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "port_fixture.h"
#include "serial/dispatch/notify.h"

namespace {

class Events : public PortTest {
  protected:
    uint16_t Number() const override { return 21; }
    void Record() {
        port->SetOnTrigger([this](TSioCustomComPort* cp, uint16_t msg, uint16_t h, uint16_t data) {
            EXPECT_EQ(cp, port.get());
            log.push_back("Trigger " + std::to_string(msg) + " " + std::to_string(h) + " " +
                          std::to_string(data));
        });
        port->SetOnTriggerAvail([this](TSioCustomComPort*, uint16_t n) {
            log.push_back("Avail " + std::to_string(n));
        });
        port->SetOnTriggerData(
            [this](TSioCustomComPort*, uint16_t h) { log.push_back("Data " + std::to_string(h)); });
        port->SetOnTriggerStatus([this](TSioCustomComPort*, uint16_t h) {
            log.push_back("Status " + std::to_string(h));
        });
        port->SetOnTriggerLineError([this](TSioCustomComPort*, uint16_t error, bool brk) {
            log.push_back("LineError " + std::to_string(error) + (brk ? " break" : ""));
        });
    }
    std::vector<std::string> log;
};

TEST_F(Events, WithoutTriggerEventsTheWindowGetsNoMessages) {
    port->SetOpen(true);
    port->SetOnTriggerAvail([&](TSioCustomComPort*, uint16_t) { log.push_back("Avail"); });
    port->SetOnTriggerAvail(nullptr);  // none assigned again
    Arrive("abc");
    Pump();
    EXPECT_TRUE(log.empty());
    // Assigning one while open enables delivery at once.
    port->SetOnTriggerAvail(
        [&](TSioCustomComPort*, uint16_t n) { log.push_back("Avail " + std::to_string(n)); });
    Arrive("de");
    Pump();
    EXPECT_EQ(log, (std::vector<std::string>{"Avail 5"}));
}

TEST_F(Events, DataAvailableAndDataTriggerReachTheirEventsAfterOnTrigger) {
    Record();
    port->SetOpen(true);
    const uint16_t h = port->AddDataTrigger("OK", false);
    Arrive("xOK");
    Pump();
    // Each specific event right after its OnTrigger, with the handle and data word it carries.
    auto at = [&](const std::string& entry) {
        for (size_t i = 0; i < log.size(); ++i)
            if (log[i] == entry) return i;
        ADD_FAILURE() << entry << " missing from " << ::testing::PrintToString(log);
        return size_t{0};
    };
    const size_t avail = at("Avail 3");
    ASSERT_GE(avail, 1u);
    EXPECT_EQ(log[avail - 1], "Trigger " + std::to_string(TriggerAvailMsg) + " 3 3");
    const size_t data = at("Data " + std::to_string(h));
    ASSERT_GE(data, 1u);
    EXPECT_EQ(log[data - 1],
              "Trigger " + std::to_string(TriggerDataMsg) + " " + std::to_string(h) + " 2");
}

TEST_F(Events, ALineErrorStatusTriggerGivesTriggerStatusThenLineError) {
    Record();
    port->SetOpen(true);
    const uint16_t h = port->AddStatusTrigger(2);
    port->SetStatusTrigger(h, 8, true);  // break
    device->AddLineErrors(16);
    device->SignalEvent(0x40);
    device->RunPass();
    Pump();
    const std::string hs = std::to_string(h);
    ASSERT_EQ(log.size(), 3u) << ::testing::PrintToString(log);
    EXPECT_EQ(log[0].rfind("Trigger " + std::to_string(TriggerStatusMsg) + " " + hs, 0), 0u);
    EXPECT_EQ(log[1], "Status " + hs);
    EXPECT_EQ(log[2].rfind("LineError ", 0), 0u);
    EXPECT_NE(log[2].find("break"), std::string::npos);
}

TEST_F(Events, AnExceptionInAnEventIsShownAndDoesNotLeaveTheWindow) {
    port->SetOnTriggerAvail([](TSioCustomComPort*, uint16_t) { throw std::runtime_error("boom"); });
    port->SetOpen(true);
    Arrive("a");
    Pump();
    EXPECT_EQ(shown, (std::vector<std::string>{"boom"}));
    EXPECT_TRUE(port->Open());
}

TEST_F(Events, ACloseDuringEventDeliveryFinishesLaterAndReopensWhenAsked) {
    Record();
    port->SetOpen(true);
    Pump();  // what earlier tests left in the queue (their threads' ends among it)
    TSioMemoryDispatcher* first = device;
    port->PrepareWait();            // delivery held, as during a wait or an event
    first->DispActive.store(true);  // the dispatcher's threads still run
    port->SetOpen(false);
    EXPECT_EQ(port->PortState(), TPortState::psShuttingDown);
    EXPECT_TRUE(port->Open());
    EXPECT_FALSE(port->CharReady()) << "operations do nothing while shutting down";
    port->SetOpen(true);  // recorded: reopens once the close completes
    EXPECT_EQ(created, 1);
    log.clear();
    // While the threads run the close waits; its message does not come back meanwhile.
    Pump();
    EXPECT_EQ(port->PortState(), TPortState::psShuttingDown);
    EXPECT_TRUE(log.empty());
    // The threads end. The last thread of a dispatcher tells the port layer as it ends, and the
    // close looks at its own dispatcher again.
    first->DispActive.store(false);
    {
        TSioMemoryDispatcher other;
        ASSERT_EQ(0, other.InitPort(Name(29), 9600, 0, 8, 1, 4096, 4096, 3));
    }
    Pump();
    ASSERT_FALSE(log.empty());
    for (const std::string& l : log)
        EXPECT_EQ(l, "Trigger " + std::to_string(PortClosingMsg) + " 0 0");
    EXPECT_EQ(created, 2) << "reopened";
    EXPECT_EQ(port->PortState(), TPortState::psOpen);
    EXPECT_TRUE(port->Open());
    EXPECT_NE(port->Dispatcher(), nullptr);
    port->SetOpen(false);
    EXPECT_EQ(port->PortState(), TPortState::psClosed);
}

TEST_F(Events, ADeferredCloseWithoutReopenEndsClosed) {
    port->SetOpen(true);
    port->PrepareWait();
    bool closedSeen = false;
    port->SetOnPortClose([&](TComponent*) { closedSeen = true; });
    // The close message is handled by the one message the close pumps itself: the threads have
    // already ended, so the close completes there.
    port->SetOpen(false);
    Pump();
    EXPECT_TRUE(closedSeen);
    EXPECT_EQ(port->PortState(), TPortState::psClosed);
    EXPECT_FALSE(port->Open());
    port->SetAutoOpen(false);
    EXPECT_EQ(port->Dispatcher(), nullptr);
}

// Users: a recorder for the callbacks and a window for the messages.
struct User {
    std::vector<std::string>* log;
    std::string name;
    void Plain(TSioCustomComPort*, bool opening) {
        log->push_back(name + (opening ? " open" : " closed"));
    }
    void Ex(TSioCustomComPort* cp, TSioCallbackType t) {
        const char* what[] = {" ctOpen", " ctClosing", " ctClosed"};
        std::string entry = name + what[static_cast<int>(t)];
        // What each notification may rely on.
        if (t == TSioCallbackType::ctOpen || t == TSioCallbackType::ctClosing)
            entry += cp->Dispatcher() ? "" : " (no dispatcher!)";
        if (t == TSioCallbackType::ctClosed) entry += cp->Open() ? " (still open!)" : "";
        log->push_back(entry);
    }
};

TEST_F(Events, UsersAreToldNewestFirst) {
    User a{&log, "a"}, b{&log, "b"}, c{&log, "c"};
    platform::MessageWindow window([this](uint32_t msg, uintptr_t, intptr_t) -> intptr_t {
        log.push_back("window " + std::to_string(msg));
        return 0;
    });
    port->RegisterUserCallback(MakePortCallback<&User::Plain>(&a));
    port->RegisterUserCallbackEx(MakePortCallbackEx<&User::Ex>(&b));
    port->RegisterUserEx(window.Handle());
    port->RegisterUserCallbackEx(MakePortCallbackEx<&User::Ex>(&c));
    port->SetOnPortOpen([this](TComponent*) { log.push_back("OnPortOpen"); });
    port->SetOnPortClose([this](TComponent*) { log.push_back("OnPortClose"); });
    port->SetOpen(true);
    port->SetOpen(false);
    EXPECT_EQ(log, (std::vector<std::string>{
                       "c ctOpen", "window " + std::to_string(PortOpenedMsg), "b ctOpen", "a open",
                       "OnPortOpen",  //
                       "c ctClosing", "window " + std::to_string(PortClosingMsg), "b ctClosing",
                       "c ctClosed", "window " + std::to_string(PortClosedMsg), "b ctClosed",
                       "a closed", "OnPortClose"}));
    // Extended users hear of the port's destruction too: these go first.
    port->DeregisterUserCallbackEx(MakePortCallbackEx<&User::Ex>(&b));
    port->DeregisterUserCallbackEx(MakePortCallbackEx<&User::Ex>(&c));
}

TEST_F(Events, RegisteringTwiceNotifiesTwiceAndOneDeregistrationRemovesBoth) {
    User a{&log, "a"}, b{&log, "b"};
    port->RegisterUserCallback(MakePortCallback<&User::Plain>(&a));
    port->RegisterUserCallback(MakePortCallback<&User::Plain>(&a));
    port->RegisterUserCallback(MakePortCallback<&User::Plain>(&b));
    port->SetOpen(true);
    EXPECT_EQ(log, (std::vector<std::string>{"b open", "a open", "a open"}));
    port->DeregisterUserCallback(MakePortCallback<&User::Plain>(&a));
    EXPECT_EQ(port->UserCount(), 1u);
    log.clear();
    port->SetOpen(false);
    EXPECT_EQ(log, (std::vector<std::string>{"b closed"}));
    port->DeregisterUserCallbackEx(MakePortCallbackEx<&User::Ex>(&b));  // not registered
    EXPECT_EQ(port->UserCount(), 1u);
}

}  // namespace

// The newest user, told first, deregisters others while the walk goes on.
struct Remover {
    std::vector<std::string>* log;
    std::function<void()> remove;
    void Ex(TSioCustomComPort*, TSioCallbackType t) {
        log->push_back("remover");
        if (t == TSioCallbackType::ctOpen && remove) std::exchange(remove, nullptr)();
    }
};

TEST_F(Events, AUserDeregisteredDuringTheWalkLeavesEveryOtherToldOnce) {
    User a{&log, "a"}, b{&log, "b"}, c{&log, "c"};
    auto ex = [](User& u) { return MakePortCallbackEx<&User::Ex>(&u); };
    struct Case {
        std::vector<User*> removed;
        std::vector<std::string> told;
    } cases[] = {
        {{&a}, {"remover", "c ctOpen", "b ctOpen"}},
        {{&b}, {"remover", "c ctOpen", "a ctOpen"}},
        {{&c, &a}, {"remover", "b ctOpen"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.told.back());
        Remover remover{&log, [&] {
                            for (User* u : k.removed) port->DeregisterUserCallbackEx(ex(*u));
                        }};
        for (User* u : {&a, &b, &c}) port->RegisterUserCallbackEx(ex(*u));
        port->RegisterUserCallbackEx(MakePortCallbackEx<&Remover::Ex>(&remover));
        log.clear();
        port->SetOpen(true);
        EXPECT_EQ(log, k.told);
        port->SetOpen(false);
        for (User* u : {&a, &b, &c}) port->DeregisterUserCallbackEx(ex(*u));
        port->DeregisterUserCallbackEx(MakePortCallbackEx<&Remover::Ex>(&remover));
        EXPECT_EQ(port->UserCount(), 0u);
    }
}
