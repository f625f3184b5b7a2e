// A test fixture for Windows test programs started by pelkan-vline: the far end of the line as
// `peer`, the line's COM number as `com`, and this thread bound as the program's main thread (the
// serial layer hands its events to it).
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "platform/main_thread.h"
#include "tests/support/virtual_line/vline_client.h"

namespace vline {

class MainThreadOnLine : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(VirtualLinePeer::Available()) << "run through pelkan-vline";
        platform::BindMainThread();
        peer = std::make_unique<VirtualLinePeer>();
        com = static_cast<uint16_t>(VirtualLinePeer::ComNumber());
    }
    void TearDown() override {
        peer.reset();
        platform::UnbindMainThread();
    }
    std::unique_ptr<VirtualLinePeer> peer;
    uint16_t com = 0;
};

}  // namespace vline
