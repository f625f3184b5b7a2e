// The gate between ticks, actions and commands: an action that waited runs alone, and when a
// failure is shown, the box that shows it runs a message loop, and the commands the serial line
// delivers through that loop are answered while the box stays open, not held until somebody
// closes it.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/monitor_work.h"
#include "platform/exception_display.h"

namespace {

struct GateFixture : ::testing::Test {
    MonitorWork gate;
    std::vector<std::string> order;
    // Runs inside the display, as the commands that arrive while a message box is open do.
    std::function<void()> whileShown;

    GateFixture() {
        platform::SetExceptionDisplay([this](const std::string& message) {
            order.push_back("shown: " + message);
            if (whileShown) {
                auto arrive = std::move(whileShown);
                whileShown = nullptr;
                arrive();
            }
            order.push_back("closed");
        });
    }
    ~GateFixture() override { platform::SetExceptionDisplay(nullptr); }

    void Answer(const std::string& name) {
        gate.RunCommand([this, name] { order.push_back(name + " answered"); });
    }
};

TEST_F(GateFixture, CommandsArrivingWhileAFailureIsShownAreAnsweredBeforeItCloses) {
    whileShown = [this] { Answer("READ"); };
    gate.RunCommand([] { throw std::runtime_error("command failed"); });
    EXPECT_EQ(order,
              (std::vector<std::string>{"shown: command failed", "READ answered", "closed"}));
    // The gate is free again: the next command runs at once.
    Answer("CPU");
    EXPECT_EQ(order.back(), "CPU answered");
}

TEST_F(GateFixture, CommandsWaitingBehindAFailingOneStillRunInOrder) {
    // An action holds the gate while three commands arrive; the middle one fails.
    gate.RunAction([this] {
        Answer("first");
        gate.RunCommand([] { throw std::runtime_error("middle failed"); });
        Answer("last");
        order.push_back("action done");
    });
    EXPECT_EQ(order, (std::vector<std::string>{"action done", "first answered",
                                               "shown: middle failed", "closed", "last answered"}));
}

TEST_F(GateFixture, AFailureShownInsideAnotherFailuresBoxDoesNotLoseCommands) {
    whileShown = [this] {
        whileShown = [this] { Answer("inner"); };
        gate.RunCommand([] { throw std::runtime_error("second failure"); });
    };
    gate.RunCommand([] { throw std::runtime_error("first failure"); });
    Answer("after");
    EXPECT_EQ(order,
              (std::vector<std::string>{"shown: first failure", "shown: second failure",
                                        "inner answered", "closed", "closed", "after answered"}));
}

// A button pressed while a tick waits for the monitor is queued behind the tick; when its turn
// comes it holds the gate like any other action: a second button pressed and a tick due while it
// waits for the monitor wait for it or are dropped, and a command is answered after it.
TEST_F(GateFixture, AnActionQueuedBehindATickRunsAlone) {
    const bool ran = gate.RunTick([this] {
        order.push_back("tick begins");
        gate.RunAction([this] {
            order.push_back("first action begins");
            gate.RunAction([this] { order.push_back("second action"); });
            Answer("CPU");
            const bool tickRan = gate.RunTick([this] { order.push_back("tick inside"); });
            order.push_back(tickRan ? "a tick ran inside" : "tick dropped");
            order.push_back("first action ends");
        });
        order.push_back("tick ends");
    });
    EXPECT_TRUE(ran);
    EXPECT_EQ(order, (std::vector<std::string>{"tick begins", "tick ends", "first action begins",
                                               "tick dropped", "first action ends",
                                               "second action", "CPU answered"}));
    EXPECT_FALSE(gate.Busy());
}

}  // namespace
