// The string waits and CheckForString, with the restart of a failed partial match at the longest
// prefix that still fits (so overlapping strings are found), case folding, OnWaitChar and the
// restoring of event delivery.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/message_window.h"
#include "serial/errors/sio_exception.h"

#include "port_fixture.h"
#include "tests/support/device_line.h"

namespace {

// Over the in-memory device without threads, and over the termios layer on a pseudo-terminal
// pair with its threads running.
class Waits : public PortTest, public ::testing::WithParamInterface<testsupport::LineKind> {
  protected:
    uint16_t Number() const override { return 31; }
    void SetUp() override {
        PortTest::SetUp();
        if (GetParam() == testsupport::LineKind::Termios) {
            Line = std::make_unique<testsupport::DeviceLine>(GetParam(),
                                                             std::vector<uint32_t>{Number()});
            port->SetCustomDispatcher([this](TComponent* owner) { return Line->Make(owner); });
        }
        port->SetOpen(true);
        port->SetOnWaitChar([this](TSioCustomComPort*, char c) { seen.push_back(c); });
    }
    void TearDown() override {
        PortTest::TearDown();
        Line.reset();
    }
    // Bytes arrive and are in the port's buffer when this returns.
    void Arrive(const std::string& bytes) {
        if (!Line) return PortTest::Arrive(bytes);
        const int32_t before = port->InBuffUsed();
        Line->Receive(bytes);
        ASSERT_TRUE(testsupport::PumpUntil(
            [&] { return port->InBuffUsed() >= before + static_cast<int32_t>(bytes.size()); }));
    }
    std::unique_ptr<testsupport::DeviceLine> Line;
    std::string seen;
};

INSTANTIATE_TEST_SUITE_P(Devices, Waits,
                         ::testing::Values(testsupport::LineKind::Memory,
                                           testsupport::LineKind::Termios),
                         testsupport::LineKindName);

TEST_P(Waits, WaitForStringFindsOverlappingStrings) {
    const struct {
        const char* input;
        const char* s;
        bool ignoreCase;
        bool found;
    } cases[] = {
        {"AAAB", "AAB", false, true},        {"ABABAC", "ABAC", false, true},
        {"xxOK\r\n", "OK\r\n", false, true}, {"ababc", "ABC", true, true},
        {"ababc", "ABC", false, false},      {"AABAAB", "AABAAC", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.input) + " / " + c.s);
        port->FlushInBuffer();
        seen.clear();
        Arrive(c.input);
        // A wait that misses ends when its one tick has run out.
        EXPECT_EQ(port->WaitForString(c.s, c.found ? 1000 : 1, false, c.ignoreCase), c.found);
        if (c.found) {
            EXPECT_EQ(seen, c.input) << "every character read is shown, the match ends the wait";
        }
        EXPECT_FALSE(port->Dispatcher()->EventBusy()) << "event delivery restored";
    }
}

TEST_P(Waits, WaitForStringStopsReadingAtTheMatch) {
    Arrive("AAABrest");
    EXPECT_TRUE(port->WaitForString("AAB", 1000, false, false));
    EXPECT_EQ(seen, "AAAB");
    EXPECT_EQ(port->InBuffUsed(), 4);
}

TEST_P(Waits, AnEmptyStringIsFoundAtOnceWithoutTheDevice) {
    port->SetOpen(false);
    EXPECT_TRUE(port->WaitForString("", 1, false, false));
    EXPECT_FALSE(port->Open()) << "the dispatcher was not asked for";
    EXPECT_EQ(port->WaitForMultiString("", 1, false, false, '|'), 0);
    EXPECT_FALSE(port->Open());
}

TEST_P(Waits, APreparedWaitKeepsTheInputForTheWait) {
    port->SetOnTriggerAvail([](TSioCustomComPort*, uint16_t) {});
    port->PrepareWait();
    EXPECT_TRUE(port->Dispatcher()->EventBusy());
    Arrive("OK");
    EXPECT_TRUE(port->WaitForString("OK", 1000, false, false));
    EXPECT_FALSE(port->Dispatcher()->EventBusy());
}

// A wait gives back its own hold and PrepareWait's, and no other: a hold taken by someone else
// before the wait (and a PrepareWait repeated) outlives it.
TEST_P(Waits, AWaitGivesBackOnlyTheHoldsItTook) {
    bool wasOn = false;
    port->Dispatcher()->SetEventBusy(wasOn, true);
    port->PrepareWait();
    port->PrepareWait();
    Arrive("OK");
    EXPECT_TRUE(port->WaitForString("OK", 1000, false, false));
    EXPECT_TRUE(port->Dispatcher()->EventBusy()) << "the first hold is still on";
    port->Dispatcher()->SetEventBusy(wasOn, false);
    EXPECT_FALSE(port->Dispatcher()->EventBusy());
}

