// Notification handlers: delivery order, removal during a notification, the service flag, busy
// mode and handlers that throw.
#include <gtest/gtest.h>

#include "platform/exception_display.h"
#include "platform/message_window.h"
#include "tests/serial/dispatch/dispatch_fixture.h"

namespace {

using Handlers = OpenPort;

std::vector<std::string>* gCalls = nullptr;
void ProcA(uint32_t, uint32_t, int32_t) { gCalls->push_back("procA"); }
void ProcB(uint32_t, uint32_t, int32_t) { gCalls->push_back("procB"); }

struct Named {
    std::string name;
    std::vector<std::string>* calls;
    void Notify(uint32_t, uint32_t, int32_t) { calls->push_back(name); }
};

TEST_F(Handlers, DeliveryOrderIsEventsThenProceduresThenWindows) {
    std::vector<std::string> calls;
    gCalls = &calls;
    Named e1{"event1", &calls}, e2{"event2", &calls};
    platform::MessageWindow w1([&](uint32_t msg, uintptr_t wParam, intptr_t lParam) {
        calls.push_back("window1 " + std::to_string(msg) + " " + std::to_string(wParam) + " " +
                        std::to_string(lParam & 0xFFFF));
        return intptr_t{0};
    });
    platform::MessageWindow w2([&](uint32_t, uintptr_t, intptr_t) {
        calls.push_back("window2");
        return intptr_t{0};
    });
    d->RegisterWndTriggerHandler(w1.Handle());
    d->RegisterProcTriggerHandler(ProcA);
    d->RegisterEventTriggerHandler(MakeNotifyEvent<&Named::Notify>(&e1));
    d->RegisterWndTriggerHandler(w2.Handle());
    d->RegisterProcTriggerHandler(ProcB);
    d->RegisterSyncEventTriggerHandler(MakeNotifyEvent<&Named::Notify>(&e2));
    d->ChangeLengthTrigger(1);
    ReceiveAndPass("abc");
    std::vector<std::string> expected = {"event1", "event2", "procA", "procB", "window1 32257 3 0",
                                         "window2"};
    EXPECT_EQ(expected, calls);
    gCalls = nullptr;
}

TEST_F(Handlers, TheComponentsOwnWindowAloneIsNotNotifiedUntilEnabled) {
    int calls = 0;
    platform::MessageWindow w([&](uint32_t, uintptr_t, intptr_t) {
        ++calls;
        return intptr_t{0};
    });
    d->RegisterWndTriggerHandler(w.Handle());
    d->UpdateHandlerFlags(TSioHandlerFlagUpdate::fuKeepPort);
    EXPECT_FALSE(d->HandlerServiceNeeded.load());
    d->ChangeLengthTrigger(1);
    ReceiveAndPass("abc");
    EXPECT_EQ(0, calls);
    EXPECT_EQ(3, d->InBuffUsed());
    EXPECT_TRUE(d->NotifyHandlers(TriggerAvailMsg, 3, 0)) << "no service: True at once";
    EXPECT_EQ(3, d->InBuffUsed()) << "and the tail does not move";

    d->UpdateHandlerFlags(TSioHandlerFlagUpdate::fuEnablePort);
    ReceiveAndPass("d");
    EXPECT_EQ(1, calls);
    d->UpdateHandlerFlags(TSioHandlerFlagUpdate::fuDisablePort);
    EXPECT_FALSE(d->HandlerServiceNeeded.load());
}

TEST_F(Handlers, HandlerRemovedInItsOwnCallIsNotCalledAgain) {
    d->ChangeLengthTrigger(1);
    Recorder self(d.get()), other(d.get());
    self.After = [&](const Notice&) {
        d->DeregisterEventTriggerHandler(self.Event());
        ASSERT_EQ(1u, d->EventTriggerHandlers.size()) << "only marked while delivering";
        EXPECT_TRUE(d->EventTriggerHandlers[0].Deleted);
    };
    d->RegisterEventTriggerHandler(self.Event());
    d->RegisterProcTriggerHandler(ProcA);
    std::vector<std::string> calls;
    gCalls = &calls;
    ReceiveAndPass("a");
    EXPECT_EQ(1u, self.Notices.size());
    EXPECT_EQ(1u, calls.size()) << "the other handlers still get the notification";
    EXPECT_TRUE(d->EventTriggerHandlers.empty()) << "purged when the notification ended";
    ReceiveAndPass("b");
    EXPECT_EQ(1u, self.Notices.size());
    EXPECT_EQ(2u, calls.size());
    d->DeregisterProcTriggerHandler(ProcA);
    d->DeregisterProcTriggerHandler(ProcA);  // not registered any more: nothing happens
    EXPECT_FALSE(d->HandlerServiceNeeded.load());
    gCalls = nullptr;
}

TEST_F(Handlers, DeregisteringAMethodIgnoresItsObject) {
    Recorder a(d.get()), b(d.get());
    d->RegisterEventTriggerHandler(a.Event());
    d->RegisterEventTriggerHandler(b.Event());
    d->DeregisterEventTriggerHandler(b.Event());
    ASSERT_EQ(1u, d->EventTriggerHandlers.size());
    EXPECT_EQ(&b, d->EventTriggerHandlers[0].Event.Object) << "the first record with the code goes";
}

TEST_F(Handlers, BusyPortKeepsMovingBytesButNotifiesNothing) {
    d->ChangeLengthTrigger(1);
    Recorder r(d.get());
    d->RegisterEventTriggerHandler(r.Event());
    bool wasOn = true;
    d->SetEventBusy(wasOn, true);
    EXPECT_FALSE(wasOn);
    ReceiveAndPass("abc");
    EXPECT_TRUE(r.Notices.empty());
    EXPECT_EQ(3, d->InBuffUsed());
    d->SetEventBusy(wasOn, false);
    EXPECT_TRUE(wasOn);
    Pass();
    ASSERT_EQ(1u, r.Notices.size());
    EXPECT_EQ(3u, r.Notices[0].wParam);
}

TEST_F(Handlers, AThrowingHandlerIsShownAndTheOthersRun) {
    std::vector<std::string> shown;
    platform::SetExceptionDisplay([&](const std::string& m) { shown.push_back(m); });
    d->ChangeLengthTrigger(1);
    Recorder thrower(d.get()), after(d.get());
    thrower.After = [](const Notice&) { throw std::runtime_error("handler failed"); };
    d->RegisterEventTriggerHandler(thrower.Event());
    d->RegisterEventTriggerHandler(after.Event());
    ReceiveAndPass("a");
    platform::SetExceptionDisplay(nullptr);
    EXPECT_EQ(std::vector<std::string>{"handler failed"}, shown);
    EXPECT_EQ(1u, after.Notices.size());
    EXPECT_FALSE(d->EventBusy());
}

TEST_F(Handlers, DataNotificationResultSaysWhetherTheOfferWasTaken) {
    Recorder r(d.get());
    d->RegisterEventTriggerHandler(r.Event());
    ReceiveAndPass("abcd");
    d->ChangeLengthTrigger(0);
    r.Reading = [](const Notice&) { return 2u; };
    EXPECT_FALSE(d->NotifyHandlers(TriggerAvailMsg, 4, 0));
    EXPECT_EQ(2, d->InBuffUsed());
    r.Reading = [](const Notice&) { return 2u; };
    EXPECT_TRUE(d->NotifyHandlers(TriggerAvailMsg, 2, 0));
    EXPECT_EQ(0, d->InBuffUsed());
}

}  // namespace
