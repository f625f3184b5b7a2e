// Line settings, modem lines and status, line errors, flow control, options and data pointers.
#include <chrono>
#include <thread>

#include "serial/dispatch/base_dispatcher.h"
#include "serial/dispatch/dispatch_codes.h"

namespace {
constexpr uint32_t kRemovedBySetLine = dcb::fParity | dcb::fDsrSensitivity | dcb::fNull;
}

int32_t TSioBaseDispatcher::SetLine(int32_t Baud, uint32_t Parity, TDatabits DataBits,
                                    TStopbits StopBits) {
    if (!HasDevice()) return ecCommNotOpen;
    uint32_t newBaud, newParity, newSize, newStop, newFlags;
    {
        std::lock_guard lock(DataSection);
        // On a failed read DCB keeps the settings last applied (every apply stores them), so
        // the comparison and the change are built on those; a device that is gone refuses the
        // write, which reports it.
        (void)ReadDeviceState(DCB);
        newFlags = (DCB.Flags | dcb::fBinary | dcb::fTXContinueOnXoff) & ~kRemovedBySetLine;
        if (StopBits != 3) StopBits = StopBits < 1 ? 1 : (StopBits > 2 ? 2 : StopBits);
        newBaud = Baud == 0 ? DCB.BaudRate : static_cast<uint32_t>(Baud);
        newParity = Parity == 5 ? DCB.Parity : Parity;
        newStop = DCB.StopBits;
        newSize = DataBits == 9 ? DCB.ByteSize : DataBits;
        if (DataBits == 5) newStop = 1;
        if (StopBits != 3) {
            newStop = StopBits == 1 ? 0 : 2;
            if (newSize == 5) newStop = 1;
        }
        if (newBaud == DCB.BaudRate && newParity == DCB.Parity && newSize == DCB.ByteSize &&
            newStop == DCB.StopBits && newFlags == DCB.Flags)
            return 0;
    }
    DrainBeforeLineChange();
    std::lock_guard lock(DataSection);
    (void)ReadDeviceState(DCB);  // as above
    DCB.BaudRate = newBaud;
    DCB.Parity = static_cast<uint8_t>(newParity);
    DCB.ByteSize = static_cast<uint8_t>(newSize);
    DCB.StopBits = static_cast<uint8_t>(newStop);
    DCB.Flags = newFlags;
    return ApplyDeviceState(DCB);
}

void TSioBaseDispatcher::DrainBeforeLineChange() {
    for (int i = 0; i < 5000; ++i) {
        int32_t used = OutBuffUsed();
        if (used <= 0) break;  // empty, or the port's buffers are gone
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    int64_t t;
    {
        std::lock_guard lock(DataSection);
        // Only the pause's length depends on it: on a failed read the settings last applied
        // give it.
        (void)ReadDeviceState(DCB);
        int64_t bits = DCB.ByteSize + 2 + (DCB.Parity != 0 ? 1 : 0) + (DCB.StopBits != 0 ? 1 : 0);
        int32_t baud = BaudFromCode(LastBaud);
        t = 18 * bits * (baud > 0 ? 10000000 / baud : 0);
    }
    if (t < 10000) t *= 2;
    PauseForLine(static_cast<uint32_t>((t + 9999) / 10000));
}

void TSioBaseDispatcher::PauseForLine(uint32_t Ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(Ms));
}

int32_t TSioBaseDispatcher::ApplyDeviceState(const TSioDCB& NewDCB) {
    std::lock_guard lock(DataSection);
    TSioDCB block = NewDCB;
    if (!DTRAuto) {
        block.Flags &= ~dcb::DtrControlMask;
        if (DTRState) block.Flags |= dcb::DtrEnable;
    }
    if (!RTSAuto) {
        block.Flags &= ~dcb::RtsControlMask;
        if (RTSState) block.Flags |= dcb::RtsEnable;
    }
    int32_t r = WriteDeviceState(block);
    DCB = block;
    LastBaud = static_cast<int32_t>(block.BaudRate);
    // The block written already carries the lines; setting them again serves device layers
    // that take the lines from line control only. The write's result is the one to report: a
    // line a device refuses here is refused again, and reported, by SetDtr or SetRts.
    (void)SetDtr(DTRState);
    if (!RS485Mode) (void)SetRts(RTSState);
    return r;
}

