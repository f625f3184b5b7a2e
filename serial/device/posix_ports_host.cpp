// The port table of the POSIX device layer.
#include "serial/device/posix_ports.h"

#include <cerrno>
#include <cwctype>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "platform/text.h"

namespace posix_ports {
namespace {

std::mutex& TableLock() {
    static std::mutex lock;
    return lock;
}
std::map<uint32_t, TPortTarget>& Table() {  // guarded by TableLock
    static std::map<uint32_t, TPortTarget> table;
    return table;
}
std::set<uint32_t>& Claimed() {  // pseudo-terminal numbers open now; guarded by TableLock
    static std::set<uint32_t> claimed;
    return claimed;
}

// The number of "COM<n>" (case as the user typed it), or nothing.
std::optional<uint32_t> ComNumber(std::wstring_view name) {
    if (name.size() < 4) return std::nullopt;
    if (std::towupper(name[0]) != L'C' || std::towupper(name[1]) != L'O' ||
        std::towupper(name[2]) != L'M')
        return std::nullopt;
    uint64_t n = 0;
    for (wchar_t c : name.substr(3)) {
        if (c < L'0' || c > L'9') return std::nullopt;
        n = n * 10 + static_cast<uint64_t>(c - L'0');
        if (n > 0xFFFFFFFFu) return std::nullopt;
    }
    return static_cast<uint32_t>(n);
}

}  // namespace

void SetDevicePath(uint32_t Number, const std::string& Path) {
    std::lock_guard lock(TableLock());
    Table()[Number] = TPortTarget{Path, false, {}};
}

void SetPseudoTerminal(uint32_t Number, const std::string& LinkPath) {
    std::lock_guard lock(TableLock());
    Table()[Number] = TPortTarget{{}, true, LinkPath};
}

void ClearEntry(uint32_t Number) {
    std::lock_guard lock(TableLock());
    Table().erase(Number);
}

std::optional<TPortTarget> Resolve(const std::wstring& ComName) {
    std::wstring_view name = ComName;
    if (name.starts_with(L"\\\\.\\")) name.remove_prefix(4);
    if (name.starts_with(L"/"))
        return TPortTarget{platform::WideToAnsi(std::wstring(name)), false, {}};
    std::optional<uint32_t> number = ComNumber(name);
    if (!number || *number == 0) return std::nullopt;
    std::lock_guard lock(TableLock());
    auto it = Table().find(*number);
    if (it != Table().end()) {
        TPortTarget target = it->second;
        if (target.PseudoTerminal) target.Number = *number;
        return target;
    }
    return TPortTarget{"/dev/ttyS" + std::to_string(*number - 1), false, {}};
}

TPseudoTerminalClaim TPseudoTerminalClaim::Take(uint32_t Number) {
    TPseudoTerminalClaim claim;
    std::lock_guard lock(TableLock());
    if (Number != 0 && Claimed().insert(Number).second) claim.FNumber = Number;
    return claim;
}

TPseudoTerminalClaim::TPseudoTerminalClaim(TPseudoTerminalClaim&& Other) noexcept
    : FNumber(std::exchange(Other.FNumber, 0)) {}

TPseudoTerminalClaim& TPseudoTerminalClaim::operator=(TPseudoTerminalClaim&& Other) noexcept {
    if (this != &Other) {
        Reset();
        FNumber = std::exchange(Other.FNumber, 0);
    }
    return *this;
}

void TPseudoTerminalClaim::Reset() {
    if (FNumber == 0) return;
    std::lock_guard lock(TableLock());
    Claimed().erase(FNumber);
    FNumber = 0;
}

int32_t SystemErrorFromErrno(int Errno) {
    switch (Errno) {
        case ENOENT:
        case EIO:  // a serial node with no hardware behind it
        case ENXIO:
        case ENODEV:
            return 2;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return 3;
        case EACCES:
        case EPERM:
        case EBUSY:
        case EWOULDBLOCK:
            return 5;
        case ENOMEM:
            return 8;
        case EINVAL:
            return 87;
        default:
            return 31;
    }
}

}  // namespace posix_ports
