// Port enumeration on the host, over the termios device layer and pseudo-terminals: both
// switches, port 0, and the names.
#include "serial/port/port_probe.h"

#include <gtest/gtest.h>

#include "serial/device/posix_dispatcher.h"
#include "serial/device/posix_ports.h"
#include "tests/support/pty_pair.h"

namespace {

struct Switches {
    Switches() = default;
    ~Switches() {
        ProbeThroughDispatcher = true;
        CountPortsInUse = true;
        for (uint32_t n : {41, 42, 43}) posix_ports::ClearEntry(n);
    }
};

TEST(ProbePort, UnderEverySwitchAMissingPortIsNotAvailableAndAHeldOneOnlyWhenCounted) {
    Switches restore;
    testsupport::PtyPair heldLine, freeLine;
    posix_ports::SetDevicePath(41, "/dev/pelkan-no-such-device");
    posix_ports::SetDevicePath(42, heldLine.FarPath);
    posix_ports::SetDevicePath(43, freeLine.FarPath);
    TSioPosixDispatcher holder(nullptr);
    ASSERT_GE(holder.OpenCom(L"\\\\.\\COM42", 64, 64), 0);
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
            TSioPosixDispatcher other(nullptr);
            EXPECT_GE(other.OpenCom(L"\\\\.\\COM43", 64, 64), 0);
            EXPECT_GE(other.CloseCom(), 0);
        }
    }
    EXPECT_GE(holder.CloseCom(), 0);
}

TEST(MakeComName, IsComAndTheNumber) {
    EXPECT_EQ(MakeComName(3), L"COM3");
    EXPECT_EQ(MakeComName(12), L"COM12");
    EXPECT_EQ(MakeComName(0), L"COM0");
}

}  // namespace
