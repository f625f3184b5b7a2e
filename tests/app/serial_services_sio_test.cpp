// The reason under "ComPort Open Error" as the serial layer's services give it: a port over the
// in-memory device layer that fails to open the way a missing port, a port held by another
// program or a driver that refuses the line settings fails.
#include "app/serial_services_sio.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/serial_services.h"
#include "platform/main_thread.h"
#include "serial/device/memory_device.h"
#include "serial/port/com_port.h"

namespace {

std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

struct FailureCase {
    const char* name;
    std::function<void(TSioMemoryDispatcher&)> fail;
    std::wstring reason;  // the start of it; the serial layer's message may follow
};

TEST(SioPortOpenTest, AFailedOpenSaysWhyInTheUsersTerms) {
    const FailureCase cases[] = {
        {"file not found", [](TSioMemoryDispatcher& d) { d.FailOpen(2); },
         L"COM7 does not exist on this computer."},
        {"path not found", [](TSioMemoryDispatcher& d) { d.FailOpen(3); },
         L"COM7 does not exist on this computer."},
        {"access denied", [](TSioMemoryDispatcher& d) { d.FailOpen(5); },
         L"COM7 is in use by another program."},
        {"line settings refused", [](TSioMemoryDispatcher& d) { d.FailWriteDeviceState(87); },
         L"COM7 refused the settings 9600 baud, 8 data bits, no parity, 1 stop bit: "},
        {"anything else", [](TSioMemoryDispatcher& d) { d.FailOpen(31); },
         L"COM7 could not be opened: "},
    };
    platform::BindMainThread();
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        TSioComPort port(nullptr);
        port.SetComNumber(7);
        port.SetBaud(9600);
        port.SetCustomDispatcher([&](TComponent* owner) {
            auto d = std::make_unique<TSioMemoryDispatcher>(owner);
            d->SetRunThreads(false);
            c.fail(*d);
            return std::unique_ptr<TSioBaseDispatcher>(std::move(d));
        });
        try {
            OpenSioPort(port);
            ADD_FAILURE() << "the port opened";
        } catch (const PortOpenError& e) {
            EXPECT_EQ(e.Reason().substr(0, c.reason.size()), c.reason) << Narrow(e.Reason());
            EXPECT_GT(e.Reason().size(), c.reason.size() - 1);
        }
        EXPECT_FALSE(port.Open());
    }
    platform::UnbindMainThread();
}

TEST(SioPortOpenTest, APortThatOpensRaisesNothing) {
    platform::BindMainThread();
    {
        TSioComPort port(nullptr);
        port.SetComNumber(7);
        port.SetCustomDispatcher([](TComponent* owner) {
            auto d = std::make_unique<TSioMemoryDispatcher>(owner);
            d->SetRunThreads(false);
            return std::unique_ptr<TSioBaseDispatcher>(std::move(d));
        });
        OpenSioPort(port);
        EXPECT_TRUE(port.Open());
        port.SetOpen(false);
    }
    platform::UnbindMainThread();
}

}  // namespace
