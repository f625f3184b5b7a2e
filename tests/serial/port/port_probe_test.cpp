// Port enumeration on the host, over the in-memory device layer: both switches, port 0, and the
// names.
#include "serial/port/port_probe.h"

#include <gtest/gtest.h>

#include "serial/device/memory_device.h"

namespace {

struct Switches {
    Switches() = default;
    ~Switches() {
        ProbeThroughDispatcher = true;
        CountPortsInUse = true;
    }
};

TEST(ProbePort, UnderEverySwitchAMissingPortIsNotAvailableAndAHeldOneOnlyWhenCounted) {
    Switches restore;
    const std::wstring missing = L"\\\\.\\COM41", held = L"\\\\.\\COM42";
    TSioMemoryDispatcher::SetPortMissing(missing, true);
    TSioMemoryDispatcher holder(nullptr);
    ASSERT_GE(holder.OpenCom(held, 64, 64), 0);
    for (bool through : {true, false}) {
        for (bool count : {true, false}) {
            SCOPED_TRACE(std::string(through ? "dispatcher" : "direct") +
                         (count ? ", in use counts" : ", free only"));
            ProbeThroughDispatcher = through;
            CountPortsInUse = count;
            EXPECT_FALSE(ProbePort(0));
            EXPECT_FALSE(ProbePort(41));
            EXPECT_TRUE(ProbePort(43));
            EXPECT_EQ(ProbePort(42), count);
            // A probe leaves the port free again.
            TSioMemoryDispatcher other(nullptr);
            EXPECT_GE(other.OpenCom(L"\\\\.\\COM43", 64, 64), 0);
            EXPECT_GE(other.CloseCom(), 0);
        }
    }
    EXPECT_GE(holder.CloseCom(), 0);
    TSioMemoryDispatcher::SetPortMissing(missing, false);
}

TEST(MakeComName, IsComAndTheNumber) {
    EXPECT_EQ(MakeComName(3), L"COM3");
    EXPECT_EQ(MakeComName(12), L"COM12");
    EXPECT_EQ(MakeComName(0), L"COM0");
}

}  // namespace