void TSioBaseDispatcher::GetLine(int32_t& Baud, uint16_t& Parity, TDatabits& DataBits,
                                 TStopbits& StopBits) {
    std::lock_guard lock(DataSection);
    // GetLine has no result: on a failed read it reports the settings last applied.
    (void)ReadDeviceState(DCB);
    Baud = BaudFromCode(static_cast<int32_t>(DCB.BaudRate));
    Parity = DCB.Parity;
    DataBits = DCB.ByteSize;
    StopBits = DCB.StopBits == 0 ? 1 : 2;
}

int32_t TSioBaseDispatcher::ChangeBaud(int32_t NewBaud) { return SetLine(NewBaud, 5, 9, 3); }

int32_t TSioBaseDispatcher::BaudFromCode(int32_t V) {
    // Codes 0xFF10 + i of the system's baud-rate constants; 0 keeps V (no constant there).
    static constexpr int32_t kRates[24] = {110,   300, 600, 1200,   2400, 4800, 9600, 14400,
                                           19200, 0,   0,   38400,  0,    0,    0,    56000,
                                           0,     0,   0,   128000, 0,    0,    0,    256000};
    if (V == 0xFEFF) return 115200;
    if (V >= 0xFF10 && V < 0xFF10 + 24 && kRates[V - 0xFF10] != 0) return kRates[V - 0xFF10];
    return V;
}

int32_t TSioBaseDispatcher::SetControlLine(bool OnOff, const bool& Auto, bool& State,
                                           int32_t SetFunc, int32_t ClearFunc) {
    if (!HasDevice()) return ecCommNotOpen;
    std::lock_guard lock(DataSection);
    if (Auto) return 1;  // the line belongs to the flow control
    int32_t r = LineControl(OnOff ? SetFunc : ClearFunc);
    if (r < 0) r = ecBadArgument;
    State = OnOff;
    return r;
}

int32_t TSioBaseDispatcher::SetDtr(bool OnOff) {
    return SetControlLine(OnOff, DTRAuto, DTRState, lcSetDtr, lcClrDtr);
}

int32_t TSioBaseDispatcher::SetRts(bool OnOff) {
    return SetControlLine(OnOff, RTSAuto, RTSState, lcSetRts, lcClrRts);
}

int32_t TSioBaseDispatcher::SetModem(bool DTR, bool RTS) {
    int32_t r = SetDtr(DTR);
    if (r != 0) return r;
    return SetRts(RTS);
}

void TSioBaseDispatcher::SendBreak(uint32_t Ticks, bool Yield) {
    SetBreak(true);
    WaitTicks(static_cast<int32_t>(Ticks), Yield);
    SetBreak(false);
}

void TSioBaseDispatcher::SetBreak(bool BreakOn) {
    bool rs485;
    {
        std::lock_guard lock(DataSection);
        rs485 = RS485Mode;
    }
    if (BreakOn) {
        // SetBreak has no result; in RS-485 mode a refused RTS shows in the modem status.
        if (rs485) (void)SetRts(true);
        SetDeviceBreak(true);
    } else {
        SetDeviceBreak(false);
        if (rs485 && OutBuffUsed() == 0) (void)SetRts(false);
    }
}

uint8_t TSioBaseDispatcher::ReadModemStatus(uint32_t KeepMask) {
    uint32_t lines = ReadModemLines() & 0xF0;
    std::lock_guard lock(DataSection);
    ModemStatus = lines | (ModemStatus & 0x0F);
    if (RingFlag) {
        RingFlag = false;
        ModemStatus |= 4;
    }
    auto result = static_cast<uint8_t>(ModemStatus & 0xFF);
    ModemStatus &= KeepMask;
    return result;
}

void TSioBaseDispatcher::UpdateModemDeltas() {
    uint32_t old;
    {
        std::lock_guard lock(DataSection);
        old = ModemStatus & 0xFF;
    }
    uint32_t now = ReadModemStatus(0xFF);
    std::lock_guard lock(DataSection);
    ModemStatus |= ((old ^ now) & 0xF0) >> 4;
}

uint8_t TSioBaseDispatcher::GetModemStatus() { return ReadModemStatus(0xF0); }

