// One line under test over either device layer with real threads: the in-memory one, or (on the
// host) the termios one on a pseudo-terminal pair whose far end the test holds. Tests that need
// none of the in-memory device's knobs take the kind as their parameter and run over both.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "serial/device/memory_device.h"
#include "tests/support/pump_until.h"
#ifndef _WIN32
#include "serial/device/posix_dispatcher.h"
#include "serial/device/posix_ports.h"
#include "tests/support/pty_pair.h"
#endif

namespace testsupport {

enum class LineKind { Memory, Termios };

// The kinds this build can run: the termios layer exists only on the host.
inline auto AllLineKinds() {
#ifdef _WIN32
    return ::testing::Values(LineKind::Memory);
#else
    return ::testing::Values(LineKind::Memory, LineKind::Termios);
#endif
}

inline std::string LineKindName(const ::testing::TestParamInfo<LineKind>& Info) {
    return Info.param == LineKind::Memory ? "Memory" : "Termios";
}

class DeviceLine {
  public:
    // Numbers: the port numbers that open this line (on the termios layer each is mapped to the
    // pseudo-terminal for the line's life).
    DeviceLine(LineKind Kind, std::vector<uint32_t> Numbers) : FKind(Kind), FNumbers(Numbers) {
#ifndef _WIN32
        if (Kind == LineKind::Termios) {
            FFar = std::make_unique<PtyPair>();
            for (uint32_t n : FNumbers) posix_ports::SetDevicePath(n, FFar->FarPath);
        }
#endif
    }
    ~DeviceLine() {
#ifndef _WIN32
        if (FFar)
            for (uint32_t n : FNumbers) posix_ports::ClearEntry(n);
#endif
    }
    DeviceLine(const DeviceLine&) = delete;
    DeviceLine& operator=(const DeviceLine&) = delete;

    LineKind Kind() const { return FKind; }

    // A new dispatcher for this line, as a port's dispatcher factory gives one.
    std::unique_ptr<TSioBaseDispatcher> Make(TComponent* Owner = nullptr) {
        ++Created;
#ifndef _WIN32
        if (FKind == LineKind::Termios) return std::make_unique<TSioPosixDispatcher>(Owner);
#endif
        auto d = std::make_unique<TSioMemoryDispatcher>(Owner);
        Memory = d.get();
        return d;
    }

    // Bytes arrive from the far end.
    void Receive(const std::string& Bytes) {
        if (Memory) return Memory->Receive(Bytes);
#ifndef _WIN32
        FFar->Write(Bytes);
#endif
    }
    // The device fails under the port that has it open, as a pulled adapter does: the port's
    // device thread ends with a read error. The line's numbers then open a working device again.
    void Fail() {
        if (Memory) return Memory->EndDeviceThreadWithError(-161);
#ifndef _WIN32
        FFar = std::make_unique<PtyPair>();  // the old pair's controller closes: a hang-up
        for (uint32_t n : FNumbers) posix_ports::SetDevicePath(n, FFar->FarPath);
#endif
    }
    // What the port has sent since the last call, without waiting.
    std::string Transmit() {
        if (Memory) return Memory->Transmit();
#ifndef _WIN32
        return FFar->ReadAvailable();
#else
        return {};
#endif
    }
    // What the port has sent since the last call, once Count bytes have come (a real device's
    // writer may still be on its way) or the wait has given up; messages are handled meanwhile.
    std::string Transmitted(size_t Count) {
        std::string sent;
        PumpUntil(
            [&] {
                sent += Transmit();
                return sent.size() >= Count;
            },
            std::chrono::seconds(10));
        return sent;
    }

    // The in-memory device of the latest Make (owned by whoever holds the dispatcher); null on
    // the termios layer.
    TSioMemoryDispatcher* Memory = nullptr;
    int Created = 0;

  private:
    LineKind FKind;
    std::vector<uint32_t> FNumbers;
#ifndef _WIN32
    std::unique_ptr<PtyPair> FFar;
#endif
};

}  // namespace testsupport
