// What the dispatcher tests share: an open in-memory port without threads (each dispatcher pass is
// run by the test) and a handler that records the notifications it gets.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "serial/device/memory_device.h"

struct Notice {
    uint32_t Msg;
    uint32_t wParam;
    int32_t lParam;
    std::string Read;  // what the handler took with GetBlock
};

// An event handler that records every notification. Reading decides how many bytes it takes
// with GetBlock (by default none).
class Recorder {
  public:
    explicit Recorder(TSioBaseDispatcher* d) : d_(d) {}
    void Notify(uint32_t Msg, uint32_t wParam, int32_t lParam) {
        Notice n{Msg, wParam, lParam, {}};
        uint32_t take = Reading ? Reading(n) : 0;
        if (take > 0) {
            std::string bytes(take, '\0');
            if (d_->GetBlock(bytes.data(), take) == static_cast<int32_t>(take)) n.Read = bytes;
        }
        Notices.push_back(n);
        if (After) After(n);
    }
    TSioNotifyEvent Event() { return MakeNotifyEvent<&Recorder::Notify>(this); }
    std::vector<uint32_t> Messages() const {
        std::vector<uint32_t> m;
        for (const auto& n : Notices) m.push_back(n.Msg);
        return m;
    }

    std::vector<Notice> Notices;
    std::function<uint32_t(const Notice&)> Reading;
    std::function<void(const Notice&)> After;

  private:
    TSioBaseDispatcher* d_;
};

// Takes every byte offered by a data-available notification, and the trigger's bytes of a data
// notification.
inline uint32_t TakeOffered(const Notice& n) {
    if (n.Msg == TriggerAvailMsg) return n.wParam;
    if (n.Msg == TriggerDataMsg) return static_cast<uint32_t>(n.lParam & 0xFFFF);
    return 0;
}

class OpenPort : public ::testing::Test {
  protected:
    void SetUp() override {
        d = std::make_unique<TSioMemoryDispatcher>();
        d->SetRunThreads(false);
        ASSERT_EQ(0, d->InitPort(L"\\\\.\\COM1", 9600, 0, 8, 1, 4096, 4096, 3));
    }
    void TearDown() override { d.reset(); }

    void Receive(const std::string& bytes) { d->Receive(bytes); }
    void Pass() { d->RunPass(); }
    void ReceiveAndPass(const std::string& bytes) {
        Receive(bytes);
        Pass();
    }
    std::string ReadAll() {
        int32_t n = d->InBuffUsed();
        std::string s(static_cast<size_t>(n), '\0');
        if (n > 0) {
            EXPECT_EQ(n, d->GetBlock(s.data(), static_cast<uint32_t>(n)));
        }
        return s;
    }

    std::unique_ptr<TSioMemoryDispatcher> d;
};