// PrepareWait holds the input of the port's current opening. A close and a reopen in between leave
// nothing of the earlier one: a PrepareWait on the new opening holds the input again, and a wait
// gives back on it only the holds taken on it.
TEST_P(Waits, AfterACloseAndReopenPrepareWaitHoldsTheInputAgain) {
    std::string taken;
    port->SetOnTriggerAvail([&](TSioCustomComPort* p, uint16_t) {
        while (p->CharReady()) taken += p->GetChar();
    });
    port->PrepareWait();
    port->SetOpen(false);
    Pump();  // the close held by the prepared wait finishes
    ASSERT_FALSE(port->Open());
    port->SetOpen(true);
    port->PrepareWait();
    EXPECT_TRUE(port->Dispatcher()->EventBusy());
    // "OK" arrives: held for the wait, or taken by the event handler.
    if (Line) {
        Line->Receive("OK");
        ASSERT_TRUE(testsupport::PumpUntil(
            [&] { return taken.size() + static_cast<size_t>(port->InBuffUsed()) >= 2; }));
    } else {
        PortTest::Arrive("OK");
        Pump();
    }
    EXPECT_EQ(taken, "");
    EXPECT_TRUE(port->WaitForString("OK", 2, false, false));
    EXPECT_FALSE(port->Dispatcher()->EventBusy());
}

TEST_P(Waits, AWaitAfterACloseAndReopenGivesBackNoHoldOfTheEarlierOpening) {
    port->PrepareWait();
    port->SetOpen(false);
    Pump();  // the close held by the prepared wait finishes
    ASSERT_FALSE(port->Open());
    port->SetOpen(true);
    bool wasOn = false;
    port->Dispatcher()->SetEventBusy(wasOn, true);  // someone else's hold
    Arrive("OK");
    EXPECT_TRUE(port->WaitForString("OK", 1000, false, false));
    EXPECT_TRUE(port->Dispatcher()->EventBusy()) << "the other hold was given back by the wait";
    port->Dispatcher()->SetEventBusy(wasOn, false);
}

TEST_P(Waits, WaitForMultiStringNumbersTheTexts) {
    const struct {
        const char* input;
        const char* s;
        int32_t result;
    } cases[] = {
        {"..ERROR", "OK|ERROR|", 2},                        // trailing separator: two texts
        {"OK", "OK|ERROR|", 1},      {"AAAB", "AAB|Z", 1},  // overlap inside one text
        {"xBABAC", "Q||ABAC", 3},                           // an empty text never matches
        {"nothing", "OK|ERROR", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.input) + " / " + c.s);
        port->FlushInBuffer();
        Arrive(c.input);
        EXPECT_EQ(port->WaitForMultiString(c.s, c.result ? 1000 : 1, false, false, '|'), c.result);
        EXPECT_FALSE(port->Dispatcher()->EventBusy());
    }
}

TEST_P(Waits, CheckForStringMatchesOneCharacterAtATime) {
    uint8_t index = 0;
    bool found = false;
    for (char c : std::string("xyABC")) found = port->CheckForString(index, c, "ABC", false);
    EXPECT_TRUE(found);
    EXPECT_EQ(index, 0);

    index = 0;
    std::string results;
    for (char c : std::string("AAAB"))
        results += port->CheckForString(index, c, "AAB", false) ? '1' : '0';
    EXPECT_EQ(results, "0001");

    index = 0;
    results.clear();
    for (char c : std::string("abAbac"))
        results += port->CheckForString(index, c, "ABAC", true) ? '1' : '0';
    EXPECT_EQ(results, "000001");
}

}  // namespace

TEST_P(Waits, AWaitWhosePortClosesMeanwhileEndsWithNotOpen) {
    const std::vector<std::string> waits = {"WaitForString", "WaitForMultiString"};
    for (const std::string& wait : waits) {
        SCOPED_TRACE(wait);
        if (!port->Open()) port->SetOpen(true);
        const int before = created;
        // Something the wait's yielding lets run closes the port.
        platform::MessageWindow closer([this](uint32_t, uintptr_t, intptr_t) -> intptr_t {
            port->SetOpen(false);
            return 0;
        });
        platform::PostMessageTo(closer.Handle(), 1, 0, 0);
        try {
            if (wait == "WaitForString")
                port->WaitForString("OK", 18, true, false);
            else
                port->WaitForMultiString("OK|ERR", 18, true, false, '|');
            ADD_FAILURE() << "no exception";
        } catch (const ECommNotOpen& e) {
            EXPECT_EQ(e.ErrorCode(), -2007);
        }
        Pump();
        EXPECT_FALSE(port->Open()) << "the wait opened the port again";
        EXPECT_EQ(created, before);
    }
    // A wait started on a closed port still opens it.
    EXPECT_FALSE(port->WaitForString("OK", 1, false, false));
    EXPECT_TRUE(port->Open());
}
