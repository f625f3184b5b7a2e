// A port over the in-memory device layer without threads: the test runs each dispatcher pass
// itself, so trigger messages reach the port's window on the test's own thread, in order.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/exception_display.h"
#include "platform/main_thread.h"
#include "platform/message_window.h"
#include "serial/device/memory_device.h"
#include "serial/port/com_port.h"

class PortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::BindMainThread();
        platform::SetExceptionDisplay([this](const std::string& m) { shown.push_back(m); });
        port = std::make_unique<TSioComPort>(nullptr);
        port->SetComNumber(Number());
        UseMemoryDevice(*port);
    }
    void TearDown() override {
        port.reset();
        platform::SetExceptionDisplay(nullptr);
        platform::UnbindMainThread();
    }

    // Each test uses its own port numbers, so a failed test leaves nothing open for the next.
    virtual uint16_t Number() const { return 1; }

    void UseMemoryDevice(TSioCustomComPort& p) {
        p.SetCustomDispatcher([this](TComponent* owner) {
            auto d = std::make_unique<TSioMemoryDispatcher>(owner);
            d->SetRunThreads(false);
            device = d.get();
            ++created;
            return std::unique_ptr<TSioBaseDispatcher>(std::move(d));
        });
    }
    static std::wstring Name(uint16_t n) { return L"\\\\.\\COM" + std::to_wstring(n); }

    // Bytes arrive and one dispatcher pass moves them into the buffer (and fires the triggers).
    void Arrive(const std::string& bytes) {
        device->Receive(bytes);
        device->RunPass();
    }
    void Pump() {
        while (platform::PumpOneMessage()) {
        }
    }

    std::unique_ptr<TSioComPort> port;
    TSioMemoryDispatcher* device = nullptr;  // the latest one created; owned by the port
    int created = 0;
    std::vector<std::string> shown;
};
