// The peer's serial line on Windows: a COM port with blocking reads bounded by time-outs.
#include <windows.h>

#include <utility>

#include "platform/text.h"
#include "platform/unique_handle.h"
#include "tools/peer/serial_line.h"

namespace peer {
namespace {

class ComLine : public SerialLine {
public:
    explicit ComLine(platform::UniqueFileHandle handle) : handle_(std::move(handle)) {}

    bool Write(const std::string& bytes) override {
        DWORD written = 0;
        return WriteFile(handle_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                         nullptr) &&
               written == bytes.size();
    }

    bool ReadLine(std::string& line, int timeoutMs) override {
        DWORD deadline = GetTickCount() + static_cast<DWORD>(timeoutMs);
        for (;;) {
            size_t lf = pending_.find('\n');
            if (lf != std::string::npos) {
                line = pending_.substr(0, lf + 1);
                pending_.erase(0, lf + 1);
                return true;
            }
            if (static_cast<int>(deadline - GetTickCount()) <= 0 || !ReadSome()) return false;
        }
    }

    std::string Drain(int timeoutMs) override {
        DWORD deadline = GetTickCount() + static_cast<DWORD>(timeoutMs);
        while (static_cast<int>(deadline - GetTickCount()) > 0 && ReadSome()) {
        }
        return std::exchange(pending_, std::string());
    }

private:
    // One read bounded by the port's time-outs (100 ms); false only when the port failed.
    bool ReadSome() {
        char buf[512];
        DWORD got = 0;
        if (!ReadFile(handle_.get(), buf, sizeof buf, &got, nullptr)) return false;
        pending_.append(buf, got);
        return true;
    }

    platform::UniqueFileHandle handle_;
    std::string pending_;
};

}  // namespace

std::unique_ptr<SerialLine> OpenSerialDevice(const std::string& device, int baud,
                                             std::string& error) {
    std::string path = device.rfind("\\\\.\\", 0) == 0 ? device : "\\\\.\\" + device;
    platform::UniqueFileHandle handle(CreateFileW(platform::AnsiToWide(path).c_str(),
                                                  GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                  OPEN_EXISTING, 0, nullptr));
    if (!handle) {
        error = device + ": cannot open (system error " + std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(handle.get(), &dcb);
    dcb.BaudRate = static_cast<DWORD>(baud);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!SetCommState(handle.get(), &dcb)) {
        error = device + ": cannot set the line (system error " + std::to_string(GetLastError()) +
                ")";
        return nullptr;
    }
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 20;
    timeouts.ReadTotalTimeoutConstant = 100;
    SetCommTimeouts(handle.get(), &timeouts);
    return std::make_unique<ComLine>(std::move(handle));
}

std::unique_ptr<SerialLine> CreatePseudoTerminal(const std::string&, std::string& error) {
    error = "pseudo-terminals exist only on Linux; use --device COMn";
    return nullptr;
}

}  // namespace peer