bool TSioBaseDispatcher::ModemBit(uint32_t KeepMask, uint32_t Bit) {
    return (ReadModemStatus(KeepMask) & Bit) != 0;
}
bool TSioBaseDispatcher::CheckCTS() { return ModemBit(0xFE, 0x10); }
bool TSioBaseDispatcher::CheckDSR() { return ModemBit(0xFD, 0x20); }
bool TSioBaseDispatcher::CheckRI() { return ModemBit(0xFB, 0x40); }
bool TSioBaseDispatcher::CheckDCD() { return ModemBit(0xF7, 0x80); }
bool TSioBaseDispatcher::CheckDeltaCTS() { return ModemBit(0xFE, 0x01); }
bool TSioBaseDispatcher::CheckDeltaDSR() { return ModemBit(0xFD, 0x02); }
bool TSioBaseDispatcher::CheckDeltaRI() { return ModemBit(0xFB, 0x04); }
bool TSioBaseDispatcher::CheckDeltaDCD() { return ModemBit(0xF7, 0x08); }

void TSioBaseDispatcher::RefreshLineErrors() {
    std::lock_guard lock(DataSection);
    LastError |= static_cast<uint32_t>(ReadErrors(ComStatus)) & 0x1F;
}

int32_t TSioBaseDispatcher::GetLineError() {
    std::lock_guard lock(DataSection);
    static constexpr struct {
        uint32_t bit;
        int32_t code;
    } kCodes[] = {{1, 1}, {2, 2}, {4, 3}, {8, 4}, {16, 9}};
    for (const auto& c : kCodes) {
        if (LastError & c.bit) {
            LastError &= ~0x0Fu;
            return c.code;
        }
    }
    return 0;
}

bool TSioBaseDispatcher::CheckLineBreak() {
    std::lock_guard lock(DataSection);
    bool on = (LastError & 16) != 0;
    LastError &= ~16u;
    return on;
}

int32_t TSioBaseDispatcher::HWFlowOptions(uint32_t BufferFull, uint32_t BufferResume,
                                          uint32_t Options) {
    if (!HasDevice()) return ecCommNotOpen;
    std::lock_guard lock(DataSection);
    if (BufferFull < BufferResume || BufferFull > InQue) return ecBadArgument;
    // On a failed read DCB keeps the settings last applied (every apply stores them), so the
    // change is built on those; a device that is gone refuses the write, which reports it.
    (void)ReadDeviceState(DCB);
    DCB.Flags &=
        ~(dcb::fOutxCtsFlow | dcb::fOutxDsrFlow | dcb::DtrControlMask | dcb::RtsControlMask);
    DTRAuto = RTSAuto = false;
    if (Options & 1) {
        DCB.Flags |= dcb::DtrHandshake;
        DTRAuto = true;
    } else if (DTRState) {
        DCB.Flags |= dcb::DtrEnable;
    }
    if (Options & 2) {
        DCB.Flags |= dcb::RtsHandshake;
        RTSAuto = true;
    } else if (RTSState) {
        DCB.Flags |= dcb::RtsEnable;
    }
    if (RS485Mode) {
        DCB.Flags = (DCB.Flags & ~dcb::RtsControlMask) | dcb::RtsToggle;
        RTSAuto = true;
    }
    DCB.XoffLim = static_cast<uint16_t>(InQue - BufferFull);
    DCB.XonLim = static_cast<uint16_t>(BufferResume);
    if (Options & 4) DCB.Flags |= dcb::fOutxDsrFlow;
    if (Options & 8) DCB.Flags |= dcb::fOutxCtsFlow;
    return ApplyDeviceState(DCB);
}

int32_t TSioBaseDispatcher::HWFlowState() {
    std::lock_guard lock(DataSection);
    // A state is read from the flags: on a failed read, those of the settings last applied.
    (void)ReadDeviceState(DCB);
    uint32_t f = DCB.Flags;
    bool dtrHs = (f & dcb::DtrControlMask) == dcb::DtrHandshake;
    bool rtsHs = (f & dcb::RtsControlMask) == dcb::RtsHandshake;
    if (!(f & (dcb::fOutxCtsFlow | dcb::fOutxDsrFlow)) && !dtrHs && !rtsHs) return 1;
    int32_t state = 2;
    if (dtrHs || rtsHs) {
        RefreshLineErrors();
        if ((f & dcb::fOutxDsrFlow) && (ComStatus.Flags & 2)) state = 3;
        if ((f & dcb::fOutxCtsFlow) && (ComStatus.Flags & 1)) state = 4;
    }
    return state;
}

