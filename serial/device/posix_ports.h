// Which device a port name opens on a POSIX system, and the system errors the port component
// understands.
//
// A port is named as on Windows ("\\.\COM7", "COM7") or by a device path ("/dev/ttyUSB0", a
// /dev/serial/by-id/... link). A port number maps to a path through a process-wide table:
// numbers without an entry open /dev/ttyS<n-1>. An entry may instead make the port a new
// pseudo-terminal pair: the port is its controlling side, and the other side's name is linked at
// a path of the program's choice for as long as the port is open (for a program under Wine, the
// link is its prefix's dosdevices/comN). Such a number is open once at a time in the process, as
// a device is.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace posix_ports {

struct TPortTarget {
    std::string Path;  // the device to open; empty for a new pseudo-terminal
    bool PseudoTerminal = false;
    std::string LinkPath;  // pseudo-terminal only: where the far end's name is linked; may be empty
    uint32_t Number = 0;   // pseudo-terminal only: the port number it was resolved from
};

// A pseudo-terminal entry makes a new line at every open, so no device refuses a second open of
// its number: its claim does, as a device's lock does for a device path. Held by the open port;
// given up when destroyed or reset. Any thread.
class TPseudoTerminalClaim {
  public:
    TPseudoTerminalClaim() = default;
    // Claims Number; the claim is not Held when another claim holds it.
    static TPseudoTerminalClaim Take(uint32_t Number);
    TPseudoTerminalClaim(TPseudoTerminalClaim&& Other) noexcept;
    TPseudoTerminalClaim& operator=(TPseudoTerminalClaim&& Other) noexcept;
    ~TPseudoTerminalClaim() { Reset(); }
    bool Held() const { return FNumber != 0; }
    void Reset();

  private:
    uint32_t FNumber = 0;
};

// Any thread. The entry of Number: a device path, or a new pseudo-terminal linked at LinkPath.
void SetDevicePath(uint32_t Number, const std::string& Path);
void SetPseudoTerminal(uint32_t Number, const std::string& LinkPath);
// Back to the default path.
void ClearEntry(uint32_t Number);

// What a port name opens: the table's entry for a COM name, the path itself for a path; nothing
// for a name that is neither (or COM0).
std::optional<TPortTarget> Resolve(const std::wstring& ComName);

// The system error number the component maps (2 file not found, 3 path not found, 5 access
// denied or in use, 8 out of memory, 87 invalid parameter) for an errno; 31 (device not
// functioning) for anything else.
int32_t SystemErrorFromErrno(int Errno);

}  // namespace posix_ports
