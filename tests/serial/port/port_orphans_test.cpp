// What a freed port leaves behind while its dispatcher's threads still run: freed once they have
// ended, and nothing handled on the main thread for it meanwhile.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "platform/exception_display.h"
#include "platform/main_thread.h"
#include "platform/message_window.h"
#include "serial/device/memory_device.h"
#include "serial/port/port_orphans.h"
#include "tests/support/pump_until.h"

namespace {

using testsupport::PumpUntil;

class OrphanedParts : public ::testing::Test {
  protected:
    void SetUp() override { platform::BindMainThread(); }
    void TearDown() override {
        platform::UnbindMainThread();
        platform::SetExceptionDisplay(nullptr);
    }
};

// A dispatcher whose threads outlive its port (a handler that keeps running, say) must not keep
// the main thread busy: before, the reaper posted itself a message again on every look, so the
// main thread handled thousands of messages a second for as long as the threads ran.
TEST_F(OrphanedParts, ALeftoverWhoseThreadsRunIsWaitedForQuietlyAndFreedWhenTheyEnd) {
    auto d = std::make_unique<TSioMemoryDispatcher>();
    ASSERT_EQ(0, d->InitPort(L"\\\\.\\COM3", 9600, 0, 8, 1, 4096, 4096, 3));
    ASSERT_TRUE(d->DispActive.load());
    TSioMemoryDispatcher* running = d.get();
    const size_t before = OrphanedPortParts();
    while (platform::PumpOneMessage()) {
    }  // what earlier tests left in the queue
    AdoptOrphanedPortParts(std::move(d), {});

    const int handled = testsupport::PumpCounting(std::chrono::milliseconds(300));
    EXPECT_EQ(OrphanedPortParts(), before + 1) << "freed while its threads ran";
    EXPECT_LE(handled, 2) << "messages handled on the main thread while the threads ran";

    // The threads end by themselves (as after a failing device); nothing else happens on the
    // main thread, and the leftover is freed.
    running->StopThreads();
    EXPECT_TRUE(PumpUntil([&] { return OrphanedPortParts() == before; },
                          std::chrono::seconds(10)));
}

}  // namespace