int32_t TSioBaseDispatcher::SWFlowEnable(uint32_t BufferFull, uint32_t BufferResume,
                                         uint32_t Options) {
    if (!HasDevice()) return ecCommNotOpen;
    std::lock_guard lock(DataSection);
    if (BufferFull < BufferResume || BufferFull > InQue) return ecBadArgument;
    // On a failed read DCB keeps the settings last applied (every apply stores them), so the
    // change is built on those; a device that is gone refuses the write, which reports it.
    (void)ReadDeviceState(DCB);
    if (Options & 2) {
        DCB.Flags |= dcb::fInX;
        DCB.XoffLim = static_cast<uint16_t>(InQue - BufferFull);
        DCB.XonLim = static_cast<uint16_t>(BufferResume);
        DCB.XonChar = 17;
        DCB.XoffChar = 19;
    }
    if (Options & 1) {
        DCB.Flags |= dcb::fOutX;
        DCB.XonChar = 17;
        DCB.XoffChar = 19;
    }
    return ApplyDeviceState(DCB);
}

int32_t TSioBaseDispatcher::SWFlowDisable() {
    if (!HasDevice()) return ecCommNotOpen;
    std::lock_guard lock(DataSection);
    // On a failed read DCB keeps the settings last applied (every apply stores them), so the
    // change is built on those; a device that is gone refuses the write, which reports it.
    (void)ReadDeviceState(DCB);
    DCB.Flags &= ~(dcb::fOutX | dcb::fInX);
    return ApplyDeviceState(DCB);
}

int32_t TSioBaseDispatcher::SWFlowState() {
    std::lock_guard lock(DataSection);
    // A state is read from the flags: on a failed read, those of the settings last applied.
    (void)ReadDeviceState(DCB);
    if (!(DCB.Flags & (dcb::fInX | dcb::fOutX))) return 1;
    RefreshLineErrors();
    bool hold = (ComStatus.Flags & 8) != 0;
    bool sent = (ComStatus.Flags & 16) != 0;
    if (hold && sent) return 8;
    if (hold) return 6;
    if (sent) return 7;
    return 2;
}

int32_t TSioBaseDispatcher::SWFlowChars(char OnChar, char OffChar) {
    if (!HasDevice()) return ecCommNotOpen;
    std::lock_guard lock(DataSection);
    // On a failed read DCB keeps the settings last applied (every apply stores them), so the
    // change is built on those; a device that is gone refuses the write, which reports it.
    (void)ReadDeviceState(DCB);
    DCB.XonChar = OnChar;
    DCB.XoffChar = OffChar;
    return ApplyDeviceState(DCB);
}

int32_t TSioBaseDispatcher::GetFlowOptions(uint32_t& HWOpts, uint32_t& SWOpts, uint32_t&, uint32_t&,
                                           char& OnChar, char& OffChar) {
    std::lock_guard lock(DataSection);
    int32_t r = ReadDeviceState(DCB);
    uint32_t f = DCB.Flags;
    HWOpts = ((f & dcb::DtrControlMask) == dcb::DtrHandshake ? 1 : 0) +
             ((f & dcb::RtsControlMask) == dcb::RtsHandshake ? 2 : 0) +
             (f & dcb::fOutxDsrFlow ? 4 : 0) + (f & dcb::fOutxCtsFlow ? 8 : 0);
    SWOpts = (f & dcb::fInX ? 2 : 0) + (f & dcb::fOutX ? 1 : 0);
    OnChar = DCB.XonChar;
    OffChar = DCB.XoffChar;
    return r;
}

void TSioBaseDispatcher::OptionsOn(uint32_t Options) {
    std::lock_guard lock(DataSection);
    Flags |= Options;
}
void TSioBaseDispatcher::OptionsOff(uint32_t Options) {
    std::lock_guard lock(DataSection);
    Flags &= ~Options;
}
bool TSioBaseDispatcher::OptionsAreOn(uint32_t Options) {
    std::lock_guard lock(DataSection);
    return (Flags & Options) == Options;
}

int32_t TSioBaseDispatcher::SetDataPointer(void* P, uint32_t Index) {
    if (Index < 1 || Index > 3) return ecBadArgument;
    std::lock_guard lock(DataSection);
    DataPointers[Index - 1] = P;
    return 0;
}

int32_t TSioBaseDispatcher::GetDataPointer(void*& P, uint32_t Index) {
    if (Index < 1 || Index > 3) return ecBadArgument;
    std::lock_guard lock(DataSection);
    P = DataPointers[Index - 1];
    return 0;
}

void TSioBaseDispatcher::SetBaseAddress(uint16_t NewBaseAddress) {
    std::lock_guard lock(DataSection);
    BaseAddress = NewBaseAddress;
}

uint16_t TSioBaseDispatcher::GetBaseAddress() {
    std::lock_guard lock(DataSection);
    return BaseAddress;
}
